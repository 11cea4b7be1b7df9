#include "link/serial_settings.h"

namespace serial {

QSerialPort::Parity parityFromText(const QString &text)
{
    if (text == QLatin1String("None"))
        return QSerialPort::NoParity;
    if (text == QLatin1String("Odd"))
        return QSerialPort::OddParity;
    if (text == QLatin1String("Event"))
        return QSerialPort::EvenParity;
    if (text == QLatin1String("Mark"))
        return QSerialPort::MarkParity;
    if (text == QLatin1String("Space"))
        return QSerialPort::SpaceParity;
    return QSerialPort::MarkParity;
}

QSerialPort::StopBits stopBitsFromText(const QString &text)
{
    if (text == QLatin1String("1"))
        return QSerialPort::OneStop;
    if (text == QLatin1String("2"))
        return QSerialPort::TwoStop;
    return QSerialPort::OneAndHalfStop;
}

} // namespace serial
