#pragma once
// A finished check is written to a draft file before the database is asked
// to take it, so a locked database, a server out of reach or a cancelled
// password loses nothing: the draft stays in the records folder's drafts/
// until the chain holds the check, and is stored from there later. A draft
// is named by its content, so keeping the same check twice is one file.

#include "record/calibration_record.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

namespace recordsdb {

class RecordDb;
class PersonSigner;

class DraftStore
{
public:
    explicit DraftStore(const QString &recordsFolder);

    struct Saved {
        std::optional<qint64> number;   // in the database; nullopt: kept as a draft only
        QString draft;                  // the draft file while there is one
        QString error;
    };
    // Keeps `record` as a draft, then appends it signed performed by
    // `performer` (no database or no performer: the draft only).
    Saved save(RecordDb *db, const record::Record &record, const PersonSigner *performer,
               const QString &function = QString());

    struct Stored {
        QByteArray content;             // canonical content of the check
        qint64 number = 0;
    };
    // Every draft appended in the order the checks started, each removed once
    // the chain holds it; those already held are only removed. What was stored,
    // or nullopt with `error` when the database refused one (the rest wait).
    // Each is signed performed by `performer`, who stores it.
    std::optional<QVector<Stored>> storePending(RecordDb &db, const PersonSigner &performer, QString &error);

    QStringList pending() const;        // draft files still waiting

private:
    QString keep(const record::Record &record, QString &error);
    std::optional<qint64> storedAs(RecordDb &db, const QByteArray &content);

    QString m_folder;
};

} // namespace recordsdb
