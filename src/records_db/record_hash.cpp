#include "records_db/record_hash.h"

#include <QCryptographicHash>
#include <QJsonDocument>

namespace recordsdb {

QByteArray genesisHash()
{
    return QByteArray(64, '0');
}

QByteArray canonicalContent(const record::Record &record)
{
    // QJsonObject keeps its keys sorted, so equal records give equal bytes.
    return QJsonDocument(record::toJson(record)).toJson(QJsonDocument::Compact);
}

QByteArray chainHash(qint64 number, const QByteArray &previousHash, const QByteArray &content)
{
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(QByteArray::number(number) + '\n');
    h.addData(previousHash + '\n');
    h.addData(content);
    return h.result().toHex();
}

} // namespace recordsdb
