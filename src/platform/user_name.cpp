#include "platform/user_name.h"

#if defined(Q_OS_WIN)
#include <windows.h>
#elif defined(Q_OS_UNIX)
#include <pwd.h>
#include <unistd.h>
#endif

namespace platform {

QString userName()
{
#if defined(Q_OS_WIN)
    wchar_t name[257] = {};
    DWORD size = 257;
    if (GetUserNameW(name, &size) && size > 1)
        return QString::fromWCharArray(name, int(size) - 1);
    return qEnvironmentVariable("USERNAME");
#else
#if defined(Q_OS_UNIX)
    // The account, not the environment: a login's USER may be anything.
    if (const passwd *pw = getpwuid(getuid()))
        return QString::fromLocal8Bit(pw->pw_name);
#endif
    return qEnvironmentVariable("USER");
#endif
}

} // namespace platform
