#pragma once
// The Traffic tab: every request the window hands to the master, how it ended
// and how long it took, counters per result since the link was opened, raw
// frames on demand, and export as text.

#include "diagnostics/crc_watch.h"
#include "diagnostics/traffic.h"
#include "link/request_description.h"

#include <QWidget>
#include <array>

class QCheckBox;
class QLabel;
class QModbusReply;
namespace rtu { class Link; }
class QPushButton;
class QTableView;
class TrafficModel;

class TrafficTab : public QWidget
{
    Q_OBJECT

public:
    // Listens to the link's requests; its counters start again with every opening.
    explicit TrafficTab(rtu::Link &link, QWidget *parent = nullptr);

    const diag::TrafficCounters &counters() const { return m_counters; }
    const TrafficModel &model() const { return *m_model; }
    // False with `why` when the file could not be written; the old one then stays.
    bool exportText(const QString &path, QString *why = nullptr);

public slots:
    // Follows `reply` (null: the master refused the request) to its end.
    void observeRequest(const rtu::RequestDescription &request, QModbusReply *reply);
    void resetCounters();
    void setLanguage(int language);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void finish(quint64 sequence, QModbusReply *reply, int roundTripMs, bool crcDiscarded);
    void count(diag::Result result);
    void showCounters();
    void chooseExportFile();
    void showExportState();

    diag::CrcWatch m_crcWatch;
    TrafficModel *m_model;
    diag::TrafficCounters m_counters;
    int m_language = 0;
    QTableView *m_table;
    QLabel *m_countersTitle;
    std::array<QLabel *, diag::kResultCount> m_counterLabels{};
    QCheckBox *m_showFrames;
    QPushButton *m_reset;
    QPushButton *m_export;
    QLabel *m_exportState;
    QString m_exportFailure;   // why the last export was not written; empty when it was
};
