#pragma once
// tcal-cli's command line: an argument vector in, an invocation whose every
// value is within its limits out, or the reason it was refused. No process
// exit and no output here, so that anything may be handed in.

#include "commands.h"

#include <optional>

namespace cli {

struct Parsed {
    std::optional<Invocation> invocation;
    int exitCode = UsageError;   // without an invocation: the process's exit status
    QString output;              // help or version text, for standard output
    QString error;               // why the arguments were refused, for standard error
};

// `arguments` as main receives them, the program name first.
Parsed parseArguments(const QStringList &arguments);

} // namespace cli
