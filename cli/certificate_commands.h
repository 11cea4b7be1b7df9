#pragma once
// tcal-cli records certificate | approve: certificates issued from the
// records database and the signatures that approve the checks first.

#include "commands.h"
#include "records_db/record_db.h"

#include <QTextStream>

namespace cli {

// `args` follow "certificate" or "approve".
int certificate(recordsdb::RecordDb &db, const Invocation &invocation, const QStringList &args, QTextStream &out,
                QTextStream &err);
int approve(recordsdb::RecordDb &db, const Invocation &invocation, const QStringList &args, QTextStream &out,
            QTextStream &err);

extern const char kCertificateHelp[];

} // namespace cli
