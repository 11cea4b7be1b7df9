#pragma once
// One reference instrument (calibrator or meter) driven over SCPI. Every
// command is followed by the model's error query; a wait for an answer runs a
// local event loop bounded by the model's timeout, so the window and the
// Modbus link go on meanwhile.

#include "instruments/address.h"
#include "instruments/model.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QEventLoop;

namespace instruments {

class Transport;

class Instrument : public QObject {
    Q_OBJECT
public:
    Instrument(const Model &model, const Address &address, QObject *parent = nullptr);
    ~Instrument() override;          // closes the port
    bool open();                     // false with lastError()
    void close();
    bool isOpen() const;
    std::optional<QString> identify();        // *IDN? (model's identify command), checked against identityPattern
    bool reset();
    bool sourceMillivolts(double millivolts); // refused when no range of the model holds the value
    bool sourceOhms(double ohms);
    bool setOutput(bool on);
    std::optional<double> measureCurrentMa();
    // A switch: close (then wait the model's settle time) or open the channels
    // named; each must be a channel name (isChannelName), else nothing is sent.
    bool routeClose(const QStringList &channels);
    bool routeOpen(const QStringList &channels);
    // "route open all", or "route open" on `known` when the model has none.
    bool routeOpenAll(const QStringList &known);
    // An environment instrument's room temperature (degC) and relative humidity (%RH).
    std::optional<double> measureTemperature();
    std::optional<double> measureHumidity();
    void cancel();                   // the wait now in progress (and any later one until open()) fails with "aborted"
    QString lastError() const;
    QString identity() const;        // the last identify() answer
    const Model &model() const;
    const Address &address() const;

signals:
    void exchanged(const QString &sent, const QString &answer);   // every line out and its answer, for a log

private:
    std::optional<double> measure(const Command &command, const QString &name);
    bool fail(const QString &why);
    bool source(const Command &command, const QString &what, const QString &function, double value);
    bool route(const Command &command, const QString &what, const QStringList &channels);
    bool settle(int ms);
    // The command, then the error query; the answer of a query, or "" for a command.
    std::optional<QString> run(const Command &command, const QString &what, const QString &line, bool query);
    std::optional<QString> exchange(const QString &line, bool query);
    bool checkErrorQueue(const QString &cause);
    bool waitFor(const std::function<bool()> &done, const QString &timeoutText);
    std::optional<QString> takeLine();

    Model m_model;
    Address m_address;
    std::unique_ptr<Transport> m_transport;
    QByteArray m_buffer;
    QString m_lastError;
    QString m_identity;
    QString m_linkFault;
    bool m_cancelled = false;
    QEventLoop *m_waiting = nullptr;
};

} // namespace instruments
