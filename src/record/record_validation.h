#pragma once
// A record file from outside, checked against the format before anything is
// taken from it: a size limit, no key given twice, every required field there
// with its type, at least one point, a known stage and status, finite
// numbers, and times with their zone (files without one need the offset they
// were written in, given explicitly).

#include "record/calibration_record.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <optional>

namespace record {

constexpr qint64 kMaxRecordFileBytes = 1024 * 1024;

// What is wrong with the object as a record; empty when nothing is.
QString recordProblem(const QJsonObject &object);

// True when some object of the JSON text names a key twice.
bool hasDuplicateKeys(const QByteArray &json);

// The record of a file's bytes; nullopt with `why` set when they are refused.
// `assumeOffsetSeconds` places times written without a zone; without it such a
// file is refused.
std::optional<Record> readRecordFile(const QByteArray &bytes, QString &why,
                                     std::optional<int> assumeOffsetSeconds = std::nullopt);

// "+08:00", "-05:30", "Z": seconds east of UTC; nullopt when it is none of these.
std::optional<int> parseOffset(const QString &text);

} // namespace record
