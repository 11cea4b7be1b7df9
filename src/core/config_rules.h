#pragma once
// What a configuration may hold before it is written to a transmitter, as
// data: the option lists and ranges the window offers, which fields are the
// plant's settings and which belong to one unit's calibration, and the check
// of a whole configuration against them. Window, tab and tcal-cli share it.

#include "core/configuration.h"

#include <QStringList>

namespace config {

// Option lists of the window, as register values.
const QVector<int> &deviceBaudRates();        // holding 13
const QVector<int> &filterValues();           // holding 5
const QVector<int> &roomGainValues();         // holding 8, tenths

// Settings describe what the plant wants; calibration belongs to one unit.
bool isCalibration(const FieldDef &f);
QStringList calibrationKeys();

enum class Rule { OneOf, Between, BelowUpper, KnownCode };

struct Violation {
    QString field;
    QString value;
    Rule rule;
    QStringList limits;   // the list, the two ends, or the upper range
};
// "field filter: value 0 must be one of 1, 2, ..." in language 0..2 (English otherwise).
QString violationText(const Violation &v, int language = 2);

// Every rule a configuration breaks; empty when it may be written. A code the
// tool has no name for passes only when it is the word the file's own block
// recorded as read from a transmitter.
QVector<Violation> violations(const Configuration &c);

// The unit a file came from is this one: same address, and the same tag when
// both name one.
bool sameUnit(const Identity &file, int address, const QString &tag);

} // namespace config
