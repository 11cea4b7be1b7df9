#pragma once
// The operating system's name for the user this process runs as.

#include <QString>

namespace platform {

// Empty when the system names no one.
QString userName();

} // namespace platform
