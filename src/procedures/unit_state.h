#pragma once
// What the transmitter last reported of itself on the live poll: its work
// mode and its decimal code. The mode decides which group of controls is
// open and whether a mode button enters or leaves; the window only renders
// it. While the automatic current calibration holds the output, the mode 4 it
// set opens nothing.

#include "procedures/current_calibration.h"
#include "procedures/sensor_calibration.h"

#include <QObject>
#include <QVector>
#include <optional>

namespace proc {

class UnitState : public QObject
{
    Q_OBJECT
public:
    UnitState(rtu::Link &link, const CurrentCalibration &output, QObject *parent = nullptr);

    // A live poll's input block.
    void observe(const QVector<quint16> &input);
    // The mode whose controls are open (0: none, also for modes without controls).
    int group() const { return m_group; }
    // The mode of the last poll; -1 before one on this link.
    int reported() const { return m_reported; }
    // How the last poll's temperatures scale; none when its decimal code is unknown.
    std::optional<int> temperatureDivisor() const { return m_divisor; }

    // What the button of `mode` writes: normal mode when the unit is in it, else `mode`.
    // The current-output button goes by the reported mode, which a running
    // automatic calibration does not open.
    quint16 toggled(quint16 mode) const;
    // Writes toggled(mode); true when the transmitter accepted it. The group
    // follows once a poll reports the new mode.
    bool toggle(quint16 mode);
    // Leaves the calibration's mode when the unit is in it, else enters it.
    SensorCalibration::Result toggle(SensorCalibration &calibration);

signals:
    void groupChanged(int from, int to);

private:
    void showGroup(int group);

    rtu::Link &m_link;
    const CurrentCalibration &m_output;
    int m_group = 0;
    int m_reported = -1;
    std::optional<int> m_divisor;
};

} // namespace proc
