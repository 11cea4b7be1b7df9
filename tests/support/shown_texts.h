#pragma once
// What a tab shows, and whether any of it is left in English, for the runs
// driven in the Chinese window.

#include <QLabel>
#include <QRegularExpression>
#include <QStringList>
#include <QTableWidget>

namespace shown {

// What the tab shows: its labels, its table's cells and headers.
inline QStringList tabTexts(QWidget *tab)
{
    QStringList out;
    for (QLabel *l : tab->findChildren<QLabel *>())
        if (l->isVisible())
            out << l->text();
    for (QTableWidget *t : tab->findChildren<QTableWidget *>())
        for (int r = -1; r < t->rowCount(); ++r)
            for (int c = 0; c < t->columnCount(); ++c)
                if (QTableWidgetItem *i = r < 0 ? t->horizontalHeaderItem(c) : t->item(r, c))
                    out << i->text();
    return out;
}

// A Latin word of three letters or more that is no unit, path or identifier.
inline bool hasEnglish(QString text)
{
    text.remove(QRegularExpression(QStringLiteral("\\S*/\\S*")));
    for (const char *kept : {"mV", "mA", "ohm", "PDF", "SN-", "Type", "PT100", "Cu50"})
        text.remove(QLatin1String(kept));
    return text.contains(QRegularExpression(QStringLiteral("[A-Za-z]{3,}")));
}

} // namespace shown

