#pragma once
// Where a batch stands, as the operator sees it: each unit's point in each
// check as not measured, pass, fail or cannot pass (judged by decide(), as the
// records are), how much of the batch's work is done, and the time left at the
// pace so far. Plain data, no widgets: the Batch view draws it.

#include "record/calibration_record.h"

#include <QMap>
#include <QVector>

#include <optional>

namespace autocal {

enum class CellState { NotMeasured, Pass, Fail, CannotPass };

// A recorded point's state under its record's header; anything else is not measured.
CellState cellState(const record::Point &point, const record::Header &header);

class BatchProgress
{
public:
    // The work of a unit: its points as found and as left, and the four
    // adjustment steps (two input points, two output points).
    static constexpr int kAdjustmentSteps = 4;

    void reset(const QVector<int> &units, int points);
    void setCell(int unit, record::Stage stage, int index, CellState state);
    CellState cell(int unit, record::Stage stage, int index) const;
    // An adjustment step taken by `unit`.
    void adjustmentStepDone(int unit);
    // The as-left check began: adjustment steps not taken by now never will be.
    void adjustmentOver();
    // What a unit that ended early would still have done is done.
    void unitEnded(int unit);
    void finish();   // the batch ended: nothing is left

    int units() const { return int(m_units.size()); }
    int points() const { return m_points; }
    double fraction() const;   // 0..1
    // The time still needed at the pace of the `elapsedMs` so far; nullopt before anything is done.
    std::optional<qint64> remainingMs(qint64 elapsedMs) const;

private:
    struct Unit {
        QVector<CellState> asFound, asLeft;
        QVector<bool> foundDone, leftDone;
        int adjustmentSteps = 0;
        bool ended = false;
    };
    int workOf(const Unit &u) const;
    QMap<int, Unit> m_units;
    int m_points = 0;
    bool m_adjustmentOver = false;
    bool m_finished = false;
};

} // namespace autocal
