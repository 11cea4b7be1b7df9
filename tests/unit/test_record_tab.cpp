// The record tab's guided check driven by live polls, without a transmitter:
// skip, timeout, repeat and what the tables then say; a finished check never
// rewritten, typed numbers, the reference's due date, the instrument list, a
// check the database cannot take kept as a draft; the register of reference
// standards opened from the Automatic calibration tab.

#include "certificate_elements.h"
#include "link/link.h"
#include "record_samples.h"
#include "records_fixture.h"
#include "record/record_table.h"
#include "records_db/standards_register.h"
#include "tabs/auto_calibration_tab.h"
#include "tabs/calibration_record_tab.h"
#include "tabs/instrument_list.h"
#include "tabs/record_header_form.h"
#include "tabs/standards_dialog.h"
#include "tabs/standards_texts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

using record::Point;
using record::Text;

class TestRecordTab : public QObject
{
    Q_OBJECT
private slots:
    void skipTimeoutAndRepeat();
    void finishedCheckIsNeverRewritten();
    void typedNumbersInTheLocale();
    void expiredReferenceNeedsAReason();
    void instrumentListStartsACheck();
    void headerRemembered();
    void oneTransmitterPerCertificate();
    void unstoredCheckKeptAsDraft();
    void typedFolderMakesNoDatabase();
    void standardsThroughTheDialog();
    void decisionRuleChosen();
    void repeatsGiveThePointItsUncertainty();
};

namespace {

reg::LiveValues poll(std::optional<double> measured)
{
    reg::LiveValues v;
    v.measured = measured;
    return v;
}

template <class T = QLineEdit> T *in(QWidget &w, const char *name) { return w.findChild<T *>(name); }
void click(QWidget &w, const char *name) { in<QPushButton>(w, name)->click(); }
QString status(QWidget &tab) { return in<QLabel>(tab, "label_record_status")->text(); }

// A tab with a records folder, a reference due next year and `points` typed (no link).
void prepare(CalibrationRecordTab &tab, const QString &folder, const QString &points)
{
    in(tab, "lineEdit_record_folder")->setText(folder);
    in(tab, "lineEdit_record_points")->setText(points);
    in(tab, "lineEdit_record_serial")->setText("SN-1");
    in<QDateEdit>(tab, "dateEdit_record_due")->setDate(QDate::currentDate().addYears(1));
    in<QSpinBox>(tab, "spinBox_record_polls")->setValue(2);
    tab.setLanguage(2);
    tab.setCreateQuestion([](const QString &) { return true; });
    // The technician signs each check with their own key as it is stored.
    recordsfixture::signingArguments(recordsdb::defaultDataFolder());   // enrolled without opening a database
    in(tab, "lineEdit_record_signer")->setText("J. Chen");
    in(tab, "lineEdit_record_signer_passphrase")->setText(recordsfixture::kPassphrase);
}

// Measures the running point at `value`.
void measure(CalibrationRecordTab &tab, double value)
{
    // A passphrase opens one signing: the check stored when this point ends is signed with it.
    in(tab, "lineEdit_record_signer_passphrase")->setText(recordsfixture::kPassphrase);
    click(tab, "pushButton_record_measure");
    tab.onLiveValues(poll(value));
    tab.onLiveValues(poll(value));
}

} // namespace

void TestRecordTab::skipTimeoutAndRepeat()
{
    QTemporaryDir folder;
    rtu::Link link;
    CalibrationRecordTab tab(link);
    const auto find = [&](const char *name) { return tab.findChild<QPushButton *>(name); };
    prepare(tab, folder.path(), "0; 50; 100");
    tab.findChild<QSpinBox *>("spinBox_record_timeout")->setValue(5);
    find("pushButton_record_as_found")->click();
    const auto &points = tab.asFound()->points;

    tab.onLiveValues(poll(0.1));   // before Measure: not counted
    find("pushButton_record_measure")->click();
    tab.onLiveValues(poll(0.1));
    QCOMPARE(points[0].status, Point::Status::Pending);
    tab.onLiveValues(poll(0.1));
    QCOMPARE(points[0].status, Point::Status::Recorded);

    find("pushButton_record_skip")->click();
    QCOMPARE(points[1].status, Point::Status::Skipped);

    // Noise wider than the band until the timeout; a language switch meanwhile keeps the point.
    find("pushButton_record_measure")->click();
    tab.setLanguage(0);
    QTRY_VERIFY_WITH_TIMEOUT(points[2].status == Point::Status::NotStable, 8000);
    QCOMPARE(tab.findChild<QLabel *>("label_record_countdown")->text(),
             record::text(record::Text::NotStable, 0));
    tab.setLanguage(2);
    auto *table = tab.findChild<QTableWidget *>("tableWidget_record_as_found");
    QCOMPARE(table->item(1, record::ColResult)->text(), QStringLiteral("skipped"));
    QCOMPARE(table->item(2, record::ColResult)->text(), record::text(record::Text::NotStable, 2));

    find("pushButton_record_repeat")->click();
    find("pushButton_record_measure")->click();
    for (double v : {100.0, 101.0, 100.05, 100.0})
        tab.onLiveValues(poll(v));
    QCOMPARE(points[2].status, Point::Status::Recorded);
    QCOMPARE(points[2].reading, 100.025);   // the steady run's mean
    QVERIFY(!tab.checkRunning());
    // Saved, but a skipped point never makes a pass.
    QCOMPARE(record::verdict(*tab.asFound()), record::Verdict::Incomplete);
    QCOMPARE(tab.database()->list("SN-1")->size(), 1);
}

