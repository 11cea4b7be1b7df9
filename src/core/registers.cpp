#include "core/registers.h"

#include <array>

namespace reg {

namespace {
// Combo order differs from code order: PT100 and Cu50 sit at indexes 1 and 2.
constexpr std::array<quint16, 12> kInputTypeCodes = {0, 32, 33, 1, 2, 3, 4, 5, 6, 7, 8, 9};
}

quint16 word(const QVector<quint16> &values, int index)
{
    return index >= 0 && index < values.size() ? values.at(index) : quint16(0);
}

qint32 value32(const QVector<quint16> &values, int index)
{
    return join32(word(values, index), word(values, index + 1));
}

QString tenthsText(quint16 w)
{
    return QString::number(qint16(w) / 10.0, 'f', 1);
}

QString hundredthsText(quint16 w)
{
    return QString::number(qint16(w) / 100.0, 'f', 2);
}

QString temperatureText(qint32 raw, bool haveDecimalCode, quint16 decimalCode)
{
    if (!haveDecimalCode || decimalCode == 0)
        return QString::number(raw);
    if (decimalCode == 1)
        return QString::number(raw / 10.0, 'f', 1);
    if (decimalCode == 2)
        return QString::number(raw / 100.0, 'f', 2);
    return QString();
}

std::optional<int> inputTypeIndex(quint16 code)
{
    for (int i = 0; i < int(kInputTypeCodes.size()); ++i) {
        if (kInputTypeCodes[size_t(i)] == code)
            return i;
    }
    return std::nullopt;
}

std::optional<quint16> inputTypeCode(int index)
{
    if (index < 0 || index >= int(kInputTypeCodes.size()))
        return std::nullopt;
    return kInputTypeCodes[size_t(index)];
}

std::optional<int> unitIndex(quint16 code)
{
    if (code <= 1)
        return int(code);
    return std::nullopt;
}

std::optional<quint16> unitCode(int index)
{
    if (index == 0 || index == 1)
        return quint16(index);
    return std::nullopt;
}

QString unitSymbol(quint16 code)
{
    switch (code) {
    case 0:
        return QString::fromUtf8("°C");
    case 1:
        return QString::fromUtf8("°F");
    default:
        return QString();
    }
}

int filterIndex(quint16 value) { return int(value) - 1; }
int roomGainIndex(quint16 value) { return int(value) - 5; }
quint16 roomGainValue(int index) { return quint16(index + 5); }

} // namespace reg
