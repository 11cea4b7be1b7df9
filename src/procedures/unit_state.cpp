#include "procedures/unit_state.h"

#include "core/live_values.h"
#include "core/registers.h"

namespace proc {

UnitState::UnitState(rtu::Link &link, const CurrentCalibration &output, QObject *parent)
    : QObject(parent), m_link(link), m_output(output)
{
    // A connection starts clean, whatever the last one reported.
    connect(&link, &rtu::Link::opened, this, [this] {
        m_reported = -1;
        m_divisor.reset();
    });
}

void UnitState::observe(const QVector<quint16> &input)
{
    const int n = input.size();
    m_divisor = reg::temperatureDivisor(n > reg::kDecimalPlaces, reg::word(input, reg::kDecimalPlaces));
    if (n <= reg::kWorkModeStatus) {
        m_reported = -1;
        showGroup(0);
        return;
    }
    m_reported = reg::word(input, reg::kWorkModeStatus);
    if (m_reported == reg::ModeCurrentOutput && m_output.holdsOutput())
        return;
    showGroup(m_reported);
}

void UnitState::showGroup(int group)
{
    if (group == m_group)
        return;
    const int from = m_group;
    m_group = group;
    emit groupChanged(from, group);
}

quint16 UnitState::toggled(quint16 mode) const
{
    const int now = mode == reg::ModeCurrentOutput && m_reported >= 0 ? m_reported : m_group;
    return now == mode ? quint16(reg::ModeNone) : mode;
}

bool UnitState::toggle(quint16 mode)
{
    return m_link.write(reg::kWorkModeCommand, {toggled(mode)}) == rtu::WriteOutcome::Accepted;
}

SensorCalibration::Result UnitState::toggle(SensorCalibration &calibration)
{
    return m_group == calibration.mode() ? calibration.leave() : calibration.enter();
}

} // namespace proc
