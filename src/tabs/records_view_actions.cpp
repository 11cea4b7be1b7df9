// The records view's actions on the selected calibration, each through the
// records library as tcal-cli uses it; every outcome reported as it is.

#include "tabs/records_view.h"
#include "widgets/modal_guard.h"

#include "record/certificate.h"
#include "record/record_csv.h"
#include "record/record_store.h"
#include "records_db/approvals.h"
#include "records_db/certificate_store.h"
#include "records_db/record_db.h"
#include "core/whole_file.h"
#include "tabs/certificate_details_dialog.h"
#include "tabs/signing_dialog.h"

#include <QDir>
#include <QLabel>
#include <QRegularExpression>
#include <QSettings>

using records::CalibrationRow;
using Meaning = record::Signature::Meaning;

namespace {

QString certificateName(qint64 number, const char *suffix)
{
    return QStringLiteral("certificate-%1%2.pdf").arg(number, 6, 10, QLatin1Char('0')).arg(QLatin1String(suffix));
}

} // namespace

void RecordsView::sign(Meaning meaning, const CalibrationRow &row)
{
    auto *db = m_hooks.database ? m_hooks.database(true) : nullptr;
    if (!db)
        return report(rv::notDone(rv::text(rv::Text::NoDatabase, m_language), m_language));
    if (!modal_guard::mayOpen())
        return;
    SigningDialog dialog(meaning, row, db, m_language, this);
    if (dialog.exec() != QDialog::Accepted || !dialog.signer())
        return;
    recordsdb::Approvals approvals(*db);
    QStringList done;
    for (const records::Check *c : row.checks()) {
        if (c->signedAs(meaning))
            continue;
        if (!approvals.sign(c->record.id, meaning, *dialog.signer(), dialog.function())) {
            // What was signed before the refusal stays signed, and is said so.
            const QString refused = rv::notDone(approvals.error(), m_language);
            report(done.isEmpty() ? refused : refused + QStringLiteral(" (") + done.join(QStringLiteral(", ")) + ')');
            return refresh();
        }
        done << QStringLiteral("#%1").arg(c->record.id);
    }
    report(rv::text(meaning == Meaning::Approved ? rv::Text::Approved : rv::Text::Reviewed, m_language)
               .arg(done.join(QStringLiteral(", ")), dialog.signer()->name()));
    refresh();
}

QString RecordsView::writePdf(const QString &name, const QByteArray &pdf, QString &error)
{
    const QString folder = m_hooks.folder ? m_hooks.folder() : QString();
    const QString path = QDir(folder).filePath(name);
    QDir().mkpath(folder);
    if (pdf.isEmpty())
        return error = name, QString();
    return files::writeWhole(files::FileKind::Certificate, path, pdf, error) ? path : QString();
}

// Issues the calibration's certificate (replacing `replaces` when not 0),
// after the laboratory's and the item's details are confirmed.
void RecordsView::issue(const CalibrationRow &row, qint64 replaces)
{
    auto *db = m_hooks.database ? m_hooks.database(true) : nullptr;
    if (!db)
        return report(rv::notDone(rv::text(rv::Text::NoDatabase, m_language), m_language));
    if (!modal_guard::mayOpen())
        return;
    QSettings settings;
    CertificateDetailsDialog dialog(record::readIssuer(settings), m_receipt, m_language, this);
    dialog.setObjectName(QStringLiteral("dialog_certificate_details"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    record::writeIssuer(settings, dialog.issuer());
    m_receipt = dialog.receipt();
    recordsdb::IssueRequest request{row.asFound ? row.asFound->record.id : 0, row.asLeft ? row.asLeft->record.id : 0,
                                    replaces, dialog.issuer(), m_language, m_receipt};
    recordsdb::CertificateStore store(*db);
    const auto issued = store.issue(request);
    if (!issued)
        return report(rv::notDone(store.error(), m_language));
    m_receipt = {m_receipt.place, {}, {}, {}, {}};   // the next item is received anew
    const qint64 number = issued->content.number;
    QString why;
    const QString path = writePdf(certificateName(number, ""), issued->pdf, why);
    const QString where = path.isEmpty() ? rv::notDone(why, m_language) : path;
    report(replaces ? rv::text(rv::Text::Replaced, m_language).arg(number).arg(replaces).arg(where)
                    : rv::text(rv::Text::Issued, m_language).arg(number).arg(where));
    refresh();
}

// The certificate's bytes as issued, from a chain that verifies; `open` shows them.
void RecordsView::reprint(const CalibrationRow &row, bool open)
{
    auto *db = m_hooks.database ? m_hooks.database(true) : nullptr;
    if (!db)
        return report(rv::notDone(rv::text(rv::Text::NoDatabase, m_language), m_language));
    const qint64 number = row.certificate ? row.certificate : row.withdrawn;
    recordsdb::CertificateStore store(*db);
    const QByteArray pdf = store.reprint(number);
    if (pdf.isEmpty())
        return report(rv::notDone(store.error(), m_language));
    const char *suffix = open ? "" : "-copy";
    QString why;
    const QString path = writePdf(certificateName(number, suffix), pdf, why);
    if (path.isEmpty())
        return report(rv::notDone(why, m_language));
    if (open && !m_hooks.open(path))
        return report(rv::notDone(path, m_language));
    report(open ? path : rv::text(rv::Text::Reprinted, m_language).arg(path));
}

void RecordsView::exportCsv(const CalibrationRow &row)
{
    QVector<record::Record> checks;
    for (const records::Check *c : row.checks())
        checks << c->record;
    QString name = record::fileName(row.main().record);
    name.remove(QRegularExpression(QStringLiteral("_as-(found|left)\\.json$")));
    const QString folder = m_hooks.folder ? m_hooks.folder() : QString();
    const QString path = QDir(folder).filePath(name + QStringLiteral("_record.csv"));
    QDir().mkpath(folder);
    report(record::writeCsv(path, checks, false) ? rv::text(rv::Text::Exported, m_language).arg(path)
                                                 : rv::notDone(path, m_language));
}
