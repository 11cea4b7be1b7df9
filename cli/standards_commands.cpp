#include "standards_commands.h"

#include "core/csv_field.h"
#include "records_commands.h"
#include "records_db/instrument_register.h"
#include "records_db/standards_register.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace cli {

const char kStandardsHelp[] =
    "  standards list [--json]      the reference standards: serial, model, description,\n"
    "                               certificate, calibrated, due date, due state\n"
    "                               (ok, due-soon, overdue), status\n"
    "  standards save --serial S --model M --certificate C --due YYYY-MM-DD\n"
    "                 [--calibrated YYYY-MM-DD] [--description D] [--status S]\n"
    "                 [--certificate-terms FUNCTION:U:k:CORRECTION:DRIFT]...\n"
    "                               the certificate's U (at k), correction and drift\n"
    "                               per year for mV, ohm or mA, used in the budgets\n"
    "                               adds a standard or a new state of the one with\n"
    "                               that serial (its *IDN? serial); status \"in service\"\n"
    "                               unless given\n";

namespace {

const char kUsage[] = "tcal-cli: standards list [--json] | standards save --serial S --model M --certificate C"
                      " --due YYYY-MM-DD [--calibrated YYYY-MM-DD] [--description D] [--status S]\n";

QString stateKey(const QDate &due, const QDate &today)
{
    switch (recordsdb::dueState(due, today)) {
    case recordsdb::DueState::Overdue: return QStringLiteral("overdue");
    case recordsdb::DueState::DueSoon: return QStringLiteral("due-soon");
    case recordsdb::DueState::Ok:
    case recordsdb::DueState::Never: break;
    }
    return QStringLiteral("ok");
}

int list(recordsdb::StandardsRegister &reg, bool json, QTextStream &out, QTextStream &err)
{
    const QVector<recordsdb::Standard> standards = reg.list();
    if (!reg.error().isEmpty())
        return err << "tcal-cli: " << reg.error() << '\n', FileError;
    const QDate today = QDate::currentDate();
    QJsonArray rows;
    if (!json)
        out << "serial,model,description,certificate,calibrated,due,state,status\n";
    for (const recordsdb::Standard &s : standards) {
        const QString calibrated = s.calibrated.toString(Qt::ISODate), due = s.due.toString(Qt::ISODate);
        const QString state = stateKey(s.due, today);
        if (json) {
            QJsonObject row{{"serial", s.serial}, {"model", s.model}, {"description", s.description},
                            {"certificate", s.certificate}, {"calibrated", calibrated}, {"due", due},
                            {"state", state}, {"status", s.status}};
            const QJsonObject stored = recordsdb::standardToJson(s);
            if (stored.contains("certificate terms"))
                row.insert("certificate terms", stored.value("certificate terms"));
            rows.append(row);
            continue;
        }
        out << csv::textField(s.serial) << ',' << csv::textField(s.model) << ',' << csv::textField(s.description)
            << ',' << csv::textField(s.certificate) << ',' << calibrated << ',' << due << ',' << state << ','
            << csv::textField(s.status) << '\n';
    }
    if (json)
        out << QJsonDocument(QJsonObject{{"standards", rows}}).toJson();
    return Success;
}

int save(recordsdb::StandardsRegister &reg, const Invocation &inv, QTextStream &out, QTextStream &err)
{
    recordsdb::Standard s;
    s.serial = inv.serial;
    s.model = inv.model;
    s.description = inv.description.trimmed();
    s.certificate = inv.certificate;
    s.calibrated = inv.calibrated;
    s.due = inv.due;
    if (!inv.status.isEmpty())
        s.status = inv.status;
    for (const QString &text : inv.certificateTerms) {
        QString why;
        const auto terms = recordsdb::certificateTermsFrom(text, why);
        if (!terms)
            return err << "tcal-cli: --certificate-terms " << text << ": " << why << '\n', UsageError;
        s.terms.insert(terms->first, terms->second);
    }
    if (!reg.save(s))
        return err << "tcal-cli: " << reg.error() << '\n', FileError;
    out << "saved reference standard " << s.serial << ", due " << s.due.toString(Qt::ISODate) << '\n';
    return Success;
}

} // namespace

int runStandards(const Invocation &inv, QTextStream &out, QTextStream &err)
{
    const QString what = inv.arguments.value(0);
    const bool saving = what == QLatin1String("save");
    if (inv.arguments.size() != 1 || (!saving && what != QLatin1String("list")))
        return err << kUsage, UsageError;
    // Refused before the database is opened: a save that cannot succeed makes none.
    if (saving && (inv.serial.isEmpty() || inv.model.isEmpty() || inv.certificate.isEmpty() || !inv.due.isValid()))
        return err << "tcal-cli: standards save needs --serial, --model, --certificate and --due\n", UsageError;
    recordsdb::RecordDb db;
    const auto mode = saving ? recordsdb::RecordDb::Mode::Create : recordsdb::RecordDb::Mode::ExistingOnly;
    if (!openDatabase(db, inv.recordsFolder, mode, err))
        return FileError;
    recordsdb::StandardsRegister reg(db);
    return headNoted(db, saving ? save(reg, inv, out, err) : list(reg, inv.json, out, err), err);
}

} // namespace cli
