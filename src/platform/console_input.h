#pragma once
// The technician's terminal: a line typed without echo, and standard input
// read a byte at a time so that a signal is seen between bytes.

#include <QString>

#include <optional>

namespace platform {

bool inputIsTerminal();

// A line typed on the terminal with echo off, without its line end; nullopt
// when standard input is not a terminal or ends first.
std::optional<QString> readHiddenLine();

enum class InputByte { Got, NotYet, Ended };
// Waits at most `waitMs` for one byte of standard input.
InputByte readInputByte(char &byte, int waitMs);

} // namespace platform
