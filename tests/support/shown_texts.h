#pragma once
// What a tab shows, and whether any of it is left in English, for the runs
// driven in the Chinese window.

#include <QLabel>
#include <QRegularExpression>
#include <QStringList>
#include <QTableWidget>
#include <algorithm>

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

// What the English-word checks of the text tables leave alone.
// Units, identifiers and the names of formats and standards, which stay as they are in every language.
inline const QStringList kKept = {
    "As found", "As left", "Type A", "Type B", "Modbus RTU", "Modbus", "SCPI", "IDN", "CSV", "PDF", "PNG", "JSON",
    "SHA-256", "Ed25519", "ISO/IEC", "mA", "mV", "Pt100", "Pt1000", "RTD", "CJC", "ppm", "ohm", "Ω", "°C", "°F", "K",
    "TCal", "tcal-cli", "USBTMC", "TCP", "VISA", "PostgreSQL", "SQLite", "NTC", "Ni120", "Cu50", "true", "false",
    "tcp:", "usbtmc:", "IPv6", "Linux", "libsodium", "FUNCTION"};

// Latin words of three letters or more left after the kept ones and the placeholders.
inline QStringList englishIn(QString text)
{
    text.remove(QRegularExpression(QStringLiteral("%\\d")));
    // A file's keys and values, quoted as the file spells them, and commands as they are typed.
    text.remove(QRegularExpression(QStringLiteral("\"[^\"]*\"")));
    text.remove(QRegularExpression(QStringLiteral("`[^`]*`")));
    // Addresses, paths and file patterns: "tcp:192.168.1.20", "/dev/ttyUSB1", "*.json".
    text.remove(QRegularExpression(QStringLiteral("\\S*(?:/|:(?=\\S)|\\*\\.)\\S*")));
    for (const QString &kept : kKept)
        text.remove(kept);
    QStringList words;
    auto it = QRegularExpression(QStringLiteral("[A-Za-z]{3,}")).globalMatch(text);
    while (it.hasNext()) {
        const QString w = it.next().captured();
        if (w != w.toUpper() || w.size() > 6)   // short all-capital words are acronyms
            words << w;
    }
    return words;
}

inline bool hasChinese(const QString &text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x4e00 && c.unicode() <= 0x9fff; });
}

} // namespace shown

