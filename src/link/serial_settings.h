#pragma once
// Serial settings as the combo boxes name them, mapped to QSerialPort values.

#include <QSerialPort>
#include <QString>

namespace serial {

// "None", "Odd", "Event" (even), "Mark", "Space"; anything else is mark parity.
QSerialPort::Parity parityFromText(const QString &text);
// "1", "1.5", "2"; anything else is one and a half.
QSerialPort::StopBits stopBitsFromText(const QString &text);

} // namespace serial
