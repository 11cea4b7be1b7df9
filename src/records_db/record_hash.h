#pragma once
// The hash chain over the records of one database: each record's SHA-256
// covers its number, its canonical content and the previous record's hash, so
// an altered, removed or reordered record breaks the chain from there on.

#include "record/calibration_record.h"

#include <QByteArray>

namespace recordsdb {

// The first record's "previous hash".
QByteArray genesisHash();

// Canonical content: the record's JSON, keys sorted, compact, UTF-8.
QByteArray canonicalContent(const record::Record &record);

// Lower-case hex SHA-256 of number, previous hash and content.
QByteArray chainHash(qint64 number, const QByteArray &previousHash, const QByteArray &content);

} // namespace recordsdb
