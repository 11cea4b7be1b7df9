#pragma once
// tcal-cli instruments list: the instrument register with each one's last
// valid as-left check and next due date, for scripts and reminders.

#include "commands.h"

#include <QTextStream>

namespace cli {

int runInstruments(const Invocation &invocation, QTextStream &out, QTextStream &err);

extern const char kInstrumentsHelp[];

} // namespace cli
