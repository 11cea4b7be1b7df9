#pragma once
// The records database through Qt SQL, one code path for SQLite and
// PostgreSQL: versioned schema and one signed hash chain of entries appended
// and never updated or deleted. Records, certificates, signatures, the
// instrument register and the signing keys are entries of that chain; every
// list, filter and due date is read from hashed content.

#include "record/calibration_record.h"
#include "records_db/anchor.h"
#include "records_db/db_settings.h"
#include "records_db/keyring.h"
#include "records_db/person_key.h"
#include "records_db/record_hash.h"
#include "records_db/signing_key.h"

#include <QJsonObject>
#include <QMap>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <QVector>
#include <QSqlQuery>
#include <functional>
#include <optional>

namespace recordsdb {

struct StoredRecord {
    record::Record record;    // record.id is its number
    qint64 supersededBy = 0;  // the latest amendment of it, 0 when none
    QString storedUtc;
    bool imported = false;    // from a record file: its provenance is in the entry
    bool approved = false;    // set by who needs it (the due dates)
};

struct ChainFault {
    qint64 number = 0;        // the entry's place in the chain; 0: the database as a whole
    QString serial;
    QString what;
};
struct ChainReport {
    int checked = 0;          // entries
    int records = 0;
    QStringList keys;         // fingerprints of the keys that signed
    QString checkpointKey;    // fingerprint of the checkpoint's key, when one was given
    QByteArray identity;      // the first entry's hash: the database's name no path can imitate
    int adopted = 0;          // entries moved in from an earlier schema's unsigned chain
    QStringList adoptions;    // what each adoption entry says, for the report
    int workstationSignatures = 0;   // from before persons' keys: a typed name under the workstation's key
    ChainHead head;
    QVector<ChainFault> faults;
    bool intact() const { return faults.isEmpty(); }
};

struct ImportReport {
    int imported = 0;
    int already = 0;
    QStringList unreadable;
    QString refused;          // the database took nothing (locked, a rule broken): why
};

// Text for a NOT NULL column: Qt binds a null QString as SQL NULL.
inline QVariant sqlText(const QString &text)
{
    return QVariant(text.isNull() ? QStringLiteral("") : text);
}

class RecordDb
{
public:
    static constexpr int kSchemaVersion = 4;
    // Create: makes a database where none is, appends to one of this schema.
    // Existing: appends to one that is there, never makes one.
    // ExistingOnly: reading; opened read-only, never migrated.
    // Migrate: brings an earlier schema up to date, adopting its chain in a signed entry.
    enum class Mode { Create, Existing, ExistingOnly, Migrate };

    RecordDb();
    ~RecordDb();
    RecordDb(const RecordDb &) = delete;
    RecordDb &operator=(const RecordDb &) = delete;

    // Connects; false with error() set. Only Create makes a database and only
    // Migrate changes a schema; ExistingOnly refuses a database that is not
    // there yet and writes nothing (reading commands).
    bool open(const DbSettings &settings, Mode mode = Mode::Create);
    bool isOpen() const { return m_db.isOpen(); }
    QString error() const { return m_error; }
    int schemaVersion();

    // --- The chain, for every kind of entry ---
    // Builds an entry's content from the number it gets within its kind, inside
    // the append's transaction (other entries may be read there); nullopt with
    // `why` set refuses the append and nothing is stored.
    using Builder = std::function<std::optional<QJsonObject>(qint64 number, QString &why)>;
    // Appends one signed entry; its number within `kind`, or nullopt with error() set.
    std::optional<qint64> appendEntry(const QString &kind, const Builder &build);
    std::optional<qint64> appendEntry(const QString &kind, const QJsonObject &content);
    // Appends entries in one transaction, each builder seeing those before it;
    // all or none. False with error() set.
    bool appendEntries(const QVector<QPair<QString, Builder>> &parts);
    // The entries of `kind` (all when empty) in chain order; nullopt with
    // error() set when a row cannot be read or its columns disagree with its content.
    std::optional<QVector<ChainEntry>> entries(const QString &kind = QString());
    // The fingerprint of the key this connection signs with, for
    // certificates to print; empty with error() set when there is none.
    QByteArray keyFingerprint();
    // A new signing key for this workstation (the old one kept aside),
    // registered in the chain with `reason`; its fingerprint, or nullopt.
    std::optional<QByteArray> newKey(const QString &reason);
    // The database's identity: its first entry's hash; empty while the chain is.
    QByteArray identity();