void TestRecordTab::finishedCheckIsNeverRewritten()
{
    QTemporaryDir folder;
    rtu::Link link;
    CalibrationRecordTab tab(link);
    prepare(tab, folder.path(), "500");
    click(tab, "pushButton_record_as_found");
    measure(tab, 503.0);
    const qint64 stored = tab.asFound()->id;
    QVERIFY(!tab.checkRunning() && stored > 0);
    QVERIFY(in(tab, "lineEdit_record_signer_passphrase")->text().isEmpty());   // it signed once

    // Repeat on the finished row, and a typed current: refused without a reason.
    auto *table = in<QTableWidget>(tab, "tableWidget_record_as_found");
    table->selectRow(0);
    click(tab, "pushButton_record_repeat");
    QVERIFY(!tab.checkRunning());
    QCOMPARE(status(tab), record::text(Text::FinishedUnchanged, 2));
    table->item(0, record::ColMeasuredMa)->setText("12.000");
    QVERIFY(!tab.asFound()->points[0].currentMa);

    // With a reason the correction is a new version; the first reading stays on file.
    in(tab, "lineEdit_record_amend_reason")->setText("calibrator was still settling");
    click(tab, "pushButton_record_repeat");
    measure(tab, 500.1);
    const auto list = *tab.database()->list("SN-1");
    QCOMPARE(list.size(), 2);
    QCOMPARE(list[0].record.points[0].reading, 503.0);
    QCOMPARE(list[0].supersededBy, list[1].record.id);
    QCOMPARE(list[1].record.amendment->supersedes, stored);
    QCOMPARE(list[1].record.points[0].reading, 500.1);
}

