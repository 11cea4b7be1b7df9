// The certificate as an auditor reads it: every row of a long check on
// paginated pages with the table header repeated, every element ISO/IEC 17025
// asks for, the draft, copy and replacement marks; and the sample the
// screenshot tool made for the README.

#include "certificate_elements.h"
#include "record/certificate.h"
#include "record/record_table.h"

#include <QtTest>

using namespace record;

namespace {

Record longCheck(Stage stage, int points, double offset)
{
    Header h;
    h.tag = "TT-25";
    h.serial = "SN-25";
    h.description = "Furnace zone 2, thermocouple in the north wall behind the burner, reached from the "
                    "gallery; ask the shift lead for the permit ENDOFTEXT";
    h.laboratory = "Plant metrology lab";
    h.procedure = "QP-CAL-012 rev. C";
    h.inputType = "Type K";
    h.reference = "Calibrator CX-9";
    h.referenceCertificate = "RC-2026-118";
    h.referenceDue = QDate(2027, 6, 30);
    h.range = {0.0, 1200.0};
    h.uncertainty = 0.2;
    h.address = 192;
    QVector<double> refs;
    for (int i = 0; i < points; ++i)
        refs << i * 1200.0 / (points - 1);
    Record r = newRecord(h, stage, refs, QDateTime(QDate(2026, 12, 7), QTime(8, stage == Stage::AsFound ? 0 : 30), Qt::UTC));
    for (auto &p : r.points) {
        p.status = Point::Status::Recorded;
        p.reading = p.reference + offset;
    }
    return r;
}

CertificateContent approvedContent()
{
    CertificateContent c;
    // 41 points as found: that table runs onto the next page.
    c.asFound = longCheck(Stage::AsFound, 41, 0.6);
    c.asLeft = longCheck(Stage::AsLeft, 25, 0.1);
    c.number = 42;
    c.issued = QDateTime(QDate(2026, 12, 8), QTime(9, 0), Qt::UTC);
    c.issuer = {"12 Foundry Road, Wuxi", "Kiln Works Ltd", "3 Kiln Lane, Yixing"};
    const QDateTime t = c.issued.addSecs(-3600);
    c.signatures = {{Signature::Meaning::Performed, "J. Chen", "Technician", "jchen", t},
                    {Signature::Meaning::Reviewed, "L. Wang", "Reviewer", "lwang", t},
                    {Signature::Meaning::Approved, "M. Zhou", "Head of laboratory", "mzhou", t}};
    return c;
}

} // namespace

class TestCertificate : public QObject
{
    Q_OBJECT
private slots:
    void everyElementOnPaginatedPages();
    void statementsFromTheRecords();
    void draftCopyAndReplacement();
    void perPointUncertaintyAndInstruments();
    void sampleShowsEveryElement();
    void sampleShowsReceiptElements();
    void annexAndConditions();
};

void TestCertificate::everyElementOnPaginatedPages()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("c.pdf");
    const CertificateContent content = approvedContent();
    int pages = 0;
    QVERIFY(writeCertificate(path, content, &pages));
    QVERIFY(pages > 1);
    const QString text = pdfText(path);
    const QStringList missing = missingElements(text, {"000042", {"Plant metrology lab", "12 Foundry Road, Wuxi",
        "Kiln Works Ltd", "3 Kiln Lane, Yixing", "TT-25", "SN-25", "ENDOFTEXT", "Type K", "0.0 .. 1200.0 °C", "192",
        "QP-CAL-012 rev. C", "Calibrator CX-9", "RC-2026-118", "2027-06-30", "2026-12-07", "2026-12-08"},
        "M. Zhou", "Head of laboratory"});
    if (!missing.isEmpty())
        qWarning().noquote() << text;   // a failure's message is cut short
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(", ")));
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
    for (const char *field : {"guarded acceptance (w = 1·U)", "± 0.30 °C", "adjusted", "Reviewed: L. Wang", "Calibrated: J. Chen"})
        QVERIFY2(text.contains(QString::fromUtf8(field)), field);
    // Guard band 0.5 - 0.2: +0.6 fails, +0.1 passes; the conformity statement is the as-left verdict.
    QVERIFY(text.contains(QRegularExpression("Verdict: FAIL(.|\\n)*Verdict: PASS(.|\\n)*Statement of conformity: PASS")));
}

