#include "automation/batch_progress.h"

#include <cmath>

namespace autocal {

CellState cellState(const record::Point &point, const record::Header &header)
{
    if (point.status != record::Point::Status::Recorded)
        return CellState::NotMeasured;
    const record::PointFigures f = record::figures(point, header);
    if (f.passed)
        return CellState::Pass;
    const bool cannot = f.decision == metrology::Decision::CannotPass
        || (f.currentDecision && *f.currentDecision == metrology::Decision::CannotPass);
    return cannot ? CellState::CannotPass : CellState::Fail;
}

void BatchProgress::reset(const QVector<int> &units, int points)
{
    m_units.clear();
    m_points = std::max(0, points);
    m_adjustmentOver = m_finished = false;
    for (int number : units) {
        Unit u;
        u.asFound = u.asLeft = QVector<CellState>(m_points, CellState::NotMeasured);
        u.foundDone = u.leftDone = QVector<bool>(m_points, false);
        m_units.insert(number, u);
    }
}

void BatchProgress::setCell(int unit, record::Stage stage, int index, CellState state)
{
    auto it = m_units.find(unit);
    if (it == m_units.end() || index < 0 || index >= m_points)
        return;
    const bool left = stage == record::Stage::AsLeft;
    (left ? it->asLeft : it->asFound)[index] = state;
    (left ? it->leftDone : it->foundDone)[index] = true;
}

CellState BatchProgress::cell(int unit, record::Stage stage, int index) const
{
    const auto it = m_units.constFind(unit);
    if (it == m_units.cend() || index < 0 || index >= m_points)
        return CellState::NotMeasured;
    return (stage == record::Stage::AsLeft ? it->asLeft : it->asFound).at(index);
}

void BatchProgress::adjustmentStepDone(int unit)
{
    auto it = m_units.find(unit);
    if (it != m_units.end())
        it->adjustmentSteps = std::min(kAdjustmentSteps, it->adjustmentSteps + 1);
}

void BatchProgress::adjustmentOver()
{
    m_adjustmentOver = true;
}

void BatchProgress::unitEnded(int unit)
{
    auto it = m_units.find(unit);
    if (it != m_units.end())
        it->ended = true;
}

void BatchProgress::finish()
{
    m_finished = true;
}

int BatchProgress::workOf(const Unit &u) const
{
    const int all = 2 * m_points + kAdjustmentSteps;
    if (u.ended || m_finished)
        return all;
    int done = int(u.foundDone.count(true) + u.leftDone.count(true));
    done += m_adjustmentOver ? kAdjustmentSteps : u.adjustmentSteps;
    return std::min(all, done);
}

double BatchProgress::fraction() const
{
    if (m_units.isEmpty())
        return m_finished ? 1.0 : 0.0;
    const int perUnit = 2 * m_points + kAdjustmentSteps;
    int done = 0;
    for (const Unit &u : m_units)
        done += workOf(u);
    return double(done) / double(perUnit * m_units.size());
}

std::optional<qint64> BatchProgress::remainingMs(qint64 elapsedMs) const
{
    const double f = fraction();
    if (f <= 0.0 || elapsedMs <= 0)
        return std::nullopt;
    return qint64(std::llround(double(elapsedMs) * (1.0 - f) / f));
}

} // namespace autocal
