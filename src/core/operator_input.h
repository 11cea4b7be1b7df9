#pragma once
// Numbers typed by the operator, turned into register words exactly:
// decimal text in the C locale, scaled and rounded to the nearest integer,
// refused when it does not fit instead of being truncated or wrapped.

#include <QString>
#include <QtGlobal>
#include <optional>

namespace input {

struct Range {
    qint64 min;   // in register units (already scaled)
    qint64 max;
};

// Field ranges, in register units.
constexpr Range kRangeLimitTenths{-3000, 30000};        // -300.0 .. 3000.0
constexpr Range kSignedHundredths{-32768, 32767};       // -327.68 .. 327.67
constexpr Range kMicroamperes{0, 65535};                // 0 .. 65.535 mA

// `text` times `scale` (1, 10, 100, 1000), rounded half away from zero.
// nullopt for an empty field, anything that is not a plain decimal number
// ("12a", "1e3", "--1", "1,5"), or a result outside `range`.
std::optional<qint64> scaled(const QString &text, int scale, Range range);

// Two's complement register word of a value already known to fit.
inline quint16 toWord(qint64 value) { return quint16(value & 0xFFFF); }

// Shown in notices: the range limits in the field's own unit ("-300.0").
QString limitText(qint64 scaledLimit, int scale);

} // namespace input
