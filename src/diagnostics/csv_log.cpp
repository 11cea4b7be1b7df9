#include "diagnostics/csv_log.h"

#include "core/csv_field.h"

#include "core/registers.h"

#include <QStringList>
#include <cmath>

namespace diag {

namespace {

// Local time with its offset, to the millisecond.
QString isoTime(const QDateTime &time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QString quoted(const QString &field) { return csv::field(field); }

QString temperature(const std::optional<double> &value, int decimalCode)
{
    if (!value || std::isnan(*value))
        return QString();
    return QString::number(*value, 'f', decimalCode >= 0 && decimalCode <= 2 ? decimalCode : 0);
}

bool covers(const rtu::RequestDescription &request, int address)
{
    return request.start <= address && address < request.start + request.count;
}

} // namespace

QString unitText(std::optional<int> unitCode)
{
    return unitCode && *unitCode >= 0 && *unitCode <= 0xFFFF ? reg::unitSymbol(quint16(*unitCode)) : QString();
}

QString csvHeader(std::optional<int> unitCode, int decimalCode)
{
    const QString unit = unitText(unitCode);
    const QString code = decimalCode >= 0 ? QString::number(decimalCode) : QStringLiteral("none");
    const QString scale = QStringLiteral("decimal-places code ") + code;
    const QStringList columns = {
        QStringLiteral("time (ISO 8601)"),
        QStringLiteral("measured temperature (%1; %2)")
            .arg(unit.isEmpty() ? QStringLiteral("unit not read yet") : unit, scale),
        QStringLiteral("room temperature (°C; %1)").arg(scale),
        QStringLiteral("ADC value (counts)"),
        QStringLiteral("work mode"),
        QStringLiteral("link status"),
    };
    QStringList fields;
    for (const QString &c : columns)
        fields << quoted(c);
    return fields.join(QLatin1Char(','));
}

QString csvLine(const reg::LiveValues &values, const QString &status)
{
    return QStringList{isoTime(values.time), temperature(values.measured, values.decimalCode),
                       temperature(values.room, values.decimalCode), QString::number(values.adc),
                       values.workMode >= 0 ? QString::number(values.workMode) : QString(),
                       quoted(status)}
        .join(QLatin1Char(','));
}

QString csvFailureLine(const QDateTime &time, const QString &status)
{
    return QStringList{isoTime(time), QString(), QString(), QString(), QString(), quoted(status)}
        .join(QLatin1Char(','));
}

std::optional<int> unitCodeSeen(const rtu::RequestDescription &request,
                                const QVector<quint16> &readValues, bool answered)
{
    if (!answered || !covers(request, reg::kUnit))
        return std::nullopt;
    const int offset = reg::kUnit - request.start;
    if (request.function == 3 && offset < readValues.size())
        return readValues.at(offset);
    if ((request.function == 6 || request.function == 16) && offset < request.values.size())
        return request.values.at(offset);
    return std::nullopt;
}

bool CsvLog::start(const QString &path, QString *error)
{
    stop();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        if (error)
            *error = m_file.errorString();
        return false;
    }
    m_headerWritten = false;
    m_decimalCode = -1;
    m_failure.clear();
    return true;
}

void CsvLog::stop()
{
    if (m_file.isOpen())
        m_file.close();
}

void CsvLog::writePoll(const reg::LiveValues &values, std::optional<int> unitCode,
                       const QString &status)
{
    if (!isOpen())
        return;
    if (!m_headerWritten || unitCode != m_unitCode || values.decimalCode != m_decimalCode) {
        m_unitCode = unitCode;
        m_decimalCode = values.decimalCode;
        m_headerWritten = true;
        writeRow(csvHeader(unitCode, values.decimalCode));
    }
    writeRow(csvLine(values, status));
}

void CsvLog::writeFailure(const QDateTime &time, const QString &status)
{
    if (!isOpen())
        return;
    if (!m_headerWritten) {
        m_headerWritten = true;
        writeRow(csvHeader(m_unitCode, m_decimalCode));
    }
    writeRow(csvFailureLine(time, status));
}

// A row the disk did not take stops the log: logging on past a gap would pass
// the gap over.
void CsvLog::writeRow(const QString &row)
{
    const QByteArray bytes = row.toUtf8() + '\n';
    if (m_file.write(bytes) == bytes.size() && m_file.flush())
        return;
    m_failure = m_file.errorString();
    m_file.close();
}

} // namespace diag