void TestRecordTab::typedNumbersInTheLocale()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QTemporaryDir folder;
    rtu::Link link;
    CalibrationRecordTab tab(link);
    prepare(tab, folder.path(), "0; 12,5; 25");
    click(tab, "pushButton_record_as_found");
    QCOMPARE(tab.asFound()->points[1].reference, 12.5);
    auto *table = in<QTableWidget>(tab, "tableWidget_record_as_found");
    table->item(0, record::ColMeasuredMa)->setText("4,004");
    QCOMPARE(tab.asFound()->points[0].currentMa, std::optional<double>(4.004));
    table->item(1, record::ColMeasuredMa)->setText("4.0.1");   // refused with a word, not cleared
    QVERIFY(!tab.asFound()->points[1].currentMa);
    QCOMPARE(status(tab), record::text(Text::BadNumber, 2).arg("4.0.1"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    prepare(tab, folder.path(), "0; 12,5; 25");   // refused, the check running stays
    click(tab, "pushButton_record_as_found");
    QCOMPARE(status(tab), record::text(Text::BadPoints, 2).arg("12,5"));
    QLocale::setDefault(QLocale::c());
}

void TestRecordTab::expiredReferenceNeedsAReason()
{
    QTemporaryDir folder;
    rtu::Link link;
    CalibrationRecordTab tab(link);
    prepare(tab, folder.path(), "0; 50");
    auto *due = in<QDateEdit>(tab, "dateEdit_record_due");
    due->setDate(due->minimumDate());   // not given
    click(tab, "pushButton_record_as_found");
    QCOMPARE(status(tab), record::text(Text::DueMissing, 2));
    due->setDate(QDate::currentDate().addDays(-3));
    click(tab, "pushButton_record_as_found");
    QVERIFY(!tab.asFound());
    QVERIFY(status(tab).contains(due->date().toString(Qt::ISODate)));
    in(tab, "lineEdit_record_override")->setText("checked against a second calibrator");
    click(tab, "pushButton_record_as_found");
    QCOMPARE(tab.asFound()->header.referenceOverride, QStringLiteral("checked against a second calibrator"));
}

void TestRecordTab::instrumentListStartsACheck()
{
    QTemporaryDir folder;
    rtu::Link link;
    CalibrationRecordTab tab(link);
    prepare(tab, folder.path(), "0");
    recordsdb::InstrumentRegister reg(*tab.database());
    QVERIFY(reg.save({"TT-7", "SN-77", "Kiln exit", "Kiln 2", "Type K", -20.0, 780.0, "°C", 12, "in service"}));
    QVERIFY(reg.save({"TT-8", "SN-88", "Dryer", "Dryer 1", "Type J", 0.0, 400.0, "°C", 12, "spare"}));
    // Calibrated 13 months ago on a 12-month interval: overdue, and shown so; a
    // failed as-left check since does not restart the interval.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QVERIFY(tab.database()->append(recordedCheck("SN-77", record::Stage::AsLeft, now.addMonths(-13), 0.1),
                                   recordsfixture::performer(*tab.database())));
    QVERIFY(tab.database()->append(recordedCheck("SN-77", record::Stage::AsLeft, now.addMonths(-1), 0.9),
                                   recordsfixture::performer(*tab.database())));
    click(tab, "pushButton_record_instruments");
    auto *dialog = tab.findChild<InstrumentListDialog *>();
    auto *table = in<QTableWidget>(*dialog, "tableWidget_instruments");
    // Never calibrated here: flagged.
    QVERIFY(table->item(1, 7)->text().endsWith(record::text(Text::NeverCalibrated, 2)));
    QVERIFY(table->item(1, 0)->background().style() != Qt::NoBrush);
    // Every field survives a save from the form.
    table->selectRow(1);
    QCOMPARE(in<QComboBox>(*dialog, "comboBox_instrument_status")->currentText(), QStringLiteral("spare"));
    in<QComboBox>(*dialog, "comboBox_instrument_unit")->setCurrentText("°F");
    click(*dialog, "pushButton_instrument_save");
    const auto saved = reg.find("TT-8");
    QCOMPARE(saved->instrument.unit, QStringLiteral("°F"));
    QCOMPARE(saved->instrument.status, QStringLiteral("spare"));
    QCOMPARE(saved->instrument.location, QStringLiteral("Dryer 1"));
    QCOMPARE(saved->instrument.inputType, QStringLiteral("Type J"));
    in(*dialog, "lineEdit_instrument_search")->setText("kiln");
    QCOMPARE(table->rowCount(), 1);
    QVERIFY(table->item(0, 7)->text().endsWith(record::text(Text::Overdue, 2)));
    QVERIFY(table->item(0, 0)->background().style() != Qt::NoBrush);
    table->selectRow(0);
    click(*dialog, "pushButton_instrument_start");
    QCOMPARE(in(tab, "lineEdit_record_points")->text(), QStringLiteral("-20.0; 180.0; 380.0; 580.0; 780.0"));
    click(tab, "pushButton_record_as_found");
    QCOMPARE(tab.asFound()->header.serial, QStringLiteral("SN-77"));
    QCOMPARE(tab.asFound()->header.inputType, QStringLiteral("Type K"));
}

void TestRecordTab::headerRemembered()
{
    QCoreApplication::setOrganizationName(QStringLiteral("TCal-test-record-tab"));
    QSettings().clear();
    QTemporaryDir folder;
    rtu::Link link;
    {
        CalibrationRecordTab tab(link);
        tab.rememberHeader();
        prepare(tab, folder.path(), "0");
        in(tab, "lineEdit_record_technician")->setText("J. Chen");
        in(tab, "lineEdit_record_reference")->setText("Calibrator 7");
        click(tab, "pushButton_record_as_found");
    }
    CalibrationRecordTab again(link);
    again.rememberHeader();
    QCOMPARE(in(again, "lineEdit_record_technician")->text(), QStringLiteral("J. Chen"));
    QCOMPARE(in(again, "lineEdit_record_reference")->text(), QStringLiteral("Calibrator 7"));
    QSettings().clear();
}

