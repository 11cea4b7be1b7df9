#include "tabs/records_loader.h"

#include "record/record_store.h"
#include "records_db/approvals.h"
#include "records_db/certificate_store.h"
#include "records_db/draft_store.h"
#include "records_db/record_db.h"

namespace records {

namespace {

QVector<Check> drafts(const QString &folder)
{
    QVector<Check> list;
    if (folder.isEmpty())
        return list;
    for (const QString &path : recordsdb::DraftStore(folder).pending())
        if (const auto r = record::load(path)) {
            Check c;
            c.record = *r;
            c.record.id = 0;
            list << c;
        }
    return list;
}

std::optional<QVector<Check>> storedChecks(recordsdb::RecordDb &db, QString &error)
{
    const auto stored = db.list();
    if (!stored)
        return error = db.error(), std::nullopt;
    recordsdb::Approvals approvals(db);
    QVector<Check> checks;
    for (const recordsdb::StoredRecord &s : *stored) {
        const auto signatures = approvals.of(s.record.id);
        if (!signatures)
            return error = approvals.error(), std::nullopt;
        checks << Check{s.record, s.supersededBy, *signatures};
    }
    return checks;
}

std::optional<QVector<CertificateRef>> certificates(recordsdb::RecordDb &db, QString &error)
{
    recordsdb::CertificateStore store(db);
    const auto all = store.list();
    if (!all)
        return error = store.error(), std::nullopt;
    QVector<CertificateRef> refs;
    for (const recordsdb::StoredCertificate &s : *all)
        refs << CertificateRef{s.content.number, s.content.asFound ? s.content.asFound->id : 0,
                               s.content.asLeft ? s.content.asLeft->id : 0, s.withdrawnBy};
    return refs;
}

} // namespace

std::optional<Snapshot> loadSnapshot(recordsdb::RecordDb *db, const QString &folder, QString &error)
{
    Snapshot snapshot;
    QVector<Check> checks;
    QVector<CertificateRef> refs;
    if (db) {
        const recordsdb::ChainReport report = db->verify();
        snapshot.chainIntact = report.intact();
        snapshot.entries = report.checked;
        snapshot.headNoteProblem = db->headNoteProblem();
        if (!report.intact())
            snapshot.chainFault = QStringLiteral("#%1 %2").arg(report.faults.first().number).arg(report.faults.first().what);
        const auto stored = storedChecks(*db, error);
        const auto issued = stored ? certificates(*db, error) : std::nullopt;
        if (!issued)
            return std::nullopt;
        checks = *stored;
        refs = *issued;
    }
    snapshot.rows = groupRows(checks, drafts(folder), refs);
    return snapshot;
}

} // namespace records