// Adjusted or not as the as-left record states it, never from the as-found verdict;
// each signature once however many records it signed; the rule's risk; nothing
// about how a current is judged when none was measured.
void TestCertificate::statementsFromTheRecords()
{
    CertificateContent c = approvedContent();   // as found fails
    const QString unknown = certificateHtml(c);
    QVERIFY(unknown.contains("do not state whether the instrument was adjusted") && !unknown.contains("The instrument was adjusted"));
    c.asLeft->adjusted = false;
    QVERIFY(certificateHtml(c).contains("was not adjusted between"));
    c.asLeft->adjusted = true;
    QVERIFY(certificateHtml(c).contains("The instrument was adjusted between"));
    const QVector<Signature> once = c.signatures;
    c.signatures += once;   // the same persons signed both records
    c.signatures[3].time = c.signatures[3].time.addSecs(600);
    c.signatures[4].key = "ab12";
    const QString html = certificateHtml(c);
    QCOMPARE(html.count("Calibrated: J. Chen"), 1);
    QCOMPARE(html.count("Reviewed: L. Wang"), 2);   // a second key is a second signature
    QVERIFY(html.contains(", key ab12") && html.contains(localTimeText(c.signatures[3].time, false)));
    QVERIFY(html.contains("false-accept risk) is at most about 2.3 %") && !html.contains("loop current"));
    c.asLeft->header.decisionRule = {metrology::DecisionRule::Kind::Guarded, 0.5};
    QVERIFY(certificateHtml(c).contains("at most about 16 %"));
}

void TestCertificate::draftCopyAndReplacement()
{
    CertificateContent c = approvedContent();
    c.signatures.removeLast();   // reviewed, not approved
    QString html = certificateHtml(c);
    QVERIFY(html.contains("[DRAFT]") && html.contains("not valid as a certificate"));
    QVERIFY(!approved(c));
    c = approvedContent();
    c.copy = true;
    c.replaces = 41;
    html = certificateHtml(c);
    QVERIFY(html.contains("[COPY]") && !html.contains("DRAFT"));
    QVERIFY(html.contains("replaces certificate 000041, which is withdrawn"));
    // Nothing to certify, nothing written.
    QTemporaryDir dir;
    QVERIFY(!writeCertificate(dir.filePath("none.pdf"), CertificateContent{}));
    QVERIFY(!QFile::exists(dir.filePath("none.pdf")));
}

// An unattended run's certificate: U and k per point, the current's U beside its
// error, each point judged with its own U, the instruments it used.
void TestCertificate::perPointUncertaintyAndInstruments()
{
    Record r = longCheck(Stage::AsLeft, 3, 0.1);
    r.header.uncertainty.reset();
    for (Point &p : r.points) {
        const bool metered = p.reference == 600.0;
        p.currentMa = metered ? std::optional<double>(12.0001) : std::nullopt;
        p.uncertainty = PointUncertainty{0.113, 2.0345, 9.2, metered ? std::optional<double>(0.00291) : std::nullopt};
    }
    r.points[2].reading = r.points[2].reference + 0.4;   // within 0.5, not within 0.5 - 0.12
    r.instruments = {{"source", "5522A", "FLUKE,5522A,1234567,1.0", "1234567", "RC-9", QDate(2027, 6, 30)},
                     {"meter", "34465A", "Keysight,34465A,MY5,A.03", "MY5", "RC-10", QDate(2027, 1, 15)}};
    CertificateContent c = approvedContent();
    c.asFound.reset();
    c.asLeft = r;
    QTemporaryDir dir;
    QVERIFY(writeCertificate(dir.filePath("u.pdf"), c));
    const QString text = pdfText(dir.filePath("u.pdf"));
    QString html = certificateHtml(c);
    for (const char *cell : {"U (k)", "0.12 (k=2.03)", "+0.0001 ± 0.0030 (k=2.00)"})
        QVERIFY2(html.contains(QString::fromUtf8(cell)), cell);
    for (const char *field : {"stated per point", "Student", "its own expanded uncertainty", "Instruments used",
                              "Source: 5522A (FLUKE,5522A,1234567,1.0), serial 1234567, certificate RC-9, due 2027-06-30",
                              "Meter: 34465A (Keysight,34465A,MY5,A.03), serial MY5, certificate RC-10, due 2027-01-15"})
        // A long line wraps where a space is.
        QVERIFY2(text.contains(QRegularExpression(QRegularExpression::escape(QString::fromUtf8(field)).replace("\\ ", "\\s+"))),
                 field);
    QVERIFY2(text.contains(QRegularExpression("\\+0\\.10\\s.*PASS(.|\\n)*\\+0\\.40\\s.*FAIL")), qPrintable(text));
    QVERIFY(text.contains("Statement of conformity: FAIL"));
    // A run that ended early says why.
    c.asLeft->incompleteReason = "the meter stopped answering";
    html = certificateHtml(c);
    QVERIFY(html.contains("ended early: the meter stopped answering") && html.contains("Verdict: INCOMPLETE"));
    for (int lang : {0, 1})
        QVERIFY(certificateHtml(CertificateContent{c.asFound, c.asLeft, lang, 0, {}, {}, {}, false, 0, 0}).contains("2.03"));
}