// The database cannot be opened when the check ends (its file is a folder):
// the check is kept as a draft and the tab says so; Store drafts stores it once
// the database can be had, and the check gets its number.
void TestRecordTab::unstoredCheckKeptAsDraft()
{
    QTemporaryDir folder;
    QVERIFY(QDir(folder.path()).mkdir("records.sqlite"));
    rtu::Link link;
    CalibrationRecordTab tab(link);
    prepare(tab, folder.path(), "500");
    click(tab, "pushButton_record_as_found");
    measure(tab, 500.0);
    QCOMPARE(tab.asFound()->id, 0);
    QVERIFY2(status(tab).startsWith("Not stored yet"), qPrintable(status(tab)));
    QVERIFY(QDir(folder.path()).rmdir("records.sqlite"));
    click(tab, "pushButton_record_store_drafts");
    QCOMPARE(status(tab), QStringLiteral("Drafts waiting: 0 "));
    QCOMPARE(tab.asFound()->id, 1);
}

// A folder typed (mistyped) and left: the history is read where a database is,
// and none is made where none is; an empty folder never gets one either.
void TestRecordTab::typedFolderMakesNoDatabase()
{
    QTemporaryDir folder;
    rtu::Link link;
    CalibrationRecordTab tab(link);
    prepare(tab, folder.filePath("typo"), "500");
    for (const QString &typed : {folder.filePath("typo"), folder.filePath("typo2"), QString()}) {
        in(tab, "lineEdit_record_folder")->setText(typed);
        emit in(tab, "lineEdit_record_folder")->editingFinished();
    }
    QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    QVERIFY(!tab.database());   // empty: refused, not the working directory
    QVERIFY(!QFile::exists("records.sqlite"));
    QVERIFY2(status(tab).contains("no records folder"), qPrintable(status(tab)));

    // A store asks before it makes one, names the folder, and a No makes nothing.
    QStringList asked;
    bool answer = false;
    tab.setCreateQuestion([&](const QString &question) { asked << question; return answer; });
    in(tab, "lineEdit_record_folder")->setText(folder.filePath("typo"));
    QVERIFY(!tab.database());
    QCOMPARE(asked.size(), 1);
    QVERIFY2(asked.first().contains(folder.filePath("typo")), qPrintable(asked.first()));
    QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    QVERIFY2(status(tab).contains("No database was created"), qPrintable(status(tab)));
    answer = true;
    QVERIFY(tab.database());
    QVERIFY(tab.database());   // made once, then opened without asking
    QCOMPARE(asked.size(), 2);
    QVERIFY(QFile::exists(recordsdb::sqliteIn(folder.filePath("typo")).sqliteFile));
}

// As found on SN-1, the serial then changed to SN-2 before the as-left check:
// the certificate is refused with the reason, and no file, draft or number made.
// Then SN-1 again, with the receipt's elements typed in the details: a date
// that is not one keeps the dialog open, an item received after its
// calibration is refused, and the certificate prints what was typed.
void TestRecordTab::oneTransmitterPerCertificate()
{
    QCoreApplication::setOrganizationName(QStringLiteral("TCal-test-record-tab"));
    QTemporaryDir folder;
    rtu::Link link;
    CalibrationRecordTab tab(link);
    prepare(tab, folder.path(), "0");
    click(tab, "pushButton_record_as_found");
    measure(tab, 0.1);
    in(tab, "lineEdit_record_serial")->setText("SN-2");
    click(tab, "pushButton_record_as_left");
    measure(tab, 0.0);
    click(tab, "pushButton_record_pdf");
    QVERIFY2(status(tab).contains("different transmitters: serial SN-1 and SN-2"), qPrintable(status(tab)));
    QCOMPARE(QDir(folder.path()).entryList({"*.pdf"}), QStringList());

    in(tab, "lineEdit_record_serial")->setText("SN-1");
    click(tab, "pushButton_record_as_left");
    measure(tab, 0.0);
    // The details typed, first with a date that is not one; what the dialog said to that.
    const auto typeDetails = [&](const QString &received) {
        QString said;
        QTimer::singleShot(0, [&] {
            QWidget &d = *QApplication::activeModalWidget();
            in(d, "lineEdit_details_place")->setText("Plant metrology lab, bench 3");
            in(d, "lineEdit_details_condition")->setText("Seal intact");
            in(d, "lineEdit_details_external")->setText("Ice point by Lab X");
            in<QCheckBox>(d, "checkBox_details_tag")->setChecked(true);
            QPushButton *ok = d.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
            for (const QString &date : {QStringLiteral("31.12.2026"), received}) {
                in(d, "lineEdit_details_received")->setText(date);
                ok->click();
                said += in<QLabel>(d, "label_details_problem")->text();
            }
        });
        click(tab, "pushButton_record_certificate_details");
        return said;
    };
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    QVERIFY(typeDetails(QDate::currentDate().addDays(1).toString(Qt::ISODate)).contains("such as 2026-12-01"));
    click(tab, "pushButton_record_pdf");
    QVERIFY2(status(tab).contains("is after the calibration on " + today), qPrintable(status(tab)));
    QCOMPARE(QDir(folder.path()).entryList({"*.pdf"}), QStringList());
    typeDetails(today);
    click(tab, "pushButton_record_pdf");   // not approved: a draft, with what was typed
    const QStringList drafts = QDir(folder.path()).entryList({"*_certificate-draft.pdf"});
    QCOMPARE(drafts.size(), 1);
    const QString text = pdfText(folder.filePath(drafts[0])).simplified();
    for (const QString &element : {QStringLiteral("Place of calibration Plant metrology lab, bench 3"), "Date of receipt " + today,
                                   QStringLiteral("Condition of the item on receipt Seal intact"),
                                   QStringLiteral("Results from external providers Ice point by Lab X"), QStringLiteral("tag *:")})
        QVERIFY2(text.contains(element), qPrintable(element + " in " + text));
    QSettings().clear();
}

