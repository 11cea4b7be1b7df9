#pragma once
// The transmitter a procedure started on: the link it was open on (its
// generation) and the address. A procedure that writes the transmitter
// checks it before every step and ends when either has changed.

#include "link/link.h"

namespace proc {

struct UnitBinding {
    quint64 generation = 0;
    int address = 0;

    static UnitBinding of(const rtu::Link &link) { return {link.generation(), link.address()}; }
    bool holds(const rtu::Link &link) const
    {
        return link.isOpen() && link.generation() == generation && link.address() == address;
    }
};

// Marks a procedure's own requests while they run, so that its own store or
// mode change does not end it.
class OwnStep
{
public:
    explicit OwnStep(bool &flag) : m_flag(flag), m_was(flag) { m_flag = true; }
    ~OwnStep() { m_flag = m_was; }
    OwnStep(const OwnStep &) = delete;
    OwnStep &operator=(const OwnStep &) = delete;

private:
    bool &m_flag;
    bool m_was;
};

// Runs `body` as an operation on the link, marked as the procedure's: its
// own, or the one its caller is running (a window slot holds the guard for
// its whole sequence and has checked the link). `notRun` when the link is closed.
template <typename Result, typename Body>
Result runStep(rtu::Link &link, bool &ownFlag, Result notRun, Body body)
{
    rtu::OperationGuard guard(link);
    if (guard ? !link.startOperation() : !link.isOpen())
        return notRun;
    OwnStep own(ownFlag);
    return body();
}

} // namespace proc
