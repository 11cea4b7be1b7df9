#pragma once
// Device operations run as straight-line sequences that wait inside the event
// loop. They share the reply bookkeeping, so only one may run at a time: a
// second one started during another's wait does nothing at all.

class OperationGuard
{
public:
    explicit OperationGuard(bool &running)
        : m_running(running), m_owner(!running)
    {
        if (m_owner)
            m_running = true;
    }
    ~OperationGuard()
    {
        if (m_owner)
            m_running = false;
    }
    OperationGuard(const OperationGuard &) = delete;
    OperationGuard &operator=(const OperationGuard &) = delete;

    explicit operator bool() const { return m_owner; }

private:
    bool &m_running;
    bool m_owner;
};
