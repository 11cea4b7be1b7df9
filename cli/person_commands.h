#pragma once
// tcal-cli records person enrol|list: the persons who sign, each with their
// own key sealed under their passphrase and the roles they hold.

#include "commands.h"

#include <QStringList>
#include <QTextStream>

namespace recordsdb {
class RecordDb;
}

namespace cli {

int person(recordsdb::RecordDb &db, const Invocation &inv, const QStringList &args, QTextStream &out, QTextStream &err);

extern const char kPersonHelp[];

} // namespace cli
