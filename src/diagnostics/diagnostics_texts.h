#pragma once
// Texts of the Trend and Traffic tabs in the three languages (0 Simplified
// Chinese, 1 Traditional Chinese, 2 English), as data.

#include "diagnostics/traffic.h"

#include <QString>

namespace lang {

enum class DiagText {
    TrendTab, Span, Span1Min, Span10Min, Span1Hour, Autoscale, Pause, Resume, ExportPng,
    StartLog, StopLog, NotLogging, LoggingTo, CannotOpen, Measured, Room, Time, Temperature,
    Min, Max, Mean, StdDev, NoData,
    TrafficTab, ColumnTime, ColumnFunction, ColumnAddress, ColumnCount, ColumnResult,
    ColumnRoundTrip, ColumnFrames, ShowFrames, ExportText, ResetCounters, SinceConnect,
    LogStopped, ExportFailed,
    Count   // number of rows, not a text
};

// Empty for a language outside 0..2.
QString diagText(DiagText which, int language);

// Standard name of a Modbus exception code in `language`.
QString exceptionName(int code, int language);

// A result's name: "timeout", "exception", ...
QString resultName(diag::Result result, int language);

// A result as the traffic list shows it: "exception 2 (illegal data address)".
QString resultText(diag::Result result, int exceptionCode, int language);

}  // namespace lang
