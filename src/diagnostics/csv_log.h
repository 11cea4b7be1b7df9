#pragma once
// The live-value log: one CSV line per poll, the header naming the units and
// the decimal-places code in force. Lines are flushed as they are written, so
// a crash loses at most the line being written.

#include "core/live_values.h"
#include "link/request_description.h"

#include <QFile>
#include <QString>
#include <optional>

namespace diag {

// Text of the transmitter's temperature unit (holding 6: 0 degC, 1 degF);
// empty for an unknown code or none.
QString unitText(std::optional<int> unitCode);

// The header row. Without a known unit the measured column says so.
QString csvHeader(std::optional<int> unitCode, int decimalCode);

// One row: a poll that arrived (`values`), with the link status `status`.
QString csvLine(const reg::LiveValues &values, const QString &status);
// One row for a failed request: time and status only.
QString csvFailureLine(const QDateTime &time, const QString &status);

// The temperature unit a finished request tells, if it covered holding 6:
// a holding read's result, or the value of an answered write.
std::optional<int> unitCodeSeen(const rtu::RequestDescription &request,
                                const QVector<quint16> &readValues, bool answered);

class CsvLog
{
public:
    bool start(const QString &path, QString *error);
    void stop();
    bool isOpen() const { return m_file.isOpen(); }
    // Why the log stopped on its own: a row the disk did not take. Empty otherwise.
    QString failure() const { return m_failure; }
    QString path() const { return m_file.fileName(); }

    // Writes a header row first whenever the unit or decimal code differs from
    // the header in force.
    void writePoll(const reg::LiveValues &values, std::optional<int> unitCode, const QString &status);
    void writeFailure(const QDateTime &time, const QString &status);

private:
    void writeRow(const QString &row);

    QFile m_file;
    bool m_headerWritten = false;
    std::optional<int> m_unitCode;
    int m_decimalCode = -1;
    QString m_failure;
};

} // namespace diag