// The Automatic calibration tab's Standards… button opens the register on the
// record tab's database: a save through the form is what the register finds,
// an expired standard is flagged, one without a certificate is refused.
void TestRecordTab::standardsThroughTheDialog()
{
    QTemporaryDir folder;
    rtu::Link link;
    CalibrationRecordTab records(link);
    prepare(records, folder.path(), "0");
    AutoCalibrationTab automatic(link);
    recordsdb::RecordDb *db = nullptr;
    automatic.setRecords([&] { return db; }, [&] { return folder.path(); });
    automatic.setLanguage(2);
    click(automatic, "pushButton_auto_standards");   // no database: nothing opens
    QVERIFY(!automatic.findChild<StandardsDialog *>());

    db = records.database();
    recordsdb::StandardsRegister reg(*db);
    const QDate today = QDate::currentDate();
    QVERIFY(reg.save({"CAL-1", "Calibrator", "bench", "C-1", today.addYears(-1), today.addDays(-1), "in service"}));
    click(automatic, "pushButton_auto_standards");
    auto *dialog = automatic.findChild<StandardsDialog *>();
    QVERIFY(dialog);
    auto *table = in<QTableWidget>(*dialog, "tableWidget_standards");
    const QString overdue = standardstext::text(standardstext::Text::Overdue, 2);
    QCOMPARE(table->rowCount(), 1);
    QVERIFY(table->item(0, 6)->text().endsWith(overdue));
    QVERIFY(table->item(0, 0)->background().style() != Qt::NoBrush);

    // Recalibrated: a new state of the chosen row, the rest carried over.
    table->selectRow(0);
    in(*dialog, "lineEdit_standard_certificate")->setText("C-2");
    in<QDateEdit>(*dialog, "dateEdit_standard_calibrated")->setDate(today);
    in<QDateEdit>(*dialog, "dateEdit_standard_due")->setDate(today.addYears(1));
    click(*dialog, "pushButton_standard_save");
    const auto saved = reg.find("CAL-1");
    QVERIFY(saved);
    QCOMPARE(saved->certificate, QStringLiteral("C-2"));
    QCOMPARE(saved->model, QStringLiteral("Calibrator"));
    QCOMPARE(saved->due, today.addYears(1));
    QVERIFY(!recordsdb::standardRefusal(saved, "CAL-1", today));
    QVERIFY(!table->item(0, 6)->text().endsWith(overdue));
    QCOMPARE(table->item(0, 0)->background().style(), Qt::NoBrush);

    // A new one without a certificate: the register's refusal shown, nothing stored.
    click(*dialog, "pushButton_standard_new");
    in(*dialog, "lineEdit_standard_serial")->setText("DMM-2");
    in<QDateEdit>(*dialog, "dateEdit_standard_due")->setDate(today.addYears(1));
    click(*dialog, "pushButton_standard_save");
    QVERIFY(!reg.find("DMM-2"));
    QVERIFY(in<QLabel>(*dialog, "label_standard_message")->text().contains("certificate"));
    QCOMPARE(reg.list().size(), 1);
    QCOMPARE(table->rowCount(), 1);

    // Certificate terms as tcal-cli takes them: stored with the standard, kept
    // by its next state, and a row that is not whole refuses the save.
    table->selectRow(0);
    auto *terms = in<QTableWidget>(*dialog, "tableWidget_standard_terms");
    const auto type = [&](int row, const QStringList &cells) {
        for (int c = 0; c < cells.size(); ++c)
            terms->setItem(row, c, new QTableWidgetItem(cells[c]));
    };
    type(0, {"0.004", "2", "0.001", "0.002"});
    click(*dialog, "pushButton_standard_save");
    QVERIFY(reg.find("CAL-1")->terms.contains("mV") && reg.find("CAL-1")->terms["mV"].expanded == 0.004);
    in(*dialog, "lineEdit_standard_certificate")->setText("C-3");
    type(2, {"0.01", "0", "", ""});
    click(*dialog, "pushButton_standard_save");
    QCOMPARE(reg.find("CAL-1")->certificate, QStringLiteral("C-2"));
    QVERIFY(in<QLabel>(*dialog, "label_standard_message")->text().contains("mA"));
    type(2, {"", "", "", ""});
    click(*dialog, "pushButton_standard_save");
    QVERIFY(reg.find("CAL-1")->certificate == "C-3" && reg.find("CAL-1")->terms.keys() == QStringList{"mV"});
}

