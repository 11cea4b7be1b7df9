#pragma once
// The head of a chain kept outside its database, so a chain cut short,
// emptied or rebuilt shows: the tool notes the head of every database it
// writes in the user's data folder (anchors.json), and `records anchor`
// writes a signed checkpoint a quality manager files elsewhere.

#include "records_db/signing_key.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QString>
#include <optional>

namespace recordsdb {

struct ChainHead {
    qint64 count = 0;            // entries; the head is the entry of that seq
    QByteArray hash;
    QByteArray signature;
};

// Every head this workstation noted, by database name; none when it noted
// none. nullopt with `error` when the notes cannot be read or are not whole:
// damaged notes are never taken for no notes.
std::optional<QHash<QString, ChainHead>> localAnchors(const QString &folder, QString &error);
// Moves the note forward only: a head behind the one noted is kept out. The
// notes are locked from their read to their write, so two databases noted at
// once from this workstation both stay; false with `error` when the notes are
// damaged or cannot be written, and then they are as they were.
bool noteLocalAnchor(const QString &folder, const QString &database, const ChainHead &head, QString &error);

// A checkpoint of `head` of the database whose identity (first entry's hash)
// is `identity`, signed by `key`.
QJsonObject checkpoint(const QByteArray &identity, const ChainHead &head, const SigningKey &key);
// The head a checkpoint names, after checking its signature and form; nullopt
// with `error` set otherwise. `keyId` gets the fingerprint of its key and
// `identity` the database it names; the caller checks both.
std::optional<ChainHead> readCheckpoint(const QJsonObject &checkpoint, QByteArray &keyId, QByteArray &identity,
                                        QString &error);

} // namespace recordsdb
