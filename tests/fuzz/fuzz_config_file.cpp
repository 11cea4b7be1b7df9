// The configuration file reader: any bytes either load into words that save
// and load again unchanged, exactly as the file wrote them, or are refused
// with a message.

#include "core/config_file.h"
#include "fuzz_check.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

int configuredWordCount()
{
    int n = 0;
    for (const config::FieldDef &f : config::fields())
        n += config::wordCount(f.kind);
    return n;
}

// Raw words a field entry of the file states, where it states them.
void checkStatedWords(const QJsonObject &root, const config::Configuration &c)
{
    for (const QJsonValue &v : root.value("fields").toArray()) {
        const QJsonObject entry = v.toObject();
        const QJsonArray raw = entry.value("raw").toArray();
        const int address = entry.value("register").toInt();
        for (int i = 0; i < raw.size(); ++i)
            FUZZ_REQUIRE(c.words.value(address + i) == raw.at(i).toInt());
    }
    const QJsonArray holding = root.value("holding").toArray();
    FUZZ_REQUIRE(holding.size() == c.holding.size());
    for (int i = 0; i < holding.size(); ++i)
        FUZZ_REQUIRE(holding.at(i).isDouble() && holding.at(i).toDouble() == c.holding.at(i));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const config::Loaded loaded = config::fromJson(bytes);
    if (!loaded.config) {
        FUZZ_REQUIRE(!loaded.error.isEmpty());
        return 0;
    }
    FUZZ_REQUIRE(loaded.error.isEmpty());
    const config::Configuration &c = *loaded.config;

    // Every configured register, and nothing else.
    FUZZ_REQUIRE(c.words.size() == configuredWordCount());
    for (const config::FieldDef &f : config::fields()) {
        const QVector<quint16> words = config::fieldWords(c, f);
        for (int i = 0; i < words.size(); ++i)
            FUZZ_REQUIRE(c.words.contains(f.address + i));
        // A field with an engineering value encodes back to its words.
        const QJsonValue value = config::engineeringValue(f, words);
        if (!value.isNull())
            FUZZ_REQUIRE(config::encode(f, value) == words);
    }
    checkStatedWords(QJsonDocument::fromJson(bytes).object(), c);

    // Saved and loaded again: the same words, block and identity.
    const config::Loaded again = config::fromJson(config::toJson(c));
    FUZZ_REQUIRE(again.config);
    FUZZ_REQUIRE(again.config->words == c.words);
    FUZZ_REQUIRE(again.config->holding == c.holding);
    FUZZ_REQUIRE(again.config->identity.tag == c.identity.tag);
    FUZZ_REQUIRE(again.config->identity.description == c.identity.description);
    FUZZ_REQUIRE(again.config->identity.address == c.identity.address);
    FUZZ_REQUIRE(again.config->identity.toolVersion == c.identity.toolVersion);
    return 0;
}
