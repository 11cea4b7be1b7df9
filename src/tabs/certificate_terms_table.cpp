#include "tabs/certificate_terms_table.h"

#include "tabs/standards_texts.h"

#include <QHeaderView>

namespace {

const QStringList kFunctions = {QStringLiteral("mV"), QStringLiteral("ohm"), QStringLiteral("mA")};
constexpr int kTermCount = 4;   // U, k, correction, drift per year

} // namespace

CertificateTermsTable::CertificateTermsTable(int language, QWidget *parent)
    : QTableWidget(kFunctions.size(), kTermCount, parent)
{
    using standardstext::Text;
    setObjectName(QStringLiteral("tableWidget_standard_terms"));
    setVerticalHeaderLabels(kFunctions);
    QStringList titles;
    for (Text t : {Text::TermsU, Text::TermsK, Text::TermsCorrection, Text::TermsDrift})
        titles << standardstext::text(t, language);
    setHorizontalHeaderLabels(titles);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    setToolTip(standardstext::text(Text::TermsHint, language));
    setMinimumHeight(horizontalHeader()->sizeHint().height() + 3 * verticalHeader()->defaultSectionSize() + 4);
}

void CertificateTermsTable::setTerms(const QMap<QString, recordsdb::CertificateTerms> &terms)
{
    clearContents();
    for (int row = 0; row < kFunctions.size(); ++row) {
        if (!terms.contains(kFunctions[row]))
            continue;
        const recordsdb::CertificateTerms &t = terms[kFunctions[row]];
        const double values[kTermCount] = {t.expanded, t.coverageFactor, t.correction, t.driftPerYear};
        for (int c = 0; c < kTermCount; ++c)
            setItem(row, c, new QTableWidgetItem(QString::number(values[c], 'g', 10)));
    }
}

std::optional<QMap<QString, recordsdb::CertificateTerms>> CertificateTermsTable::terms(QString &function) const
{
    QMap<QString, recordsdb::CertificateTerms> all;
    for (int row = 0; row < kFunctions.size(); ++row) {
        QStringList parts{kFunctions[row]};
        bool any = false;
        for (int c = 0; c < kTermCount; ++c) {
            const QString cell = item(row, c) ? item(row, c)->text().trimmed() : QString();
            any = any || !cell.isEmpty();
            parts << cell;
        }
        if (!any)
            continue;
        QString why;
        const auto parsed = recordsdb::certificateTermsFrom(parts.join(QLatin1Char(':')), why);
        if (!parsed)
            return function = kFunctions[row], std::nullopt;
        all.insert(parsed->first, parsed->second);
    }
    return all;
}
