#include "records_db/record_hash.h"

#include <QCryptographicHash>
#include <QJsonDocument>

#include <algorithm>

namespace recordsdb {

QByteArray genesisHash()
{
    return QByteArray(64, '0');
}

QByteArray canonicalJson(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray entryHash(qint64 seq, const QString &kind, const QByteArray &previousHash, const QByteArray &content)
{
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(QByteArray::number(seq) + '\n');
    h.addData(kind.toUtf8() + '\n');
    h.addData(previousHash + '\n');
    h.addData(content);
    return h.result().toHex();
}

bool isHashText(const QByteArray &text)
{
    return text.size() == 64
           && std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

QByteArray canonicalContent(const record::Record &record)
{
    return canonicalJson(record::toJson(record));
}

QByteArray canonicalRecordContent(QJsonObject entryContent)
{
    entryContent.remove(QStringLiteral("number"));
    entryContent.remove(QStringLiteral("stored"));
    entryContent.remove(QStringLiteral("imported"));
    return canonicalJson(entryContent);
}

QByteArray legacyChainHash(qint64 number, const QByteArray &previousHash, const QByteArray &content)
{
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(QByteArray::number(number) + '\n');
    h.addData(previousHash + '\n');
    h.addData(content);
    return h.result().toHex();
}

} // namespace recordsdb
