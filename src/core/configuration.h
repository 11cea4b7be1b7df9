#pragma once
// What a transmitter stores that a technician sets or calibrates, as named
// fields over raw holding words. The words are the truth; engineering values
// are derived from them, and a code without a name stays a raw word.

#include <QDateTime>
#include <QJsonValue>
#include <QMap>
#include <QString>
#include <QVector>
#include <optional>
#include <vector>

namespace config {

enum class Kind {
    InputType,    // named code
    Unit,         // named code
    Tenths,       // signed 16-bit, one decimal
    Hundredths,   // signed 16-bit, two decimals
    Gain,         // unsigned tenths
    Microamps,    // unsigned, shown in mA
    Count,        // unsigned 16-bit as it is
    Adc32,        // signed 32-bit, high word first
};

struct FieldDef {
    const char *key;        // name in files and on the command line
    int address;            // first holding register
    Kind kind;
    const char *unit;       // engineering unit; "unit" follows holding 6 (degC or degF)
    const char *label[3];   // Simplified Chinese, Traditional Chinese, English
};

// Every configured field, in register order.
const std::vector<FieldDef> &fields();
int wordCount(Kind kind);

struct Identity {
    QString tag;            // typed by the operator
    QString description;
    int address = 0;        // device address it was read from
    QDateTime date;
    QString toolVersion;
};

struct Configuration {
    Identity identity;
    QMap<int, quint16> words;    // every register of fields(), by address
    QVector<quint16> holding;    // the whole block as read; kept for reference, never written
};

// Version of this tool, written into every file.
QString toolVersion();

// The configuration in a holding block read from address 0; nullopt when the
// block does not carry every configured register.
std::optional<Configuration> fromHolding(const QVector<quint16> &block);

QVector<quint16> fieldWords(const Configuration &c, const FieldDef &f);
// Engineering unit of a field in this configuration ("°C", "mA", ...).
QString unitText(const Configuration &c, const FieldDef &f);

// A number, a code's name, or null for a code without a name.
QJsonValue engineeringValue(const FieldDef &f, const QVector<quint16> &words);
// The value as an operator reads it: "K", "1000.0", "code 77 (unknown)".
QString valueText(const FieldDef &f, const QVector<quint16> &words);
// Words that stand for exactly this value; nullopt when there are none
// (unknown name, out of range, more decimals than the field holds).
std::optional<QVector<quint16>> encode(const FieldDef &f, const QJsonValue &value);

} // namespace config