    // --- The keyring: the keys whose signatures verify ---
    std::optional<QVector<TrustedKey>> keyring();
    bool trust(const QByteArray &publicKey, const QString &name);
    // Revoked from the next entry of this chain on.
    bool revoke(const QByteArray &fingerprint);
    // Adds a person (name, roles, sealed key) to the keyring; see Persons.
    bool enrol(const TrustedKey &person);

    // --- Records and certificate numbers ---
    // Appends a finished check (an amendment when record.amendment is set)
    // with `performer`'s "performed" signature, both or neither; its number, or
    // nullopt. The record's own id is ignored. No check is stored unsigned.
    std::optional<qint64> append(const record::Record &record, const PersonSigner &performer,
                                 const QString &function = QString());
    std::optional<StoredRecord> find(qint64 number);
    // Oldest first; every transmitter when `serial` is empty; nullopt when unreadable.
    std::optional<QVector<StoredRecord>> list(const QString &serial = QString());
    // A new certificate number for these records, never used before.
    std::optional<qint64> issueCertificate(qint64 asFound, qint64 asLeft);
    // The JSON record files of `folder`, each stored once; the files stay as
    // they are. Files the format refuses are named and left out; those without
    // a zone need `assumeOffsetSeconds`.
    // Each is signed performed by `importer`, who answers for it.
    ImportReport importFolder(const QString &folder, const PersonSigner &importer,
                              std::optional<int> assumeOffsetSeconds = std::nullopt);

    // --- Verification ---
    // In one read transaction: the database's own integrity check, the
    // append-only guards, every hash and signature, the numbers of every kind,
    // the head this workstation noted and, when given, a checkpoint.
    ChainReport verify(const std::optional<QJsonObject> &checkpoint = std::nullopt);
    // A signed checkpoint of the current head.
    std::optional<QJsonObject> checkpoint();

    // PostgreSQL, connected as the schema's owner: lets `writerRole` read and
    // append and nothing else; it can then neither change nor remove an entry
    // nor touch the guards. False with error() set.
    bool grantWriter(const QString &writerRole);

    QSqlDatabase &connection() { return m_db; }
    const DbSettings &settings() const { return m_settings; }

private:
    bool migrate();
    bool applyMigration(int version);
    bool adoptLegacyRows();
    int readSchemaVersion();
    bool beginWrite();
    bool commitWrite();
    void rollback();
    std::optional<ChainEntry> appendLocked(const QString &kind, const Builder &build);
    bool loadKey(bool mayCreate = false);
    bool registerKey();
    bool appendAdoption(int records, const QByteArray &legacyHead);
    qint64 chainLength();
    QString keyUser();
    bool saveKeyring(const QVector<TrustedKey> &keys);
    bool notedHeadHeld();
    bool keyStillSigns();
    bool fail(const QString &what, const QString &detail);
    std::optional<QString> amendmentRefusal(const record::Record &record);
    static std::optional<ChainEntry> entryFromRow(const QSqlQuery &q, QString &why);
    void noteHead(const ChainEntry &last);
    QVector<StoredRecord> storedRecords(const QVector<ChainEntry> &entries);
    void verifyDatabase(ChainReport &report);
    void verifyRows(ChainReport &report, QMap<qint64, QByteArray> &hashes, const QVector<TrustedKey> &keyring);
    void verifyHead(ChainReport &report, const QMap<qint64, QByteArray> &hashes, const ChainHead &head,
                    const QString &source);

    QSqlDatabase m_db;
    QString m_name;
    QString m_error;
    DbSettings m_settings;
    std::optional<SigningKey> m_key;
    bool m_sqlite = true;
    Mode m_mode = Mode::Create;
    std::optional<ChainEntry> m_adoptedHead;   // noted once the migration commits
};

} // namespace recordsdb
