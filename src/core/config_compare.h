#pragma once
// A device's configuration against a file's, field by field, and the writes
// that would make the device equal to the file.

#include "core/configuration.h"

namespace config {

struct FieldComparison {
    const FieldDef *field;
    QString device;   // value text with its unit
    QString file;
    bool differs;
};

// A field's value with its unit, as the comparison shows it.
QString shownValue(const Configuration &c, const FieldDef &f);

QVector<FieldComparison> compare(const Configuration &device, const Configuration &file);
int differingCount(const QVector<FieldComparison> &rows);

// The field a holding register belongs to; null for one outside the configuration.
const FieldDef *fieldAt(int address);

// Fields whose words differ, grouped into runs of consecutive registers.
struct WriteRun {
    int start;
    QVector<quint16> words;
};
QVector<WriteRun> differingRuns(const Configuration &device, const Configuration &target);

} // namespace config
