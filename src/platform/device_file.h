#pragma once
// A character device read and written directly (a USBTMC instrument), and
// whether a serial device would open: what the system's own calls say.

#include <QByteArray>
#include <QString>

namespace platform {

// The system's error number for opening `path` for reading and writing; 0
// when it opens, or where the system does not say.
int deviceOpenError(const QString &path);

// A handle, or -1 with `why`.
int openDevice(const QString &path, int answerTimeoutMs, QString *why);
void closeDevice(int handle);
// All of `bytes`, or false with `why`.
bool writeDevice(int handle, const QByteArray &bytes, QString *why);
enum class DeviceRead { Got, TimedOut, Failed };
// One read of at most `buffer`'s size; `buffer` is cut to what came.
DeviceRead readDevice(int handle, QByteArray &buffer, QString *why);

} // namespace platform