// The sample in docs/, made by the screenshot tool against the simulator.
// Each point's budget on an annex page; the ambient's source, the rule by
// name, both tolerances, the output's U with its k and what an electrical
// check leaves unverified.
void TestCertificate::annexAndConditions()
{
    Record r = longCheck(Stage::AsLeft, 2, 0.1);
    r.header.uncertainty.reset();
    r.header.inputType = "Type K";
    r.header.ambient = "23.4";
    r.header.ambientSource = "transmitter";
    r.header.currentToleranceMa = 0.01;
    PointUncertainty u{0.113, 2.0345, 9.2, 0.0048};
    u.currentCoverageFactor = 2.31;
    u.currentEffectiveDegreesOfFreedom = 7.5;
    u.budget = {{"reference", "rectangular", 24.4, "mV", 0.0251, INFINITY},
                {"repeatability", "Type A", 1, "degC", 0.02, 4},
                {"cold-junction dead-band", "rectangular", 0.98, "degC", 0.0566, INFINITY}};
    u.currentBudget = {{"meter", "rectangular", 1, "mA", 0.0021, INFINITY}};
    r.points[0].uncertainty = u;
    r.points[0].currentMa = 4.001;
    CertificateContent c = approvedContent();
    c.asFound.reset();
    c.asLeft = r;
    const QString html = certificateHtml(c);
    for (const char *field : {"Annex: uncertainty budget of each point", "cold-junction dead-band", "Type A",
                              "Effective degrees of freedom ν_eff: 7.5", "Coverage factor k: 2.31", "not truncated",
                              "guarded acceptance (w = 1·U)", "± 0.010 mA", "+0.0010 ± 0.0048 (k=2.31)",
                              "cold-junction compensation cancels out", "independent thermometer at the terminals",
                              "Ambient temperature: 23.4 °C (the transmitter's own room sensor"})
        QVERIFY2(html.contains(QString::fromUtf8(field)), field);
    QVERIFY(html.contains("0.00103 mV") && html.contains("24.4") && html.contains("0.0251 °C"));
    QTemporaryDir dir;
    int pages = 0;
    QVERIFY(!certificatePdf(c, &pages).isEmpty() && pages >= 2);
    for (int lang : {0, 1})
        QVERIFY(certificateHtml(CertificateContent{c.asFound, c.asLeft, lang, 0, {}, {}, {}, false, 0, 0}).contains("附"));
    // A check typed in the window has no budget: no annex; an RTD input no cold-junction statement.
    r.points[0].uncertainty.reset();
    r.header.inputType = "PT100";
    c.asLeft = r;
    QVERIFY(!certificateHtml(c).contains("Annex") && !certificateHtml(c).contains("cancels out"));
}

void TestCertificate::sampleShowsEveryElement()
{
    const QString text = pdfText(QStringLiteral(TCAL_SOURCE_DIR "/docs/calibration-certificate-sample.pdf"));
    const QStringList missing = missingElements(text, {"000002", {"Plant metrology lab", "12 Foundry Road, Wuxi",
        "Kiln Works Ltd", "3 Kiln Lane, Yixing", "TT-204", "SN-7001", "Furnace zone 2", "QP-CAL-012",
        "Simulator (tcal-sim)", "SIM-2026-001", "192", "replaces certificate 000001", "Reviewed: L. Wang",
        "Calibrated: J. Chen"}, "M. Zhou", "Head of laboratory"});
    if (!missing.isEmpty())
        qWarning().noquote() << text;   // a failure's message is cut short
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(", ")));
}

// The sample tcal-cli issued (scripts/certificate-sample.sh): place, receipt,
// condition, environment with its source, the specified requirement, external
// providers and the customer's data marked; in every language, the section's rows.
void TestCertificate::sampleShowsReceiptElements()
{
    const QString text = pdfText(QStringLiteral(TCAL_SOURCE_DIR "/docs/calibration-certificate-17025-sample.pdf")).simplified();
    for (const char *element : {"Place of calibration Plant metrology lab, 12 Foundry Road, Wuxi (permanent laboratory)",
                                "Date of receipt 2026-12-04", "Condition of the item on receipt Undamaged, terminals clean, seal intact",
                                "ambient 23.5 °C (typed by the technician)", "Specified requirement", "±0.5 °C",
                                "Results from external providers none", "tag *: TT-101; description *: Boiler inlet",
                                "data supplied by the customer", "Kiln Works Ltd", "12 Foundry Road, Wuxi"})
        QVERIFY2(text.contains(QString::fromUtf8(element)), element);
    record::Header h;
    h.ambient = "21.0";
    const record::Receipt receipt{"", QDate(), "", "", {"tolerance"}};
    for (int lang : {0, 1, 2}) {
        const QString html = record::receiptSection(receipt, h, true, lang);
        QCOMPARE(html.count("<tr>"), 7);   // place, receipt, condition, environment, requirement, external, customer's
        QVERIFY(html.contains("21.0 °C") && html.contains(" *"));
    }
}

QTEST_MAIN(TestCertificate)
#include "test_certificate.moc"
