#include "core/config_rules.h"

#include "core/operator_input.h"
#include "core/registers.h"

#include <algorithm>

namespace config {

namespace {

const char *const kCalibrationKeys[] = {"roomZeroOffset", "roomGain", "trim4mA", "trim20mA",
                                        "measured4mA", "measured20mA", "tc50mV", "tc0mV",
                                        "rtd100R", "rtd200R"};

// By Rule; %1 field, %2 value, %3 the list or the first limit, %4 the second.
const char *const kRuleTexts[][3] = {
    {"字段 %1：值 %2 必须是 %3 之一", "欄位 %1：值 %2 必須是 %3 之一", "field %1: value %2 must be one of %3"},
    {"字段 %1：值 %2 必须在 %3 到 %4 之间", "欄位 %1：值 %2 必須在 %3 到 %4 之間",
     "field %1: value %2 must be from %3 to %4"},
    {"字段 %1：值 %2 必须低于量程上限 %3", "欄位 %1：值 %2 必須低於量程上限 %3",
     "field %1: value %2 must be below the upper range %3"},
    {"字段 %1：值 %2 必须是本工具已知的代码，或从变送器读取的原值",
     "欄位 %1：值 %2 必須是本工具已知的代碼，或從變送器讀取的原值",
     "field %1: value %2 must be a code this tool knows, or the word read from a transmitter"},
};

QStringList listText(const QVector<int> &values, int scale)
{
    QStringList items;
    for (int v : values)
        items << input::limitText(v, scale);
    return {items.join(QStringLiteral(", "))};
}

quint16 wordAt(const Configuration &c, int address) { return c.words.value(address); }

qint16 signedAt(const Configuration &c, int address) { return qint16(wordAt(c, address)); }

QString shown(const Configuration &c, int address)
{
    const FieldDef *f = nullptr;
    for (const FieldDef &d : fields()) {
        if (d.address == address)
            f = &d;
    }
    return valueText(*f, fieldWords(c, *f));
}

void checkList(const Configuration &c, const char *key, int address, const QVector<int> &allowed,
               int scale, QVector<Violation> &out)
{
    if (!allowed.contains(int(wordAt(c, address))))
        out.append({QLatin1String(key), shown(c, address), Rule::OneOf, listText(allowed, scale)});
}

// A code without a name passes when the file's block says a transmitter held it.
void checkCode(const Configuration &c, const char *key, int address, bool known, QVector<Violation> &out)
{
    if (known || (address < c.holding.size() && c.holding.at(address) == wordAt(c, address)))
        return;
    out.append({QLatin1String(key), shown(c, address), Rule::KnownCode, {}});
}

void checkRange(const Configuration &c, const char *key, int address, QVector<Violation> &out)
{
    const input::Range r = input::kRangeLimitTenths;
    const qint16 v = signedAt(c, address);
    if (v < r.min || v > r.max)
        out.append({QLatin1String(key), shown(c, address), Rule::Between,
                    {input::limitText(r.min, 10), input::limitText(r.max, 10)}});
}

} // namespace

const QVector<int> &deviceBaudRates()
{
    static const QVector<int> rates = {1200, 2400, 4800, 9600};
    return rates;
}

const QVector<int> &filterValues()
{
    static const QVector<int> values = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    return values;
}

const QVector<int> &roomGainValues()
{
    static const QVector<int> values = {5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    return values;
}

bool isCalibration(const FieldDef &f)
{
    return std::any_of(std::begin(kCalibrationKeys), std::end(kCalibrationKeys),
                       [&f](const char *key) { return qstrcmp(key, f.key) == 0; });
}

QStringList calibrationKeys()
{
    QStringList keys;
    for (const char *key : kCalibrationKeys)
        keys << QLatin1String(key);
    return keys;
}

QString violationText(const Violation &v, int language)
{
    const int l = language >= 0 && language < 3 ? language : 2;
    QString text = QString::fromUtf8(kRuleTexts[int(v.rule)][l]).arg(v.field, v.value);
    for (const QString &limit : v.limits)
        text = text.arg(limit);
    return text;
}

// Zero offsets and calibration words take any value their registers hold,
// which the file format already guarantees.
QVector<Violation> violations(const Configuration &c)
{
    QVector<Violation> out;
    checkCode(c, "inputType", reg::kInputType, reg::inputTypeIndex(wordAt(c, reg::kInputType)).has_value(), out);
    checkRange(c, "upperRange", reg::kUpperRange, out);
    checkRange(c, "lowerRange", reg::kLowerRange, out);
    if (signedAt(c, reg::kLowerRange) >= signedAt(c, reg::kUpperRange))
        out.append({QStringLiteral("lowerRange"), shown(c, reg::kLowerRange), Rule::BelowUpper,
                    {shown(c, reg::kUpperRange)}});
    checkList(c, "filter", reg::kFilterCoefficient, filterValues(), 1, out);
    checkCode(c, "unit", reg::kUnit, reg::unitIndex(wordAt(c, reg::kUnit)).has_value(), out);
    checkList(c, "roomGain", reg::kRoomGain, roomGainValues(), 10, out);
    checkList(c, "baudRate", reg::kDeviceBaudRate, deviceBaudRates(), 1, out);
    return out;
}

bool sameUnit(const Identity &file, int address, const QString &tag)
{
    if (file.address != address)
        return false;
    return tag.isEmpty() || file.tag.isEmpty() || tag == file.tag;
}

} // namespace config
