#include "core/config_file.h"

#include "core/whole_file.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace config {

namespace {

const char kFormatName[] = "tcal-configuration";

QJsonArray wordsArray(const QVector<quint16> &words)
{
    QJsonArray array;
    for (quint16 w : words)
        array << int(w);
    return array;
}

// Register words as written in a file; nullopt unless every entry is one.
std::optional<QVector<quint16>> wordsOf(const QJsonValue &value, int count)
{
    const QJsonArray array = value.toArray();
    if (!value.isArray() || array.size() != count)
        return std::nullopt;
    QVector<quint16> words;
    for (const QJsonValue &v : array) {
        const double d = v.toDouble(-1);
        if (!v.isDouble() || d < 0 || d > 65535 || d != double(int(d)))
            return std::nullopt;
        words << quint16(d);
    }
    return words;
}

QJsonObject identityObject(const Identity &id)
{
    return {{"tag", id.tag},
            {"description", id.description},
            {"address", id.address},
            {"date", id.date.toUTC().toString(Qt::ISODate)},
            {"toolVersion", id.toolVersion}};
}

Identity identityOf(const QJsonObject &o)
{
    Identity id;
    id.tag = o.value("tag").toString();
    id.description = o.value("description").toString();
    id.address = o.value("address").toInt();
    id.date = QDateTime::fromString(o.value("date").toString(), Qt::ISODate);
    id.toolVersion = o.value("toolVersion").toString();
    return id;
}

const FieldDef *fieldNamed(const QString &key)
{
    for (const FieldDef &f : fields()) {
        if (key == QLatin1String(f.key))
            return &f;
    }
    return nullptr;
}

// The words of one field entry, or the reason it cannot be taken exactly.
// The raw words are what gets written; without them (version 1, or a value
// edited by hand) the value is encoded; with both, they must agree.
std::optional<QVector<quint16>> fieldEntryWords(const FieldDef &f, const QJsonObject &entry,
                                                QString *error)
{
    const QString name = QString::fromLatin1(f.key);
    if (entry.value("register").toInt(-1) != f.address) {
        *error = QStringLiteral("field %1: register %2 is not %3")
                     .arg(name, entry.value("register").toVariant().toString())
                     .arg(f.address);
        return std::nullopt;
    }
    const QJsonValue value = entry.value("value");
    const bool haveValue = !value.isUndefined() && !value.isNull();
    const auto encoded = haveValue ? encode(f, value) : std::nullopt;
    if (haveValue && !encoded) {
        *error = QStringLiteral("field %1: value %2 has no exact register value")
                     .arg(name, value.toVariant().toString());
        return std::nullopt;
    }
    if (entry.value("raw").isUndefined()) {
        if (!encoded)
            *error = QStringLiteral("field %1: neither raw words nor a value").arg(name);
        return encoded;
    }
    const auto raw = wordsOf(entry.value("raw"), wordCount(f.kind));
    if (!raw) {
        *error = QStringLiteral("field %1: raw must be %2 register word(s) 0..65535")
                     .arg(name).arg(wordCount(f.kind));
        return std::nullopt;
    }
    if (encoded && *encoded != *raw) {
        *error = QStringLiteral("field %1: value %2 does not match its raw words")
                     .arg(name, value.toVariant().toString());
        return std::nullopt;
    }
    return raw;
}

bool readFields(const QJsonArray &entries, Configuration &c, QString *error)
{
    for (const QJsonValue &v : entries) {
        const QJsonObject entry = v.toObject();
        const QString key = entry.value("name").toString();
        const FieldDef *f = fieldNamed(key);
        if (!f) {
            *error = QStringLiteral("unknown field \"%1\"").arg(key);
            return false;
        }
        if (c.words.contains(f->address)) {
            *error = QStringLiteral("field %1 appears twice").arg(key);
            return false;
        }
        const auto words = fieldEntryWords(*f, entry, error);
        if (!words)
            return false;
        for (int i = 0; i < words->size(); ++i)
            c.words.insert(f->address + i, words->at(i));
    }
    for (const FieldDef &f : fields()) {
        if (!c.words.contains(f.address)) {
            *error = QStringLiteral("field %1 is missing").arg(QLatin1String(f.key));
            return false;
        }
    }
    return true;
}

} // namespace

QByteArray toJson(const Configuration &c)
{
    QJsonArray entries;
    for (const FieldDef &f : fields()) {
        const QVector<quint16> words = fieldWords(c, f);
        entries << QJsonObject{{"name", QLatin1String(f.key)},
                               {"register", f.address},
                               {"value", engineeringValue(f, words)},
                               {"unit", unitText(c, f)},
                               {"raw", wordsArray(words)}};
    }
    const QJsonObject root{{"format", QLatin1String(kFormatName)},
                           {"formatVersion", kFormatVersion},
                           {"identity", identityObject(c.identity)},
                           {"fields", entries},
                           {"holding", wordsArray(c.holding)}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

Loaded fromJson(const QByteArray &json)
{
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError)
        return {std::nullopt, QStringLiteral("not JSON: %1 at byte %2").arg(parse.errorString()).arg(parse.offset)};
    const QJsonObject root = doc.object();
    if (root.value("format").toString() != QLatin1String(kFormatName))
        return {std::nullopt, QStringLiteral("not a TCal configuration file")};
    const int version = root.value("formatVersion").toInt(0);
    if (version < 1 || version > kFormatVersion)
        return {std::nullopt, QStringLiteral("format version %1 is not one this tool reads (1 to %2)")
                                  .arg(root.value("formatVersion").toVariant().toString())
                                  .arg(kFormatVersion)};
    if (!root.value("fields").isArray())
        return {std::nullopt, QStringLiteral("no field list")};

    Configuration c;
    c.identity = identityOf(root.value("identity").toObject());
    QString error;
    if (!readFields(root.value("fields").toArray(), c, &error))
        return {std::nullopt, error};
    // The block as read is kept for reference only, but kept exactly.
    const QJsonValue holding = root.value("holding");
    if (!holding.isUndefined()) {
        const auto words = wordsOf(holding, holding.toArray().size());
        if (!words)
            return {std::nullopt, QStringLiteral("holding must be register words 0..65535")};
        c.holding = *words;
    }
    return {c, QString()};
}

bool saveFile(const QString &path, const Configuration &c, QString *error)
{
    QString why;
    if (files::writeWhole(files::FileKind::Configuration, path, toJson(c), why))
        return true;
    if (error)
        *error = why;
    return false;
}

Loaded loadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt, QStringLiteral("%1: %2").arg(path, file.errorString())};
    return fromJson(file.readAll());
}

} // namespace config
