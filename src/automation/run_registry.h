#pragma once
// A run in progress is an object of its own, not the frames of the slot that
// started it: the registry takes it, starts it from the event loop once that
// slot has returned, and keeps it until its safe end. One run at a time, across
// every tab and whatever started it; the tabs show the one running.
//
// Closing the window asks the registry to end the run: abort, and the event
// loop keeps serving the run's waits until the safe end has gone out.

#include <QObject>
#include <QString>

#include <functional>

namespace autocal {

class Run : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    // Runs to its safe end (waits serve the event loop meanwhile).
    virtual void execute() = 0;
    // Ends it at its next wait; before execute(), execute() does nothing.
    virtual void abort(const QString &reason) = 0;
    // What it is, for a tab that did not start it ("automatic", "batch").
    virtual QString kind() const = 0;
};

// Whether any registry has a run, for what must not open a modal meanwhile:
// one flag the whole process asks, whichever tab or registry the run is in.
class RunActivity : public QObject
{
    Q_OBJECT
public:
    static RunActivity &instance();
    bool active() const { return m_running > 0; }

signals:
    void changed(bool active);

private:
    friend class RunRegistry;
    void add(int delta);
    int m_running = 0;
};

class RunRegistry : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~RunRegistry() override;

    // Takes `run`; false (and `run` deleted) while another one runs.
    bool start(Run *run);
    bool running() const { return m_run != nullptr; }
    Run *current() const { return m_run; }
    void abort(const QString &reason);

    // Asked by a window that closes, or a process told to end: true when nothing
    // runs. Else the run is aborted with `reason`, `closeAgain` is called from
    // the event loop once it has ended safely (or past kCloseBoundMs, when the
    // link's own close puts back what it can), and false is returned.
    static constexpr int kCloseBoundMs = 20000;
    bool mayClose(const QString &reason, std::function<void()> closeAgain);
    bool closing() const { return m_closing; }

signals:
    void started(autocal::Run *run);
    // The run has ended safely; it is deleted once control is back in the event loop.
    void ended(autocal::Run *run);

private:
    void execute();

    Run *m_run = nullptr;
    bool m_executing = false;
    bool m_closing = false;
    bool m_forced = false;
    std::function<void()> m_closeAgain;
};

} // namespace autocal
