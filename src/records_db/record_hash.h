#pragma once
// The hash chain of one records database. Every entry (a record, a
// certificate, a signature, an instrument's register line, a signing key) has
// its place in the chain (seq), its kind, its number within that kind and its
// canonical JSON content; its SHA-256 covers place, kind, content and the hash
// of the entry before it, and the workstation's Ed25519 key signs that hash.

#include "record/calibration_record.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace recordsdb {

struct ChainEntry {
    qint64 seq = 0;              // place in the chain, 1, 2, ...
    QString kind;                // "record", "certificate", "signature", "instrument", "key"
    qint64 number = 0;           // 1, 2, ... within its kind; also content["number"]
    QJsonObject content;         // as hashed, with "number" and "stored" (UTC)
    QByteArray previousHash;
    QByteArray hash;
    QByteArray keyId;            // fingerprint of the key that signed it
    QByteArray signature;        // hex Ed25519 signature of `hash`
};

// The first entry's "previous hash".
QByteArray genesisHash();

// Keys sorted (QJsonObject keeps them so), compact, UTF-8: equal content, equal bytes.
QByteArray canonicalJson(const QJsonObject &object);

// Lower-case hex SHA-256 of place, kind, previous hash and content.
QByteArray entryHash(qint64 seq, const QString &kind, const QByteArray &previousHash, const QByteArray &content);

// Lower-case hex of a SHA-256's length: the one text of a hash.
bool isHashText(const QByteArray &text);

// A record's canonical content, without the keys the chain adds.
QByteArray canonicalContent(const record::Record &record);
QByteArray canonicalRecordContent(QJsonObject entryContent);

// The hash of the per-record chain of schema 3 and earlier, to check it once
// before its records move into the entries chain.
QByteArray legacyChainHash(qint64 number, const QByteArray &previousHash, const QByteArray &content);

} // namespace recordsdb
