#pragma once
// What one request asked for, as it went to the master. Diagnostics listen to
// these together with the reply object; no widgets, no bus.

#include <QVector>
#include <QtGlobal>

namespace rtu {

struct RequestDescription {
    int function = 0;          // Modbus function code: 3, 4, 6 or 16
    int server = 0;            // device address
    int start = 0;             // first register
    int count = 0;             // registers read or written
    QVector<quint16> values;   // written values
};

} // namespace rtu
