#pragma once
// The automatic two-point calibration of the 4-20 mA output, for a person at
// the window, the command line or an unattended run alike: start, the meter's
// reading at 4 mA, the reading at 20 mA. It is bound to the unit and the link
// it started on, checks before each point that the transmitter is still where
// the last step left it, and leaves nothing of its own in RAM when it ends
// without its store.

#include "core/registers.h"
#include "procedures/transaction.h"
#include "procedures/unit_binding.h"

#include <QObject>
#include <QString>
#include <QVector>
#include <memory>

namespace proc {

class CurrentCalibration : public QObject
{
    Q_OBJECT
public:
    // What the next call does: start(), measured4mA(), measured20mA().
    enum class Step { Start, At4mA, At20mA };
    enum class Result {
        Done,
        ReadFailed,     // the step could not read the transmitter; nothing changed
        WriteFailed,    // a write or the store was not accepted; the step may be repeated
        StateLost,      // mode, command or point not as the last step left them: ended
        LinkChanged,    // another link or unit than the one it started on: ended
        NotRun,         // another operation runs, or the link is closed: nothing done
    };
    enum class EndReason { Finished, Abandoned, StateLost, LinkChanged };
    Q_ENUM(Step)
    Q_ENUM(Result)
    Q_ENUM(EndReason)

    explicit CurrentCalibration(rtu::Link &link, QObject *parent = nullptr);

    Step step() const { return m_step; }
    bool running() const { return m_step != Step::Start; }
    // From the moment start() begins until the calibration ends: the output is
    // this procedure's, and nothing else may trim it.
    bool holdsOutput() const { return m_starting || running(); }

    // Drives 4 mA in calibration mode; the points held before are kept for a restore.
    Result start();
    // The meter's reading in µA at 4 mA: written to holding 11, then 20 mA is driven.
    Result measured4mA(quint16 microamps);
    // The reading at 20 mA: written to holding 12, stored with 11, read back,
    // and the transmitter back in normal mode.
    Result measured20mA(quint16 microamps);
    // Puts back the points not stored, verified, and leaves mode 4; the step
    // is Start. Any other write on the link puts them back first (its ledger).
    void abandon();
    // The same as an operation of its own: Done when normal mode was confirmed.
    Result leave();
    // What the transmitter holds after the last step that ended the calibration.
    const Outcome &outcome() const { return m_outcome; }

signals:
    void stepChanged(proc::CurrentCalibration::Step step);
    void ended(proc::CurrentCalibration::EndReason reason);
    // holdsOutput() may have changed.
    void outputHoldChanged();

private:
    Result runStart();
    Result runMeasured4mA(quint16 microamps);
    Result runMeasured20mA(quint16 microamps);
    Result readState(QVector<quint16> &holding);
    Result checkStillAsLeft(Step step, quint16 command, QVector<quint16> *read = nullptr);
    bool inState(const QVector<quint16> &holding, quint16 command) const;
    Result driveAndConfirm(quint16 command, QVector<quint16> &holding);
    void finish(EndReason reason);
    Result failStep(Result result);
    void endHere(EndReason reason);
    bool leaveMode();
    Result lose();
    Result linkChanged();
    quintptr owner() const { return quintptr(this); }

    rtu::Link &m_link;
    UnitBinding m_unit;
    Step m_step = Step::Start;
    std::unique_ptr<Transaction> m_change;   // the points, from the first write to the store
    Outcome m_outcome;
    quint16 m_point4 = 0;
    bool m_unsent = false;             // the last write was refused or never went out: nothing changed
    bool m_ownStep = false;            // an operation of this procedure is running
    bool m_starting = false;           // start() runs
};

} // namespace proc
