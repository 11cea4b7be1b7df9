#include "platform/file_sync.h"

#if defined(Q_OS_WIN)
#include <io.h>
#elif defined(Q_OS_UNIX)
#include <unistd.h>
#endif

namespace platform {

bool syncToDisk(QFileDevice &file)
{
    const int fd = file.handle();
    if (fd < 0)
        return false;
#if defined(Q_OS_WIN)
    return _commit(fd) == 0;
#elif defined(Q_OS_UNIX)
    return ::fsync(fd) == 0;
#else
    return true;   // nothing to ask: the flush is all there is
#endif
}

} // namespace platform
