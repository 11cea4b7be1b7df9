// Re-computes the hash chain from the stored rows: a record whose content was
// edited, one removed, or two swapped are each named.

#include "records_db/record_db.h"
#include "records_db/record_hash.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace recordsdb {

ChainReport RecordDb::verify()
{
    ChainReport report;
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT seq, serial, content, prev_hash, hash FROM records ORDER BY seq"))) {
        report.faults << ChainFault{0, QString(), QStringLiteral("cannot read: ") + q.lastError().text()};
        return report;
    }
    QByteArray previous = genesisHash();
    qint64 expected = 1;
    while (q.next()) {
        const qint64 number = q.value(0).toLongLong();
        const QString serial = q.value(1).toString();
        const QByteArray content = q.value(2).toString().toUtf8();
        const QByteArray storedPrevious = q.value(3).toString().toLatin1();
        const QByteArray stored = q.value(4).toString().toLatin1();
        ++report.checked;
        auto fault = [&](const QString &what) { report.faults << ChainFault{number, serial, what}; };
        if (number != expected)
            fault(QStringLiteral("records %1 to %2 are missing").arg(expected).arg(number - 1));
        if (storedPrevious != previous)
            fault(QStringLiteral("does not follow the record before it"));
        if (chainHash(number, storedPrevious, content) != stored)
            fault(QStringLiteral("content altered"));
        previous = stored;
        expected = number + 1;
    }
    // The head is counted apart, so a removed last record shows too.
    if (q.exec(QStringLiteral("SELECT value FROM counters WHERE name = 'records'")) && q.next()
        && q.value(0).toLongLong() != expected - 1)
        report.faults << ChainFault{q.value(0).toLongLong(), QString(),
                                    QStringLiteral("records after %1 are missing").arg(expected - 1)};
    return report;
}

} // namespace recordsdb
