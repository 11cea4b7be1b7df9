#include "platform/terminal_echo.h"

#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace platform {

std::optional<QByteArray> readWithoutEcho(const QString &prompt)
{
    if (!isatty(STDIN_FILENO))
        return std::nullopt;
    std::fprintf(stderr, "%s", prompt.toLocal8Bit().constData());
    std::fflush(stderr);
    termios old{};
    if (tcgetattr(STDIN_FILENO, &old) != 0)
        return std::nullopt;
    termios quiet = old;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) != 0)
        return std::nullopt;
    char line[1024] = {};
    const bool read = std::fgets(line, sizeof line, stdin) != nullptr;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
    std::fprintf(stderr, "\n");
    QByteArray typed(line);
    while (typed.endsWith('\n') || typed.endsWith('\r'))
        typed.chop(1);
    std::fill(std::begin(line), std::end(line), '\0');
    return read ? std::optional<QByteArray>(typed) : std::nullopt;
}

} // namespace platform
