#pragma once
// Where a command's answer goes, and the messages every command shares.

#include "commands.h"

#include <QJsonObject>

namespace cli {

// Text on the streams, or one JSON document on standard output (errors
// included) with --json.
struct Output {
    QTextStream &out;
    QTextStream &err;
    bool json;
    QJsonObject doc;

    int fail(int code, const QString &message)
    {
        if (json)
            doc.insert("error", QJsonObject{{"code", code}, {"message", message}});
        else
            err << "tcal-cli: " << message << "\n";
        return code;
    }
    void text(const QString &line)
    {
        if (!json)
            out << line << "\n";
    }
};

QString lineText(const rtu::SerialOptions &line);
// The one message for a failed request, whatever the command.
QString busErrorText(const core::BusError &error, const rtu::SerialOptions &line);
int reportBusError(const core::BusError &error, const rtu::SerialOptions &line, Output &o);
bool openSession(rtu::Link &session, const Invocation &inv, Output &o);

} // namespace cli
