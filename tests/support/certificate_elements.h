// What a certificate must show (ISO/IEC 17025 7.8.2, 7.8.4), checked in the
// text pdftotext extracts from it: for the unit test's certificate and for
// the sample the screenshot tool makes.
#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

struct CertificateFacts {
    QString number;        // "000042"
    QStringList fields;    // laboratory, customer, addresses, item, procedure, reference ...
    QString authoriser;
    QString function;
};

inline QString pdfText(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    return p.waitForFinished(20000) ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

// The elements missing from `text`, named; empty when the certificate has them all.
inline QStringList missingElements(const QString &text, const CertificateFacts &facts)
{
    QStringList missing;
    const auto need = [&](bool ok, const QString &what) {
        if (!ok)
            missing << what;
    };
    // Number and page x of y in every page's footer; the pages are separated by form feeds.
    const QStringList pages = text.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    for (int i = 0; i < pages.size(); ++i) {
        need(pages[i].contains(QStringLiteral("Certificate No. %1").arg(facts.number)), QStringLiteral("number on page %1").arg(i + 1));
        need(pages[i].contains(QStringLiteral("Page %1 of %2").arg(i + 1).arg(pages.size())), QStringLiteral("page %1 of y").arg(i + 1));
    }
    need(pages.size() > 0 && pages.last().contains(QStringLiteral("End of certificate")), "end mark");
    for (const QString &f : facts.fields)
        need(text.contains(f), f);
    for (const char *label : {"Laboratory address", "Customer address", "Date(s) of calibration", "Date of issue",
                              "Procedure", "Input type", "Range", "Address"})
        need(text.contains(QLatin1String(label)), QLatin1String(label));
    for (const char *unit : {"(°C)", "(% of span)", "(mA)", "error (mA)"})
        need(text.contains(QString::fromUtf8(unit)), QStringLiteral("unit heading ") + QString::fromUtf8(unit));
    need(text.contains(QRegularExpression("coverage factor k = 2,\\s+coverage probability\\s+approximately 95 %")),
         "uncertainty with k and probability");
    need(text.contains(QRegularExpression("Traceability: the results are traceable")), "traceability");
    need(text.contains("Statement of conformity: "), "conformity statement");
    need(text.contains("Decision rule: "), "decision rule");
    need(text.contains("The results relate only to the item calibrated."), "relates only");
    need(text.contains(QRegularExpression("Authorised by:\\s+" + QRegularExpression::escape(facts.authoriser))), "authoriser");
    need(text.contains(QRegularExpression("Function:\\s+" + QRegularExpression::escape(facts.function))), "function");
    need(text.contains(QRegularExpression("Approved: " + QRegularExpression::escape(facts.authoriser))), "approval signature");
    need(!text.contains("DRAFT"), "no draft mark");
    return missing;
}
