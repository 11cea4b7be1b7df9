// The certificate as an auditor reads it: every row of a long check on
// paginated pages with the table header repeated, page x of y, the fields,
// the decision rule and the signatures, nothing cut.

#include "record/certificate.h"
#include "record/record_table.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

using namespace record;

namespace {

Record longCheck(Stage stage, int points, double offset)
{
    Header h;
    h.serial = "SN-25";
    h.description = "Furnace zone 2, thermocouple in the north wall behind the burner, reached from the "
                    "gallery; ask the shift lead for the permit ENDOFTEXT";
    h.laboratory = "Plant metrology lab";
    h.procedure = "QP-CAL-012 rev. C";
    h.inputType = "Type K";
    h.referenceCertificate = "RC-2026-118";
    h.referenceDue = QDate(2027, 6, 30);
    h.range = {0.0, 1200.0};
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
    // 41 points as found: that table runs onto the next page.
    const CertificateContent content{longCheck(Stage::AsFound, 41, 0.6), longCheck(Stage::AsLeft, 25, 0.1), 2, 42};
    int pages = 0;
    QVERIFY(writeCertificate(path, content, &pages));
    QVERIFY(pages > 1);
    QProcess p;
    p.start("pdftotext", {"-layout", path, "-"});
    QVERIFY(p.waitForFinished(20000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    QCOMPARE(text.count(QRegularExpression("Page \\d+ of \\d+")), pages);
    QVERIFY(text.contains(QStringLiteral("Page %1 of %1").arg(pages)));
    QVERIFY2(text.count("Measured") > 2, qPrintable(text));   // the header row again on the next page
    // Every row of both checks, in order.
    int from = 0;
    for (const Record &r : {*content.asFound, *content.asLeft}) {
        for (const Point &point : r.points) {
            QStringList cells = rowCells(point, r.header, 2).mid(0, 3);
            for (QString &c : cells)
                c = QRegularExpression::escape(c);
            from = text.indexOf(QRegularExpression(cells.join("\\s+")), from);
            QVERIFY2(from >= 0, qPrintable(cells.join(' ')));
        }
    }
    for (const char *field : {"000042", "Plant metrology lab", "QP-CAL-012 rev. C", "Type K", "RC-2026-118",
                              "2027-06-30", "ENDOFTEXT", "± 0.20 °C (k=2)", "guard-banded", "adjusted",
                              "Calibrated by", "Reviewed by"})
        QVERIFY2(text.contains(QString::fromUtf8(field)), field);
    // Guard band 0.5 - 0.2: +0.6 fails, +0.1 passes.
    QVERIFY(text.contains(QRegularExpression("Verdict: FAIL(.|\\n)*Verdict: PASS")));
}

QTEST_MAIN(TestCertificate)
#include "test_certificate.moc"
