#pragma once
// Why a serial port would not open, in the terms the operator can act on.

#include <QString>

namespace ports {

enum class OpenFailure { Permission, Other };

// What an errno from opening a serial device means for the operator.
OpenFailure classifyOpenError(int error);

// The group to join for access: the device's own group, or dialout (Debian's
// group for serial lines) when the device belongs to root or is unknown.
QString groupToJoin(const QString &owningGroup);

// Opens `path` as the master does and closes it again: 0, or the errno.
int openError(const QString &path);

// The name of the group owning `path`, empty when it cannot be told.
QString owningGroup(const QString &path);

} // namespace ports
