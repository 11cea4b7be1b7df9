#include "automation/run_registry.h"

#include <QTimer>

namespace autocal {

RunActivity &RunActivity::instance()
{
    static RunActivity activity;
    return activity;
}

void RunActivity::add(int delta)
{
    const bool was = active();
    m_running += delta;
    if (was != active())
        emit changed(active());
}

RunRegistry::~RunRegistry()
{
    // A run cannot be left half done by the registry's end: the window waits for it.
    Q_ASSERT(!m_executing);
}

bool RunRegistry::start(Run *run)
{
    if (m_run) {
        delete run;
        return false;
    }
    m_run = run;
    run->setParent(this);
    RunActivity::instance().add(1);
    emit started(run);
    QTimer::singleShot(0, this, &RunRegistry::execute);
    return true;
}

void RunRegistry::abort(const QString &reason)
{
    if (m_run)
        m_run->abort(reason);
}

bool RunRegistry::mayClose(const QString &reason, std::function<void()> closeAgain)
{
    if (!m_run || m_forced)
        return true;
    if (!m_closing) {
        m_closing = true;
        m_closeAgain = std::move(closeAgain);
        m_run->abort(reason);
        QTimer::singleShot(kCloseBoundMs, this, [this] {
            if (!m_run || !m_closeAgain)
                return;
            m_forced = true;
            m_closeAgain();
        });
    }
    return false;
}

void RunRegistry::execute()
{
    if (!m_run || m_executing)
        return;
    m_executing = true;
    m_run->execute();
    m_executing = false;
    Run *done = m_run;
    m_run = nullptr;
    RunActivity::instance().add(-1);
    emit ended(done);
    done->deleteLater();
    // Called from the event loop, once the run's frames have returned.
    if (m_closing && m_closeAgain)
        QTimer::singleShot(0, this, [again = m_closeAgain] { again(); });
}

} // namespace autocal
