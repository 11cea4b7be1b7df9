// A whole calibration against the simulator (type K through its standard
// table): as found with an injected input-stage error, the window's own
// thermocouple calibration, as left, and the record files, CSV and PDF
// certificate that document it.

#include "certificate_elements.h"
#include "e2e_helpers.h"
#include "record/certificate.h"
#include "record/number_input.h"
#include "record/record_store.h"
#include "record/record_table.h"
#include "record_driver.h"
#include "records_fixture.h"
#include "records_db/certificate_store.h"
#include "records_db/record_db.h"
#include "records_flow.h"
#include "tabs/calibration_record_tab.h"
#include "tabs/records_view.h"
#include "sensor_tables.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QTableView>
#include <QSettings>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>

using record::Stage;

namespace {

// The simulator's input stage sees gain * mV + offset; the transmitter converts
// through the type K table with the cold junction at ambient.
constexpr double kGain = 1.002, kOffsetMv = 0.01, kAmbient = 23.5;
double injectedError(double celsius)
{
    using namespace sim::tables;
    const double junction = *emfMv(0, kAmbient);
    const double seen = kGain * (*emfMv(0, celsius) - junction) + kOffsetMv;
    return *celsiusFromEmf(0, seen + junction) - celsius;
}

// Readings come in tenths: half a tenth either way; a printed error, rounded to
// the tenth again, one tenth.
constexpr double kReadingSlack = 0.051;
constexpr double kPrintedSlack = 0.101;

QStringList csvRows(const QString &path, const QString &stage)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList rows;
    for (const QString &line : QString::fromUtf8(file.readAll()).split('\n'))
        if (line.startsWith(stage + ','))
            rows << line;
    return rows;
}

} // namespace

class TestCalibrationRecord : public QObject
{
    Q_OBJECT
private slots:
    void asFoundCalibrateAsLeft();
};

