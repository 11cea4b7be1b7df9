#pragma once
// SIGTERM and SIGINT as a Qt signal: the handler only writes a byte to a pipe,
// and received() is emitted from the event loop, where a run can be aborted
// and its safe end served like any other wait. One instance at a time; the
// default dispositions come back when it goes.

#include <QObject>

class QSocketNotifier;

namespace platform {

class TerminationSignal : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignal(QObject *parent = nullptr);
    ~TerminationSignal() override;

    // A signal has arrived since it was made.
    bool caught() const { return m_caught; }

signals:
    void received(int signal);

private:
    void drain();

    QSocketNotifier *m_notifier = nullptr;
    bool m_caught = false;
};

} // namespace platform
