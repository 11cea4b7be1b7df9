// Runs test code right after the window has handled a given reply. The window
// handles each reply from the event queue; the tap's call is queued right
// behind it, so no timer and no wait can run between the two.
#pragma once

#include <QChildEvent>
#include <QModbusClient>
#include <QModbusReply>
#include <QPointer>
#include <functional>

class ReplyTap : public QObject
{
public:
    // `index` counts the replies the master creates from now on, from 0.
    ReplyTap(QModbusClient *master, int index, std::function<void(QModbusReply *)> action)
        : m_master(master), m_index(index), m_action(std::move(action))
    {
        master->installEventFilter(this);
    }
    ~ReplyTap() override
    {
        if (m_master)
            m_master->removeEventFilter(this);
    }

    bool fired() const { return m_fired; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_master || event->type() != QEvent::ChildAdded)
            return false;
        // The child is still being constructed; look at it once it is complete.
        // The window connects its own handler before any event runs, so a
        // connection made from the event queue comes after it.
        QPointer<QObject> child = static_cast<QChildEvent *>(event)->child();
        QMetaObject::invokeMethod(this, [this, child] {
            auto *reply = qobject_cast<QModbusReply *>(child.data());
            if (!reply || m_seen++ != m_index)
                return;
            connect(reply, &QModbusReply::finished, this, [this, reply] {
                m_fired = true;
                m_action(reply);
            }, Qt::QueuedConnection);
        }, Qt::QueuedConnection);
        return false;
    }

private:
    QPointer<QModbusClient> m_master;
    int m_index;
    int m_seen = 0;
    bool m_fired = false;
    std::function<void(QModbusReply *)> m_action;
};
