// Decoding what a device answers. The input is a reply as the tool sees it:
// how the request ended (first byte: the master's error and whether a bad-CRC
// frame was discarded; second: the exception code), the first register and
// function of the request (third to fifth), then the register words of any
// length. Every decoded value re-encodes to the words it came from.

#include "core/config_file.h"
#include "core/live_values.h"
#include "core/operator_input.h"
#include "core/registers.h"
#include "diagnostics/csv_log.h"
#include "diagnostics/diagnostics_texts.h"
#include "diagnostics/traffic.h"
#include "fuzz_check.h"

#include <QJsonValue>
#include <cmath>

namespace {

quint16 wordAt(const uint8_t *p) { return quint16((p[0] << 8) | p[1]); }

// A temperature as decoded, times its divisor, is the word pair again.
void checkTemperature(std::optional<double> decoded, qint32 raw, std::optional<int> divisor)
{
    FUZZ_REQUIRE(decoded.has_value() == divisor.has_value());
    if (decoded)
        FUZZ_REQUIRE(std::llround(*decoded * *divisor) == raw);
}

void checkLiveValues(const QVector<quint16> &words)
{
    const reg::LiveValues v = reg::decodeLiveValues(words, QDateTime());
    FUZZ_REQUIRE(v.words == words);
    const bool haveCode = words.size() > reg::kDecimalPlaces;
    FUZZ_REQUIRE(v.decimalCode == (haveCode ? int(words.at(reg::kDecimalPlaces)) : -1));
    FUZZ_REQUIRE(v.workMode == (words.size() > reg::kWorkModeStatus ? int(words.at(reg::kWorkModeStatus)) : -1));
    const auto divisor = reg::temperatureDivisor(haveCode, reg::word(words, reg::kDecimalPlaces));
    const qint32 measured = reg::value32(words, reg::kMeasuredTemperature);
    checkTemperature(v.measured, measured, divisor);
    checkTemperature(v.room, reg::value32(words, reg::kRoomTemperature), divisor);
    // The 32-bit ADC value splits into its two words, high word first.
    FUZZ_REQUIRE(quint16(quint32(v.adc) >> 16) == reg::word(words, reg::kAdcValue));
    FUZZ_REQUIRE(quint16(quint32(v.adc) & 0xFFFF) == reg::word(words, reg::kAdcValue + 1));

    // The shown text reads back as the same raw value, or is empty for a code
    // the display cannot show.
    const QString text = reg::temperatureText(measured, haveCode, reg::word(words, reg::kDecimalPlaces));
    FUZZ_REQUIRE(text.isEmpty() == !divisor);
    if (divisor) {
        bool ok = false;
        const double shown = text.toDouble(&ok);
        FUZZ_REQUIRE(ok && std::llround(shown * *divisor) == measured);
    }
    FUZZ_REQUIRE(!diag::csvLine(v, QStringLiteral("ok")).isEmpty());
}

// The parameter block read from address 0: every field's words, each value
// encoding back to them, and the configuration saving and loading unchanged.
void checkParameterBlock(const QVector<quint16> &words)
{
    const auto c = config::fromHolding(words);
    int needed = 0;
    for (const config::FieldDef &f : config::fields())
        needed = std::max(needed, f.address + config::wordCount(f.kind));
    FUZZ_REQUIRE(c.has_value() == (words.size() >= needed));
    if (!c)
        return;
    for (const config::FieldDef &f : config::fields()) {
        const QVector<quint16> fieldWords = config::fieldWords(*c, f);
        FUZZ_REQUIRE(fieldWords == words.mid(f.address, config::wordCount(f.kind)));
        const QJsonValue value = config::engineeringValue(f, fieldWords);
        if (!value.isNull())
            FUZZ_REQUIRE(config::encode(f, value) == fieldWords);
        FUZZ_REQUIRE(!config::valueText(f, fieldWords).isEmpty());
    }
    const config::Loaded again = config::fromJson(config::toJson(*c));
    FUZZ_REQUIRE(again.config && again.config->words == c->words && again.config->holding == words);
}

// Scaled words as the parameter page shows them type back to the same word.
void checkScaledTexts(quint16 w)
{
    FUZZ_REQUIRE(input::scaled(reg::tenthsText(w), 10, {-32768, 32767}) == qint64(qint16(w)));
    FUZZ_REQUIRE(input::scaled(reg::hundredthsText(w), 100, {-32768, 32767}) == qint64(qint16(w)));
}

void checkClassification(QModbusDevice::Error error, int exceptionCode, bool crcDiscarded)
{
    const diag::Result r = diag::classify(error, exceptionCode, crcDiscarded);
    FUZZ_REQUIRE((r == diag::Result::Ok) == (error == QModbusDevice::NoError));
    FUZZ_REQUIRE((r == diag::Result::Exception)
                 == (error == QModbusDevice::ProtocolError && exceptionCode > 0));
    FUZZ_REQUIRE((r == diag::Result::Crc) == (error == QModbusDevice::TimeoutError && crcDiscarded));
    FUZZ_REQUIRE(r != diag::Result::Pending && r != diag::Result::Refused);
    diag::TrafficCounters counters;
    counters.add(r);
    FUZZ_REQUIRE(counters.count(r) == 1 && counters.total() == 1);
    for (int language = 0; language < 3; ++language)
        FUZZ_REQUIRE(!lang::resultText(r, exceptionCode, language).isEmpty());
}

// The unit a finished request tells: the word at holding 6, wherever the
// request started.
void checkUnitSeen(int function, int start, const QVector<quint16> &words)
{
    rtu::RequestDescription request{function, 1, start, int(words.size()), {}};
    if (function != 3)
        request.values = words;
    const auto unit = diag::unitCodeSeen(request, words, true);
    const int offset = reg::kUnit - start;
    const bool covered = offset >= 0 && offset < words.size();
    FUZZ_REQUIRE(unit.has_value() == (covered && (function == 3 || function == 6 || function == 16)));
    if (unit)
        FUZZ_REQUIRE(*unit == words.at(offset));
    FUZZ_REQUIRE(!diag::unitCodeSeen(request, words, false));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 5)
        return 0;
    const auto error = QModbusDevice::Error(data[0] % 9);
    const bool crcDiscarded = data[0] & 0x80;
    const int exceptionCode = data[1];
    const int start = data[2];
    const int function = data[3] % 4 == 0 ? 3 : data[3] % 4 == 1 ? 6 : data[3] % 4 == 2 ? 16 : 4;
    QVector<quint16> words;
    for (size_t i = 5; i + 1 < size; i += 2)
        words << wordAt(data + i);

    checkClassification(error, exceptionCode, crcDiscarded);
    checkLiveValues(words);
    checkParameterBlock(words);
    checkUnitSeen(function, start, words);
    for (quint16 w : words.mid(0, 16))
        checkScaledTexts(w);
    const qint32 joined = reg::join32(wordAt(data + 1), wordAt(data + 3));
    FUZZ_REQUIRE(reg::value32({wordAt(data + 1), wordAt(data + 3)}, 0) == joined);
    return 0;
}
