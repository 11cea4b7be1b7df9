#pragma once
// Bytes written to a file and flushed are still only the system's until they
// reach the disk; a writer that says "written" asks for that first.

#include <QFileDevice>

namespace platform {

// The open file's data on the disk; false when the system says it is not.
bool syncToDisk(QFileDevice &file);

} // namespace platform
