#include "core/configuration.h"

#include "core/operator_input.h"
#include "core/registers.h"

#include <array>

namespace config {

namespace {

// Names in the order of the window's input-type list, which reg::inputTypeCode maps.
const std::array<const char *, 12> kInputTypeNames = {
    "K", "PT100", "Cu50", "S", "R", "B", "N", "E", "J", "T", "WRe5-26", "WRe3-25"};

constexpr input::Range kSigned16{-32768, 32767};
constexpr input::Range kUnsigned16{0, 65535};
constexpr input::Range kSigned32{-2147483648LL, 2147483647LL};

struct Scaling {
    int scale;
    int decimals;
    input::Range range;
};

Scaling scalingOf(Kind kind)
{
    switch (kind) {
    case Kind::Tenths: return {10, 1, kSigned16};
    case Kind::Hundredths: return {100, 2, kSigned16};
    case Kind::Gain: return {10, 1, kUnsigned16};
    case Kind::Microamps: return {1000, 3, kUnsigned16};
    case Kind::Adc32: return {1, 0, kSigned32};
    default: return {1, 0, kUnsigned16};
    }
}

std::optional<QString> codeName(Kind kind, quint16 code)
{
    if (kind == Kind::InputType) {
        if (const auto index = reg::inputTypeIndex(code))
            return QString::fromUtf8(kInputTypeNames[size_t(*index)]);
    } else if (const QString symbol = reg::unitSymbol(code); !symbol.isEmpty()) {
        return symbol;
    }
    return std::nullopt;
}

std::optional<quint16> codeOf(Kind kind, const QString &name)
{
    if (kind == Kind::InputType) {
        for (size_t i = 0; i < kInputTypeNames.size(); ++i) {
            if (name == QString::fromUtf8(kInputTypeNames[i]))
                return reg::inputTypeCode(int(i));
        }
    } else {
        for (int index = 0; const auto code = reg::unitCode(index); ++index) {
            if (name == reg::unitSymbol(*code))
                return code;
        }
    }
    return std::nullopt;
}

bool isCode(Kind kind) { return kind == Kind::InputType || kind == Kind::Unit; }

qint64 numberOf(Kind kind, const QVector<quint16> &words)
{
    if (kind == Kind::Adc32)
        return reg::value32(words, 0);
    const quint16 w = reg::word(words, 0);
    return scalingOf(kind).range.min < 0 ? qint64(qint16(w)) : qint64(w);
}

} // namespace

const std::vector<FieldDef> &fields()
{
    static const std::vector<FieldDef> table = {
        {"inputType", reg::kInputType, Kind::InputType, "", {"输入类型", "輸入類型", "input type"}},
        {"upperRange", reg::kUpperRange, Kind::Tenths, "unit", {"量程上限", "量程上限", "upper range"}},
        {"lowerRange", reg::kLowerRange, Kind::Tenths, "unit", {"量程下限", "量程下限", "lower range"}},
        {"zeroOffset", reg::kZeroOffset, Kind::Hundredths, "unit", {"零点偏移", "零點偏移", "zero offset"}},
        {"filter", reg::kFilterCoefficient, Kind::Count, "", {"滤波系数", "濾波係數", "filter"}},
        {"unit", reg::kUnit, Kind::Unit, "", {"温度单位", "溫度單位", "unit"}},
        {"roomZeroOffset", reg::kRoomZeroOffset, Kind::Hundredths, "°C",
         {"室温零点偏移", "室溫零點偏移", "room zero offset"}},
        {"roomGain", reg::kRoomGain, Kind::Gain, "", {"室温增益", "室溫增益", "room gain"}},
        {"trim4mA", reg::kTrim4mA, Kind::Count, "counts", {"4mA微调", "4mA微調", "4 mA trim"}},
        {"trim20mA", reg::kTrim20mA, Kind::Count, "counts", {"20mA微调", "20mA微調", "20 mA trim"}},
        {"measured4mA", reg::kMeasured4mA, Kind::Microamps, "mA",
         {"4mA实测电流", "4mA實測電流", "measured 4 mA point"}},
        {"measured20mA", reg::kMeasured20mA, Kind::Microamps, "mA",
         {"20mA实测电流", "20mA實測電流", "measured 20 mA point"}},
        {"baudRate", reg::kDeviceBaudRate, Kind::Count, "baud", {"波特率", "波特率", "baud rate"}},
        {"tc50mV", reg::kTc50mVPoint, Kind::Adc32, "ADC counts",
         {"热电偶50mV点", "熱電偶50mV點", "thermocouple 50 mV point"}},
        {"tc0mV", reg::kTc0mVPoint, Kind::Adc32, "ADC counts",
         {"热电偶0mV点", "熱電偶0mV點", "thermocouple 0 mV point"}},
        {"rtd100R", reg::kRtd100RPoint, Kind::Adc32, "ADC counts",
         {"热电阻100Ω点", "熱電阻100Ω點", "RTD 100 Ω point"}},
        {"rtd200R", reg::kRtd200RPoint, Kind::Adc32, "ADC counts",
         {"热电阻200Ω点", "熱電阻200Ω點", "RTD 200 Ω point"}},
    };
    return table;
}

QString toolVersion()
{
    return QStringLiteral(TCAL_VERSION);
}

int wordCount(Kind kind)
{
    return kind == Kind::Adc32 ? 2 : 1;
}

std::optional<Configuration> fromHolding(const QVector<quint16> &block)
{
    Configuration c;
    for (const FieldDef &f : fields()) {
        for (int i = 0; i < wordCount(f.kind); ++i) {
            if (f.address + i >= block.size())
                return std::nullopt;
            c.words.insert(f.address + i, block.at(f.address + i));
        }
    }
    c.holding = block;
    return c;
}

QVector<quint16> fieldWords(const Configuration &c, const FieldDef &f)
{
    QVector<quint16> words;
    for (int i = 0; i < wordCount(f.kind); ++i)
        words << c.words.value(f.address + i);
    return words;
}

QString unitText(const Configuration &c, const FieldDef &f)
{
    if (qstrcmp(f.unit, "unit") != 0)
        return QString::fromUtf8(f.unit);
    const auto name = codeName(Kind::Unit, c.words.value(reg::kUnit));
    return name ? *name : QString();
}

QJsonValue engineeringValue(const FieldDef &f, const QVector<quint16> &words)
{
    if (isCode(f.kind)) {
        const auto name = codeName(f.kind, reg::word(words, 0));
        return name ? QJsonValue(*name) : QJsonValue(QJsonValue::Null);
    }
    const Scaling s = scalingOf(f.kind);
    const qint64 n = numberOf(f.kind, words);
    return s.scale == 1 ? QJsonValue(n) : QJsonValue(double(n) / s.scale);
}

QString valueText(const FieldDef &f, const QVector<quint16> &words)
{
    if (isCode(f.kind)) {
        const quint16 code = reg::word(words, 0);
        const auto name = codeName(f.kind, code);
        return name ? *name : QStringLiteral("code %1 (unknown)").arg(code);
    }
    return input::limitText(numberOf(f.kind, words), scalingOf(f.kind).scale);
}

std::optional<QVector<quint16>> encode(const FieldDef &f, const QJsonValue &value)
{
    if (isCode(f.kind)) {
        if (!value.isString())
            return std::nullopt;
        if (const auto code = codeOf(f.kind, value.toString()))
            return QVector<quint16>{*code};
        return std::nullopt;
    }
    if (!value.isDouble())
        return std::nullopt;
    // Through decimal text, so the value is taken exactly as written.
    const Scaling s = scalingOf(f.kind);
    const double v = value.toDouble();
    const auto n = input::scaled(QString::number(v, 'f', s.decimals), s.scale, s.range);
    if (!n || qAbs(double(*n) / s.scale - v) > 1e-9 * qMax(1.0, qAbs(v)))
        return std::nullopt;
    if (f.kind == Kind::Adc32)
        return QVector<quint16>{quint16(quint32(*n) >> 16), quint16(*n & 0xFFFF)};
    return QVector<quint16>{input::toWord(*n)};
}

} // namespace config
