// The certificate as an auditor reads it: every row of a long check on
// paginated pages with the table header repeated, page x of y, the fields,
// the decision rule and the signatures, nothing cut.

#include "certificate.h"
#include "record_table.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

using namespace record;

namespace {

QString pdfText(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    return p.waitForFinished(20000) ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

Record longCheck(Stage stage, int points, double offset)
{
    Header h;
    h.serial = QStringLiteral("SN-25");
    h.tag = QStringLiteral("TT-204");
    h.description = QStringLiteral("Furnace zone 2, thermocouple in the north wall behind the burner, "
                                   "reached from the gallery; ask the shift lead for the permit ENDOFTEXT");
    h.laboratory = QStringLiteral("Plant metrology lab");
    h.procedure = QStringLiteral("QP-CAL-012 rev. C");
    h.inputType = QStringLiteral("Type K");
    h.address = 192;
    h.reference = QStringLiteral("Calibrator 7");
    h.referenceCertificate = QStringLiteral("RC-2026-118");
    h.referenceDue = QDate(2027, 6, 30);
    h.ambient = QStringLiteral("23.5");
    h.range = {0.0, 1200.0};
    h.tolerance = {Tolerance::Kind::Degrees, 0.5};
    h.uncertainty = 0.2;
    QVector<double> refs;
    for (int i = 0; i < points; ++i)
        refs << i * 1200.0 / (points - 1);
    Record r = newRecord(h, stage, refs, QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC));
    for (auto &p : r.points) {
        p.status = Point::Status::Recorded;
        p.reading = p.reference + offset;
    }
    return r;
}

} // namespace

class TestCertificate : public QObject
{
    Q_OBJECT
private slots:
    void longChecksArePaginated();
};

void TestCertificate::longChecksArePaginated()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("c.pdf");
    const CertificateContent content{longCheck(Stage::AsFound, 41, 0.6), longCheck(Stage::AsLeft, 25, 0.1), 2, 42};
    int pages = 0;
    QVERIFY(writeCertificate(path, content, &pages));
    QVERIFY(pages > 1);
    const QString text = pdfText(path);
    QVERIFY2(text.contains(QStringLiteral("Page %1 of %1").arg(pages)), qPrintable(text));
    QCOMPARE(text.count(QRegularExpression("Page \\d+ of \\d+")), pages);
    // Every row of both checks, in order.
    for (const Record &r : {*content.asFound, *content.asLeft}) {
        int from = 0;
        for (const Point &p : r.points) {
            const QStringList cells = rowCells(p, r.header, 2);
            const QRegularExpression row(QRegularExpression::escape(cells[0]) + "\\s+" + QRegularExpression::escape(cells[1])
                                         + "\\s+" + QRegularExpression::escape(cells[2]));
            const int at = text.indexOf(row, from);
            QVERIFY2(at >= 0, qPrintable(row.pattern()));
            from = at + 1;
        }
    }
    // The 41-point table runs onto the next page with its header row again.
    QVERIFY2(text.count("Measured") > 2, qPrintable(text));
    for (const char *field : {"000042", "Plant metrology lab", "QP-CAL-012 rev. C", "Type K", "192",
                              "RC-2026-118", "2027-06-30", "23.5 °C", "ENDOFTEXT", "± 0.20 °C (k=2)",
                              "Decision rule", "guard-banded", "adjusted", "Calibrated by", "Reviewed by"})
        QVERIFY2(text.contains(QString::fromUtf8(field)), field);
    // Guard band 0.5 - 0.2: +0.6 fails, +0.1 passes.
    QVERIFY(text.contains(QRegularExpression("As found[^\\n]*\\n(.|\\n)*Verdict: FAIL(.|\\n)*Verdict: PASS")));
}

QTEST_MAIN(TestCertificate)
#include "test_certificate.moc"
