#include "records_fixture.h"

#include "record_samples.h"
#include "records_db/record_hash.h"
#include "records_db/signing_key.h"

#include <QDir>
#include <QHash>
#include <map>
#include <QTemporaryFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

namespace recordsfixture {

bool trustOwnKey(recordsdb::RecordDb &db)
{
    QString why;
    const QString folder = db.settings().dataFolder;
    auto key = recordsdb::SigningKey::load(folder, why);
    if (!key)
        key = recordsdb::SigningKey::create(folder, why);
    const auto keys = db.keyring();
    if (!key || !keys)
        return false;
    for (const recordsdb::TrustedKey &k : *keys)
        if (k.fingerprint == key->fingerprint())
            return true;
    return db.trust(key->publicKey(), "this workstation");
}

const char kPassphrase[] = "correct horse battery";

namespace {

// The tests' checks are dated days before the suite runs, and a check may not
// begin before its performer's key was enrolled: the keys they enrol are dated back.
const QString kEnrolledAt = QStringLiteral("2020-01-01T00:00:00Z");

void backdateEnrolment(recordsdb::RecordDb &db, const QByteArray &fingerprint)
{
    const recordsdb::DbSettings &s = db.settings();
    QString why;
    if (s.kind == recordsdb::DbSettings::Kind::Sqlite) {
        const QString path = recordsdb::keyringFile(s.dataFolder);
        auto keys = recordsdb::readKeyringFile(path, why);
        if (keys)
            for (recordsdb::TrustedKey &k : *keys)
                if (k.fingerprint == fingerprint)
                    k.added = kEnrolledAt;
        if (!keys || !recordsdb::writeKeyringFile(path, *keys, why))
            qFatal("cannot date back the key of %s: %s", fingerprint.constData(), qPrintable(why));
        return;
    }
    {
        QSqlDatabase c = connection(s, "backdate");
        QSqlQuery q(c);
        q.prepare("UPDATE trusted_keys SET added_utc = ? WHERE fingerprint = ?");
        q.addBindValue(kEnrolledAt);
        q.addBindValue(QString::fromLatin1(fingerprint));
        if (!q.exec())
            qFatal("cannot date back the key of %s: %s", fingerprint.constData(), qPrintable(q.lastError().text()));
    }
    QSqlDatabase::removeDatabase("backdate");
}

} // namespace

recordsdb::PersonSigner person(recordsdb::RecordDb &db, const QString &name, const QStringList &roles)
{
    static std::map<QString, recordsdb::PersonSigner> unlocked;
    const recordsdb::DbSettings &s = db.settings();
    const QString keyring = s.kind == recordsdb::DbSettings::Kind::Sqlite
                                ? recordsdb::keyringFile(s.dataFolder)
                                : QStringLiteral("%1:%2/%3").arg(s.host).arg(s.port).arg(s.database);
    recordsdb::Persons persons(db);
    const auto enrolled = persons.list();
    QByteArray fingerprint;
    for (const recordsdb::Person &p : enrolled.value_or(QVector<recordsdb::Person>()))
        if (p.active() && p.name == name)
            fingerprint = p.fingerprint;
    const QString key = keyring + QLatin1Char('|') + QString::fromLatin1(fingerprint);
    if (const auto found = unlocked.find(key); !fingerprint.isEmpty() && found != unlocked.end())
        return found->second;
    // Another process may enrol the same name at the same moment: its key is then the one unlocked.
    if (fingerprint.isEmpty()) {
        const auto enrolledNow = persons.enrol(name, roles, kPassphrase);
        if (!enrolledNow && !persons.error().contains("already"))
            qFatal("cannot enrol %s: %s", qPrintable(name), qPrintable(persons.error()));
        if (enrolledNow)
            backdateEnrolment(db, *enrolledNow);
    }
    const auto signer = persons.unlock(name, kPassphrase);
    if (!signer)
        qFatal("cannot unlock %s: %s", qPrintable(name), qPrintable(persons.error()));
    unlocked.insert_or_assign(keyring + QLatin1Char('|') + QString::fromLatin1(signer->fingerprint()), *signer);
    return *signer;
}

namespace {

QStringList passphraseArguments(const QString &name)
{
    static QTemporaryFile file;
    if (!file.isOpen() && !(file.open() && file.write(kPassphrase) > 0 && file.flush()))
        qFatal("cannot write the passphrase file");
    return {"--person", name, "--passphrase-file", file.fileName()};
}

} // namespace

QStringList signingArguments(recordsdb::RecordDb &db, const QString &name)
{
    person(db, name);
    return passphraseArguments(name);
}

QStringList signingArguments(const QString &dataFolder, const QString &name)
{
    QString why;
    const QString path = recordsdb::keyringFile(dataFolder);
    auto keys = recordsdb::readKeyringFile(path, why);
    const auto sealed = keys ? recordsdb::sealNewKey(kPassphrase, why) : std::nullopt;
    if (!sealed)
        qFatal("cannot enrol %s: %s", qPrintable(name), qPrintable(why));
    recordsdb::TrustedKey k;
    k.publicKey = sealed->publicKey;
    k.fingerprint = recordsdb::SigningKey::fingerprintOf(k.publicKey);
    k.name = name;
    k.roles = recordsdb::personRoles();
    k.sealed = sealed->box;
    const bool added = recordsdb::addPerson(*keys, k, why);
    if (added)
        keys->last().added = kEnrolledAt;
    if (added && !recordsdb::writeKeyringFile(path, *keys, why))
        qFatal("cannot enrol %s: %s", qPrintable(name), qPrintable(why));
    return passphraseArguments(name);
}

QStringList liftGuards(QSqlDatabase db)
{
    QSqlQuery q(db);
    if (db.driverName() == QLatin1String("QPSQL"))
        return q.exec("ALTER TABLE entries DISABLE TRIGGER USER") ? QStringList{"ALTER TABLE entries ENABLE TRIGGER USER"}
                                                                  : QStringList();
    QStringList saved, names;
    q.exec("SELECT name, sql FROM sqlite_master WHERE type = 'trigger' AND tbl_name = 'entries'");
    while (q.next())
        names << q.value(0).toString(), saved << q.value(1).toString();
    for (const QString &name : names)
        QSqlQuery(db).exec("DROP TRIGGER " + name);
    return saved;
}

bool restoreGuards(QSqlDatabase db, const QStringList &saved)
{
    for (const QString &sql : saved)
        if (!QSqlQuery(db).exec(sql))
            return false;
    return true;
}

bool holdWriteLock(QSqlQuery &hold)
{
    if (hold.driver()->dbmsType() == QSqlDriver::SQLite)
        return hold.exec("BEGIN IMMEDIATE");
    return hold.exec("BEGIN") && hold.exec("SELECT pg_advisory_xact_lock(7240129)");
}

QSqlDatabase connection(const recordsdb::DbSettings &s, const QString &name)
{
    const bool sqlite = s.kind == recordsdb::DbSettings::Kind::Sqlite;
    QSqlDatabase db = QSqlDatabase::addDatabase(sqlite ? "QSQLITE" : "QPSQL", name);
    db.setDatabaseName(sqlite ? s.sqliteFile : s.database);
    if (!sqlite) {
        db.setHostName(s.host);
        db.setPort(s.port);
        db.setUserName(s.user);
    }
    db.open();
    return db;
}

namespace {

bool schema3(QSqlDatabase db, bool forged)
{
    QSqlQuery q(db);
    if (db.driverName() == QLatin1String("QPSQL")   // what schema 3 made there
        && !q.exec("CREATE FUNCTION tcal_append_only() RETURNS trigger LANGUAGE plpgsql AS"
                   " $$ BEGIN RAISE EXCEPTION '% are append-only', TG_TABLE_NAME; END $$"))
        return false;
    for (const char *sql : {"CREATE TABLE schema_version (version INTEGER)", "INSERT INTO schema_version VALUES (3)",
                            "CREATE TABLE counters (name TEXT, value BIGINT)", "INSERT INTO counters VALUES ('records', 2)",
                            "CREATE TABLE records (seq BIGINT, content TEXT, prev_hash TEXT, hash TEXT)",
                            "CREATE TABLE certificates (number BIGINT, as_found BIGINT, as_left BIGINT, issued_utc TEXT)",
                            "INSERT INTO certificates VALUES (1, 1, 2, '2026-01-05T09:00:00Z')",
                            "CREATE TABLE instruments (tag TEXT, serial TEXT, description TEXT, location TEXT, input_type TEXT,"
                            " range_lower REAL, range_upper REAL, unit TEXT, interval_months INT, status TEXT)",
                            "INSERT INTO instruments VALUES ('TT-1', 'OLD', '', 'hall', 'Pt100', 0, 100, 'C', 6, 'in service')"})
        if (!q.exec(sql))
            return false;
    QByteArray previous = recordsdb::genesisHash();
    for (int seq = 1; seq <= 2; ++seq) {
        const QByteArray content = recordsdb::canonicalContent(recordedCheck(
            "OLD", record::Stage(seq - 1), QDateTime(QDate(2026, 12, 7), QTime(8, seq), Qt::UTC), 0.1));
        const QByteArray hash = recordsdb::legacyChainHash(seq, previous, content);
        q.prepare("INSERT INTO records VALUES (?, ?, ?, ?)");
        for (const QVariant &v : {QVariant(seq), QVariant(QString::fromUtf8(forged && seq == 2 ? content + " " : content)),
                                  QVariant(QString::fromLatin1(previous)), QVariant(QString::fromLatin1(hash))})
            q.addBindValue(v);
        if (!q.exec())
            return false;
        previous = hash;
    }
    return true;
}

} // namespace

bool writeSchema3(const recordsdb::DbSettings &settings, bool forged)
{
    if (settings.kind == recordsdb::DbSettings::Kind::Sqlite)
        QDir().mkpath(QFileInfo(settings.sqliteFile).path());
    bool written = false;
    {
        QSqlDatabase db = connection(settings, QStringLiteral("schema3"));
        written = db.isOpen() && schema3(db, forged);
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("schema3"));
    return written;
}

} // namespace recordsfixture
