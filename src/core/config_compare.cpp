#include "core/config_compare.h"

#include <algorithm>

namespace config {

QString shownValue(const Configuration &c, const FieldDef &f)
{
    const QString unit = unitText(c, f);
    const QString value = valueText(f, fieldWords(c, f));
    return unit.isEmpty() ? value : value + QLatin1Char(' ') + unit;
}

QVector<FieldComparison> compare(const Configuration &device, const Configuration &file)
{
    QVector<FieldComparison> rows;
    for (const FieldDef &f : fields()) {
        rows.append({&f, shownValue(device, f), shownValue(file, f),
                     fieldWords(device, f) != fieldWords(file, f)});
    }
    return rows;
}

int differingCount(const QVector<FieldComparison> &rows)
{
    return int(std::count_if(rows.begin(), rows.end(), [](const FieldComparison &r) { return r.differs; }));
}

const FieldDef *fieldAt(int address)
{
    for (const FieldDef &f : fields()) {
        if (address >= f.address && address < f.address + wordCount(f.kind))
            return &f;
    }
    return nullptr;
}

// A 32-bit field goes out whole, even when only one of its words differs.
QVector<WriteRun> differingRuns(const Configuration &device, const Configuration &target)
{
    QVector<WriteRun> runs;
    for (const FieldDef &f : fields()) {
        const QVector<quint16> words = fieldWords(target, f);
        if (fieldWords(device, f) == words)
            continue;
        if (!runs.isEmpty() && runs.last().start + runs.last().words.size() == f.address)
            runs.last().words << words;
        else
            runs.append({f.address, words});
    }
    return runs;
}

} // namespace config
