#pragma once
// The records database through Qt SQL, one code path for SQLite and
// PostgreSQL: versioned schema, records appended and never updated or deleted,
// corrections as amendments, the hash chain, certificate numbers from a sequence.

#include "record/calibration_record.h"
#include "records_db/db_settings.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <QVector>
#include <optional>

namespace recordsdb {

struct StoredRecord {
    record::Record record;    // record.id is its number
    qint64 supersededBy = 0;  // the latest amendment of it, 0 when none
    QString storedUtc;
};

struct ChainFault {
    qint64 number = 0;
    QString serial;
    QString what;
};
struct ChainReport {
    int checked = 0;
    QVector<ChainFault> faults;
    bool intact() const { return faults.isEmpty(); }
};

struct ImportReport {
    int imported = 0;
    int already = 0;
    QStringList unreadable;
};

// Text for a NOT NULL column: Qt binds a null QString as SQL NULL.
inline QVariant sqlText(const QString &text)
{
    return QVariant(text.isNull() ? QStringLiteral("") : text);
}

class RecordDb
{
public:
    static constexpr int kSchemaVersion = 3;

    RecordDb();
    ~RecordDb();
    RecordDb(const RecordDb &) = delete;
    RecordDb &operator=(const RecordDb &) = delete;

    // Connects and brings the schema up to date; false with error() set.
    bool open(const DbSettings &settings);
    bool isOpen() const { return m_db.isOpen(); }
    QString error() const { return m_error; }
    int schemaVersion();

    // Appends a finished check (an amendment when record.amendment is set);
    // its number, or nullopt. The record's own id is ignored.
    std::optional<qint64> append(const record::Record &record);

    std::optional<StoredRecord> find(qint64 number);
    // Oldest first; every transmitter when `serial` is empty.
    QVector<StoredRecord> list(const QString &serial = QString());

    // A new certificate number for these records, never used before.
    std::optional<qint64> issueCertificate(qint64 asFound, qint64 asLeft);

    // Re-computes the chain and names each record whose content or order was altered.
    ChainReport verify();

    // The JSON record files of `folder`, each stored once; the files stay as they are.
    ImportReport importFolder(const QString &folder);

    QSqlDatabase &connection() { return m_db; }

private:
    bool migrate();
    bool applyMigration(int version);
    bool begin();
    bool commit();
    void rollback();
    std::optional<qint64> bumpCounter(const QString &name);
    bool fail(const QString &what, const QString &detail);
    bool contentStored(const QByteArray &content);

    QSqlDatabase m_db;
    QString m_name;
    QString m_error;
    bool m_sqlite = true;
};

} // namespace recordsdb
