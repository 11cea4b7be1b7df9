#pragma once
// tcal-cli standards list|save: the reference standards register (the
// calibrators and meters the laboratory calibrates with), in the records
// database, with no serial port involved.

#include "commands.h"

#include <QTextStream>

namespace cli {

int runStandards(const Invocation &invocation, QTextStream &out, QTextStream &err);

extern const char kStandardsHelp[];

} // namespace cli
