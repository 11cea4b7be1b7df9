#pragma once
// The serial Modbus master under the name of the Qt version at hand: Qt 6.2
// renamed QModbusRtuSerialMaster to QModbusRtuSerialClient.

#include <QtGlobal>

#if QT_VERSION >= QT_VERSION_CHECK(6, 2, 0)
#include <QModbusRtuSerialClient>
namespace rtu { using RtuSerialMaster = QModbusRtuSerialClient; }
#else
#include <QModbusRtuSerialMaster>
namespace rtu { using RtuSerialMaster = QModbusRtuSerialMaster; }
#endif
