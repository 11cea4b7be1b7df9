#include "platform/console_input.h"

#include <algorithm>
#include <cstdio>

#if defined(Q_OS_WIN)
#include <io.h>
#include <windows.h>
#else
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

#if defined(Q_OS_WIN)
// Echo off on the console for as long as this lives.
struct EchoOff {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD old = 0;
    bool changed = GetConsoleMode(in, &old) && SetConsoleMode(in, old & ~DWORD(ENABLE_ECHO_INPUT));
    ~EchoOff()
    {
        if (changed)
            SetConsoleMode(in, old);
    }
};
#else
struct EchoOff {
    termios old{};
    bool changed = false;
    EchoOff()
    {
        if (tcgetattr(STDIN_FILENO, &old) != 0)
            return;
        termios quiet = old;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        changed = tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0;
    }
    ~EchoOff()
    {
        if (changed)
            tcsetattr(STDIN_FILENO, TCSANOW, &old);
    }
};
#endif

} // namespace

bool inputIsTerminal()
{
#if defined(Q_OS_WIN)
    return _isatty(_fileno(stdin)) != 0;
#else
    return isatty(STDIN_FILENO) != 0;
#endif
}

std::optional<QString> readHiddenLine()
{
    if (!inputIsTerminal())
        return std::nullopt;
    char line[1024] = {};
    bool read = false;
    {
        EchoOff quiet;
        read = std::fgets(line, sizeof line, stdin) != nullptr;
    }
    QString typed = QString::fromLocal8Bit(line);
    std::fill(std::begin(line), std::end(line), '\0');  // a passphrase does not outlive its use
    if (!read)
        return std::nullopt;
    while (typed.endsWith(QLatin1Char('\n')) || typed.endsWith(QLatin1Char('\r')))
        typed.chop(1);
    return typed;
}

InputByte readInputByte(char &byte, int waitMs)
{
#if defined(Q_OS_WIN)
    (void)waitMs;   // a console read blocks; Ctrl-C still ends the process's wait
    const int n = _read(_fileno(stdin), &byte, 1);
    return n == 1 ? InputByte::Got : InputByte::Ended;
#else
    pollfd in{STDIN_FILENO, POLLIN, 0};
    if (::poll(&in, 1, waitMs) <= 0)
        return InputByte::NotYet;
    return ::read(STDIN_FILENO, &byte, 1) == 1 ? InputByte::Got : InputByte::Ended;
#endif
}

} // namespace platform
