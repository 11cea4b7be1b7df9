#pragma once
// Fine trim of either end of the 4-20 mA output: the transmitter is told
// which end it trims, every value goes to that end's register, and the store
// keeps it. Values given while a write waits are coalesced (the last one goes
// out); a value whose end changed meanwhile is never written to the other
// end. Trims not stored are put back before any other write goes out.

#include "core/write_verdict.h"
#include "core/registers.h"
#include "procedures/transaction.h"
#include "procedures/unit_binding.h"

#include <QObject>
#include <QVector>
#include <memory>
#include <optional>

namespace proc {

class CurrentCalibration;
class UnitState;

class FineTrim : public QObject
{
    Q_OBJECT
public:
    enum class End { At4mA, At20mA };
    enum class Result {
        Done,
        ReadFailed,
        WriteFailed,   // not accepted, or a value was lost to a busy link or an end change
        LinkChanged,   // the link closed or is another one: nothing more was written
        NotRun,        // another operation runs, or the link is closed
        Queued,        // a write is on its way; this value goes out after it
        Differs,       // stored, but the chosen end reads back otherwise (lastCheck())
    };
    Q_ENUM(Result)

    explicit FineTrim(rtu::Link &link, QObject *parent = nullptr);

    static int trimRegister(End end) { return end == End::At4mA ? reg::kTrim4mA : reg::kTrim20mA; }
    // The end the transmitter was told to trim and whose stored value was read.
    std::optional<End> end() const { return m_end; }
    // The end being selected now, else end(): what the operator sees chosen.
    std::optional<End> shownEnd() const { return m_choosing ? m_choosing : m_end; }

    // An end can be chosen only while the unit shows current-output mode and
    // no automatic calibration holds the output; either change drops the end.
    void follow(const UnitState &state, const CurrentCalibration &output);
    // Always true for a trim that follows nothing (tcal-cli, tests).
    bool available() const;
    // The automatic calibration holds the output, or finished and the
    // current-output group has not been switched on since: no end can be chosen.
    bool locked() const;

    // Tells the transmitter to trim `end` and reads that end's stored value.
    // The end is chosen only when both worked and nothing dropped it meanwhile.
    Result select(End end, quint16 *stored = nullptr);
    // No end is chosen: later values go nowhere.
    void deselect();
    // Writes `value` to the end chosen when it was given.
    Result setValue(quint16 value);
    // Stores the trim, then reads back that the chosen end holds `shown`.
    Result store(std::optional<quint16> shown);
    const verify::ReadBack &lastCheck() const { return m_check; }
    // The register the last store read back, as chosen when the store began
    // (a poll during its waits may deselect the end).
    int lastCheckedRegister() const { return m_checkedRegister; }
    // Trims not stored go back to what was stored, verified.
    void abandon();
    const Outcome &outcome() const { return m_outcome; }

signals:
    // The stored value of the end just selected, read from the transmitter.
    void endLoaded(proc::FineTrim::End end, quint16 stored);
    // end(), shownEnd(), available() or locked() may have changed.
    void changed();

private:
    struct Pending {
        End end;
        quint16 value;
    };
    Result runSelect(End end, quint16 *stored);
    Result writeNext(const Pending &next, int &busyRounds, bool &lost);

    rtu::Link &m_link;
    UnitBinding m_unit;
    std::optional<End> m_end;
    std::optional<End> m_choosing;
    const UnitState *m_state = nullptr;
    const CurrentCalibration *m_output = nullptr;
    std::optional<Pending> m_next;
    bool m_writing = false;
    std::unique_ptr<Transaction> m_change;   // the trims, from the first write to the store
    Outcome m_outcome;
    quintptr owner() const { return quintptr(this); }
    bool m_ownStep = false;
    verify::ReadBack m_check;
    int m_checkedRegister = reg::kTrim4mA;
    bool m_putBack = false;   // another write put the trims back since the last value
    bool m_lockedAfterRun = false;
};

} // namespace proc
