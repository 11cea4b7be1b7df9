#include "link/unstored_words.h"

#include <QStringList>

namespace rtu {

void UnstoredWords::note(quintptr owner, const QString &procedure, int address, quint16 putBack)
{
    if (!m_entries.contains(address))
        m_entries.insert(address, {address, putBack, owner, procedure, {}});
}

void UnstoredWords::forgetOwner(quintptr owner)
{
    for (auto it = m_entries.begin(); it != m_entries.end();)
        it = it->owner == owner ? m_entries.erase(it) : std::next(it);
}

void UnstoredWords::setAfterPutBack(quintptr owner, const std::function<bool(const QVector<Entry> &)> &step)
{
    for (Entry &e : m_entries)
        if (e.owner == owner)
            e.afterPutBack = step;
}

bool UnstoredWords::hasOwner(quintptr owner) const
{
    for (const Entry &e : m_entries)
        if (e.owner == owner)
            return true;
    return false;
}

QVector<UnstoredWords::Entry> UnstoredWords::othersThan(quintptr owner) const
{
    QVector<Entry> others;
    for (const Entry &e : m_entries)
        if (owner == 0 || e.owner != owner)
            others << e;
    return others;
}

QString unstoredText(const QVector<UnstoredWords::Entry> &entries)
{
    QStringList parts;
    QString procedure;
    QStringList registers;
    auto flush = [&] {
        if (!registers.isEmpty())
            parts << QStringLiteral("holding %1 (%2)").arg(registers.join(QStringLiteral(", ")), procedure);
        registers.clear();
    };
    for (const auto &e : entries) {
        if (e.procedure != procedure)
            flush();
        procedure = e.procedure;
        registers << QString::number(e.address);
    }
    flush();
    return parts.join(QStringLiteral("; "));
}

} // namespace rtu