void TestCalibrationRecord::asFoundCalibrateAsLeft()
{
    sim::Config config = e2e::at9600();
    config.lineSpeed = true;
    WindowSession s(config);
    s.sim().setHolding(1, 8000);            // range -20.0 .. 800.0 degC
    s.sim().setHolding(2, quint16(-200));
    s.sim().setAmbient(kAmbient);
    s.sim().setInputError(kGain, kOffsetMv);
    s.sim().setCurves(sim::model::Curves::Standard);
    QVERIFY(s.connectToSimulator());
    s.ui()->comboBox_sel_language->setCurrentIndex(2);
    CalibrationRecordTab *tab = s.probe.recordTab();
    QCOMPARE(s.ui()->tabWidget_main->tabText(s.ui()->tabWidget_main->indexOf(tab)),
             QStringLiteral("Calibration record"));

    QTemporaryDir folder;
    RecordDriver d(tab, s.sim());
    d.fillHeader(QStringLiteral("SN-7001"), folder.path(), 0.8, 3);
    // Each check is signed by the technician's own key as it is stored.
    tab->setCreateQuestion([](const QString &) { return true; });
    for (const char *name : {"J. Chen", "L. Wang", "M. Zhou"})
        recordsfixture::person(*tab->database(), name);
    d.signAs(QStringLiteral("J. Chen"));
    d.click("pushButton_record_read_range");
    QCOMPARE(d.find<QLineEdit>("lineEdit_record_points")->text(),
             record::pointsText({-20.0, 185.0, 390.0, 595.0, 800.0}));

    // As found: the error grows along the range and breaks the tolerance from 390 on.
    QVERIFY(d.runCheck(Stage::AsFound));
    const record::Record found = *tab->asFound();
    const QVector<bool> wantPass{true, true, false, false, false};
    for (int i = 0; i < found.points.size(); ++i) {
        const auto f = record::figures(found.points[i], found.header);
        const double measured = found.points[i].reading - found.points[i].reference;
        QVERIFY2(qAbs(measured - injectedError(found.points[i].reference)) <= kReadingSlack,
                 qPrintable(QString("point %1: error %2").arg(i).arg(measured)));
        QCOMPARE(f.passed, wantPass[i]);
    }
    QCOMPARE(record::verdict(found), record::Verdict::Fail);
    QVERIFY(!found.configuration.isEmpty());   // read from the transmitter at the start
    QCOMPARE(found.header.inputType, QStringLiteral("K"));
    QCOMPARE(found.header.address, 192);   // the certificate names the unit's address

    // Calibrate: the window's thermocouple two-point calibration at 50 mV and 0 mV.
    s.ui()->pushButton_tc_calib_2->click();
    QTRY_COMPARE_WITH_TIMEOUT(s.probe.workGroup(), 2, 10000);
    for (auto [mv, button] : {std::pair{50.0, s.ui()->commandLinkButton_tc_50mV},
                              std::pair{0.0, s.ui()->commandLinkButton_tc_0mV}}) {
        s.sim().setAppliedMillivolts(mv);
        QVERIFY(s.idle());
        button->click();
    }
    QVERIFY(s.idle());
    s.ui()->pushButton_tc_write->click();
    QVERIFY(s.idle());
    QCOMPARE(s.sim().storedImage()[17], s.sim().holding(17));

    // As left: within a reading's rounding everywhere.
    QVERIFY(d.runCheck(Stage::AsLeft));
    const record::Record left = *tab->asLeft();
    for (const record::Point &p : left.points)
        QVERIFY(qAbs(p.reading - p.reference) <= kReadingSlack);
    QCOMPARE(record::verdict(left), record::Verdict::Pass);

    // The technician adds the loop current the meter shows at 390 degC: the
    // finished as-left check gets an amendment with the reason, the first stays.
    s.sim().setAppliedCelsius(390.0);
    d.type("lineEdit_record_amend_reason", QStringLiteral("loop current read after the check"));
    d.typePassphrase();
    auto *leftTable = d.find<QTableWidget>("tableWidget_record_as_left");
    leftTable->item(2, record::ColMeasuredMa)->setText(QString::number(s.sim().loopCurrentMa(), 'f', 3));
    QTRY_VERIFY(tab->asLeft()->points[2].currentMa.has_value());
    QVERIFY(qAbs(*record::figures(tab->asLeft()->points[2], left.header).currentErrorMa) < 0.005);

    // All three versions are in the database, listed for this serial number, chain intact.
    QTRY_COMPARE(d.find<QTableWidget>("tableWidget_record_history")->rowCount(), 3);
    const auto stored = *tab->database()->list(QStringLiteral("SN-7001"));
    QCOMPARE(stored.size(), 3);
    QVERIFY(!stored[1].record.points[2].currentMa);
    QCOMPARE(stored[2].record.amendment->supersedes, stored[1].record.id);
    QCOMPARE(stored[2].record.points[2].currentMa, tab->asLeft()->points[2].currentMa);
    // Signed by this workstation's key, which the laboratory trusts only on
    // purpose (the test's data folder keeps it from an earlier run).
    QVERIFY(recordsfixture::trustOwnKey(*tab->database()));
    d.click("pushButton_record_verify");
    QCOMPARE(d.find<QLabel>("label_record_status")->text(), QStringLiteral("All 3 records intact"));

    // CSV: the figures are the injected error.
    d.click("pushButton_record_csv");
    const QString csv = folder.filePath(QString(record::fileName(left)).replace("_as-left.json", "_record.csv"));
    const QStringList foundRows = csvRows(csv, "as-found");
    QCOMPARE(foundRows.size(), 5);
    for (const QString &row : foundRows) {
        const QStringList cells = row.split(',');
        QVERIFY2(qAbs(cells[4].toDouble() - injectedError(cells[2].toDouble())) <= kPrintedSlack, qPrintable(row));
    }
    QCOMPARE(csvRows(csv, "as-left").filter(",pass").size(), 5);

    // Not approved yet: only a draft, no number.
    const auto status = [&] { return d.find<QLabel>("label_record_status")->text(); };
    const QString base = QString(csv).remove("_record.csv");
    d.click("pushButton_record_pdf");
    QVERIFY2(status().startsWith("Not approved"), qPrintable(status()));
    QVERIFY(pdfText(base + "_certificate-draft.pdf").contains("DRAFT: not approved"));
    // Reviewed and approved in the records view, one press from the checks shown.
    QString opened;
    RecordsView view({[&](bool) { return tab->database(); }, [&] { return folder.path(); },
                      [&](const QString &path) { return opened = path, true; }});
    view.setLanguage(2);
    view.show();
    connect(tab, &CalibrationRecordTab::openInRecords, &view, &RecordsView::selectCheck);
    const auto viewButton = [&](const char *name) { return view.findChild<QPushButton *>(name); };
    d.click("pushButton_record_show_in_records");
    QTRY_VERIFY(view.findChild<QTableView *>("tableView_records")->selectionModel()->hasSelection());
    // The technician who performed the checks cannot review them; others can.
    QString tip;
    recordsflow::signAs("J. Chen", recordsfixture::kPassphrase, &tip);
    QTest::mouseClick(viewButton("pushButton_records_review"), Qt::LeftButton);
    QCOMPARE(tip, QStringLiteral("You performed this check and cannot review or approve it"));
    recordsflow::signAs("L. Wang", recordsfixture::kPassphrase, nullptr, nullptr, "Reviewer");
    QTest::mouseClick(viewButton("pushButton_records_review"), Qt::LeftButton);
    recordsflow::signAs("M. Zhou", recordsfixture::kPassphrase, nullptr, nullptr, "Head of laboratory");
    QTest::mouseClick(viewButton("pushButton_records_approve"), Qt::LeftButton);
    QTRY_VERIFY2(view.statusText().contains("approved by M. Zhou"), qPrintable(view.statusText()));

    // Issued from the tab once the customer is named: number 1, stored; issuing
    // it again is refused, a reprint is the file issued.
    {
        QSettings settings;
        record::writeIssuer(settings, {"12 Foundry Road", "Kiln Works Ltd", "3 Kiln Lane"});
    }
    d.click("pushButton_record_pdf");
    QVERIFY2(status().startsWith("Certificate 1 issued"), qPrintable(status()));
    d.click("pushButton_record_pdf");
    QVERIFY2(status().contains("certified already: certificate 1"), qPrintable(status()));
    view.refresh();
    d.click("pushButton_record_show_in_records");
    QTest::mouseClick(viewButton("pushButton_records_reprint"), Qt::LeftButton);
    QFile issued(base + "_certificate-000001.pdf"), copy(folder.filePath("certificate-000001-copy.pdf"));
    QVERIFY2(issued.open(QIODevice::ReadOnly) && copy.open(QIODevice::ReadOnly) && issued.readAll() == copy.readAll(),
             qPrintable(view.statusText()));
    // A replacement names the one it replaces, which is withdrawn by it.
    recordsflow::onDialog([](QDialog &dialog) { dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click(); });
    QTest::mouseClick(viewButton("pushButton_records_replace"), Qt::LeftButton);
    QTRY_VERIFY2(QFile::exists(folder.filePath("certificate-000002.pdf")), qPrintable(view.statusText()));
    QVERIFY(pdfText(folder.filePath("certificate-000002.pdf")).contains("This certificate replaces certificate 000001"));
    QCOMPARE(recordsdb::CertificateStore(*tab->database()).find(1)->withdrawnBy, 2);

    // The certificate: both tables, the verdict, the header, the signatures.
    const QString text = pdfText(base + "_certificate-000001.pdf");
    QVERIFY(text.contains("Approved: M. Zhou (Head of laboratory)") && text.contains("Reviewed: L. Wang")
            && text.contains("Calibrated: J. Chen") && !text.contains("DRAFT"));
    QVERIFY2(text.contains("Calibration certificate") && text.contains("SN-7001"), qPrintable(text));
    QVERIFY(text.contains("Certificate No.: 000001") && text.contains("SIM-2026-001") && text.contains("Page 1 of"));
    QVERIFY(text.contains("adjusted"));
    QVERIFY(text.contains("As found") && text.contains("As left"));
    QCOMPARE(text.count("FAIL"), 4);   // three points and the as-found verdict
    QVERIFY(text.contains(QRegularExpression("Verdict: PASS\\s*\\n(.|\\n)*Statement of conformity: PASS")));
    // Each test point's row: the as-found table first, then the as-left one.
    const auto cellsPattern = [](const record::Record &r, int i) {
        QStringList cells = record::rowCells(r.points[i], r.header, 2).mid(0, 3);
        for (QString &c : cells)
            c = QRegularExpression::escape(c);
        return cells.join("\\s+");
    };
    int from = 0;
    for (const record::Record &r : {found, *tab->asLeft()}) {
        for (int i = 0; i < r.points.size(); ++i) {
            const QRegularExpression row(cellsPattern(r, i));
            from = text.indexOf(row, from);
            QVERIFY2(from >= 0, qPrintable(row.pattern() + "\n" + text));
        }
    }
}

QTEST_MAIN(TestCalibrationRecord)
#include "test_calibration_record.moc"