// The rule and guard factor chosen on the form judge the check's points: an
// error of 0.45 within 0.5, U 0.1, passes simply and fails a guard of 1·U.
void TestRecordTab::decisionRuleChosen()
{
    RecordHeaderForm form;
    form.applyTexts(2);
    auto *rule = in<QComboBox>(form, "comboBox_record_decision_rule");
    auto *guard = in<QDoubleSpinBox>(form, "spinBox_record_guard_factor");
    in(form, "lineEdit_record_uncertainty")->setText("0.1");
    QCOMPARE(rule->currentText(), QStringLiteral("guarded acceptance"));
    record::Point p;
    p.reference = 50.0;
    p.reading = 50.45;
    p.status = Point::Status::Recorded;
    const QVector<std::tuple<int, double, bool>> cases = {{0, 1.0, true}, {1, 1.0, false}, {1, 0.4, true}};
    for (const auto &[kind, r, passes] : cases) {
        rule->setCurrentIndex(kind);
        guard->setValue(r);
        const record::Header h = form.header(0);
        QCOMPARE(int(h.decisionRule.kind), kind);
        QCOMPARE(record::figures(p, h).passed, passes);
    }
    rule->setCurrentIndex(0);
    QVERIFY(!guard->isEnabled());
}

// Two repeats a point: the first settled reading leaves the point waiting for
// the reference set again; the second records their mean, judged with the
// header's U combined with their repeatability (one degree of freedom).
void TestRecordTab::repeatsGiveThePointItsUncertainty()
{
    QTemporaryDir folder;
    rtu::Link link;
    CalibrationRecordTab tab(link);
    prepare(tab, folder.path(), "100");
    in(tab, "lineEdit_record_uncertainty")->setText("0.1");
    in<QSpinBox>(tab, "spinBox_record_repeats")->setValue(2);
    click(tab, "pushButton_record_as_found");
    measure(tab, 100.0);
    QVERIFY(tab.checkRunning() && tab.asFound()->points[0].status == Point::Status::Pending);
    measure(tab, 100.2);
    const Point &p = tab.asFound()->points[0];
    QVERIFY(!tab.checkRunning() && p.status == Point::Status::Recorded && qAbs(p.reading - 100.1) < 1e-9);
    // u = 0.05 (U/2) and s/sqrt(2) = 0.1: u_c = 0.1118, nu_eff = u_c^4 / 0.1^4 = 1.5625, k = t(1.56) > 4.
    QVERIFY(p.uncertainty && p.uncertainty->budget.size() == 2);
    QCOMPARE(p.uncertainty->budget[1].degreesOfFreedom, 1.0);
    QVERIFY(qAbs(p.uncertainty->effectiveDegreesOfFreedom - 1.5625) < 1e-6 && p.uncertainty->coverageFactor > 4.0);
    QVERIFY(qAbs(p.uncertainty->expanded - p.uncertainty->coverageFactor * std::sqrt(0.0125)) < 1e-9);
    QCOMPARE(tab.database()->list("SN-1")->last().record.points[0].uncertainty->expanded, p.uncertainty->expanded);
}

QTEST_MAIN(TestRecordTab)
#include "test_record_tab.moc"
