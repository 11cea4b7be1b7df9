// Screenshots of the window in its three languages, connected to a simulated
// transmitter so the live values show, then a whole calibration record session
// (as found with an injected error, thermocouple calibration, as left) for the
// record tab's screenshot and the sample certificate, the configuration tab
// comparing the transmitter with a file, then the Trend tab after a ramp and the
// Traffic tab after a few injected faults, and the Batch tab after a batch on the
// simulated batch laboratory. Run under Xvfb by scripts/screenshots.sh.
//
//   tcal-screenshots OUTPUT_DIR [SAMPLE_DIR]

#include "record/certificate.h"
#include "record/number_input.h"
#include "record/record_store.h"
#include "records_db/approvals.h"
#include "records_db/certificate_store.h"
#include "record/record_table.h"
#include "record_driver.h"
#include "records_fixture.h"
#include "simulator_fixture.h"
#include "records_db/persons.h"
#include "records_db/standards_register.h"
#include "scpi_server.h"
#include "batch_bench.h"
#include "tabs/auto_calibration_tab.h"
#include "tabs/batch_tab.h"
#include "tabs/configuration_tab.h"
#include "tabs/due_list.h"
#include "tabs/records_view.h"
#include "tabs/instrument_list.h"
#include "widget_probe.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QJsonDocument>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

bool save(QWidget &window, const QString &file)
{
    if (!window.grab().save(file)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

// The window's own thermocouple calibration, the simulator acting as the mV source.
bool calibrateThermocouple(Ui::Widget *ui, WidgetProbe &probe, sim::Simulator &sim)
{
    ui->pushButton_tc_calib_2->click();
    if (!QTest::qWaitFor([&] { return probe.workGroup() == 2; }, 10000))
        return false;
    sim.setAppliedMillivolts(50.0);
    ui->commandLinkButton_tc_50mV->click();
    sim.setAppliedMillivolts(0.0);
    ui->commandLinkButton_tc_0mV->click();
    ui->pushButton_tc_write->click();
    ui->pushButton_tc_calib_2->click();
    return QTest::qWaitFor([&] { return probe.workGroup() == 0; }, 10000);
}

// A few registered transmitters, one calibrated 13 months ago on a yearly
// interval (overdue), one due within the month, and the one just calibrated.
bool instrumentList(CalibrationRecordTab *tab, const QString &shots)
{
    recordsdb::RecordDb *db = tab->database();
    if (!db)
        return false;
    recordsdb::InstrumentRegister reg(*db);
    const QList<recordsdb::Instrument> instruments = {
        {"TT-204", "SN-7001", "Furnace zone 2", "Kiln hall, north wall", "Type K", -20.0, 800.0, "°C", 12, "in service"},
        {"TT-118", "SN-5120", "Boiler feed water", "Boiler house", "Pt100", 0.0, 200.0, "°C", 12, "in service"},
        {"TT-311", "SN-6633", "Dryer exhaust", "Dryer 1", "Type J", 0.0, 400.0, "°C", 6, "in service"},
        {"TT-402", "SN-7410", "Spare, bench stock", "Workshop store", "Type K", 0.0, 1200.0, "°C", 24, "spare"}};
    for (const auto &i : instruments) {
        if (!reg.save(i))
            return false;
    }
    // The demo's technician, enrolled with a passphrase of the screenshots' own when not yet.
    recordsdb::Persons persons(*db);
    persons.enrol(QStringLiteral("L. Chen"), recordsdb::personRoles(), "screenshots passphrase");
    const auto technician = persons.unlock(QStringLiteral("L. Chen"), "screenshots passphrase");
    if (!technician)
        return false;
    // Earlier calibrations come in as a laboratory's older files do: imported, their own dates kept.
    QTemporaryDir history;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const auto &[serial, started] : {std::pair{"SN-5120", now.addMonths(-13)}, std::pair{"SN-6633", now.addMonths(-6).addDays(12)}}) {
        record::Header h;
        h.serial = QLatin1String(serial);
        h.referenceDue = now.date().addYears(1);
        record::Record r = record::newRecord(h, record::Stage::AsLeft, {50.0}, started);
        r.points[0].status = record::Point::Status::Recorded;   // complete and passed: the interval counts from it
        r.points[0].reading = 50.1;
        r.points[0].time = started.addSecs(60);
        if (record::save(r, history.path()).isEmpty())
            return false;
    }
    // Two earlier calibrations of SN-7001 at the same points: its drift chart shows a trend.
    for (int years : {2, 1}) {
        record::Record earlier = *tab->asFound();
        earlier.started = earlier.started.addYears(-years);
        for (record::Point &p : earlier.points)
            p.reading = p.reference + (p.reading - p.reference) * (years == 2 ? 0.2 : 0.55);
        if (record::save(earlier, history.path()).isEmpty())
            return false;
    }
    const recordsdb::ImportReport imported = db->importFolder(history.path(), *technician);
    if (imported.imported != 4) {
        std::fprintf(stderr, "history not imported: %s %s\n", qPrintable(imported.refused), qPrintable(imported.unreadable.join("; ")));
        return false;
    }
    // An imported as-left check counts for the due date once reviewed and approved here.
    recordsdb::Approvals approvals(*db);
    for (const char *serial : {"SN-5120", "SN-6633"})
        for (const recordsdb::StoredRecord &r : db->list(QLatin1String(serial)).value_or(QVector<recordsdb::StoredRecord>()))
            if (!approvals.sign(r.record.id, record::Signature::Meaning::Reviewed, recordsfixture::person(*db, "L. Wang"), "Quality engineer")
                || !approvals.sign(r.record.id, record::Signature::Meaning::Approved, recordsfixture::person(*db, "M. Zhou"), "Head of laboratory"))
                return std::fprintf(stderr, "history not approved: %s\n", qPrintable(approvals.error())), false;
    tab->findChild<QPushButton *>("pushButton_record_instruments")->click();
    auto *dialog = tab->findChild<InstrumentListDialog *>();
    if (!dialog)
        return false;
    // The transmitter just calibrated: its history and drift chart.
    dialog->findChild<QTableWidget *>(QStringLiteral("tableWidget_instruments"))->selectRow(1);
    QTest::qWait(800);
    const bool ok = save(*dialog, QDir(shots).filePath(QStringLiteral("instruments-en.png")));
    dialog->close();
    return ok;
}

// As found with a gain and offset error on the input, calibrate, as left; the
// tab's screenshot and the exported certificate and CSV as samples.
bool recordSession(Widget &window, WidgetProbe &probe, sim::Simulator &sim, const QString &shots,
                   const QString &samples)
{
    Ui::Widget *ui = probe.ui();
    ui->comboBox_sel_language->setCurrentIndex(2);
    ui->tabWidget_main->setCurrentWidget(probe.recordTab());
    // Out of the thermocouple mode the window shots were taken in.
    sim.setWorkMode(0);
    if (!QTest::qWaitFor([&] { return probe.workGroup() == 0; }, 10000))
        return false;
    sim.setInputError(1.002, 0.01);
    sim.setCurves(sim::model::Curves::Standard);
    QTemporaryDir folder;
    RecordDriver d(probe.recordTab(), sim);
    d.fillHeader(QStringLiteral("SN-7001"), folder.path(), 0.8, 3);
    // The technician and the two who sign after them, each with a key of their own.
    probe.recordTab()->setCreateQuestion([](const QString &) { return true; });
    if (recordsdb::RecordDb *db = probe.recordTab()->database())
        for (const char *name : {"J. Chen", "L. Wang", "M. Zhou"})
            recordsfixture::person(*db, QLatin1String(name));
    d.signAs(QStringLiteral("J. Chen"));
    d.click("pushButton_record_read_range");
    // 25 points: the certificate runs over more than one page.
    QVector<double> percents;
    for (int i = 0; i < 25; ++i)
        percents << i * 100.0 / 24;
    const auto *tab = probe.recordTab();
    d.type("lineEdit_record_points", record::pointsText(record::testPoints(
        {d.find<QDoubleSpinBox>("spinBox_record_lower")->value(), d.find<QDoubleSpinBox>("spinBox_record_upper")->value()},
        percents)));
    if (!d.runCheck(record::Stage::AsFound))
        return false;
    // The loop current a meter shows, typed in as each as-left point is recorded.
    auto *table = d.find<QTableWidget>("tableWidget_record_as_left");
    const auto typeCurrent = [&](int row) {
        table->item(row, record::ColMeasuredMa)->setText(QString::number(sim.loopCurrentMa(), 'f', 3));
        QTest::qWait(50);
    };
    if (!calibrateThermocouple(ui, probe, sim) || !d.runCheck(record::Stage::AsLeft, 30000, typeCurrent))
        return false;
    // The last one after the check had finished: an amendment with its reason.
    d.type("lineEdit_record_amend_reason", QStringLiteral("loop current of the last point read after the check"));
    d.typePassphrase();
    typeCurrent(tab->asLeft()->points.size() - 1);
    d.click("pushButton_record_csv");
    // Reviewed and approved by others than the technician, issued, then corrected
    // by a replacement; the sample is the replacement reprinted as a copy.
    QSettings settings;
    record::writeIssuer(settings, {QStringLiteral("12 Foundry Road, Wuxi"), QStringLiteral("Kiln Works Ltd"),
                                   QStringLiteral("3 Kiln Lane, Yixing")});
    auto *db = probe.recordTab()->database();
    if (!db || !tab->asFound() || !tab->asLeft())
        return false;
    recordsdb::Approvals approvals(*db);
    for (const qint64 n : {tab->asFound()->id, tab->asLeft()->id})
        if (!approvals.sign(n, record::Signature::Meaning::Reviewed, recordsfixture::person(*db, "L. Wang"), "Quality engineer")
            || !approvals.sign(n, record::Signature::Meaning::Approved, recordsfixture::person(*db, "M. Zhou"), "Head of laboratory"))
            return std::fprintf(stderr, "not approved: %s\n", qPrintable(approvals.error())), false;
    d.click("pushButton_record_pdf");
    // A reprint needs a chain that verifies: the laboratory trusts this bench's key.
    QString why;
    if (const auto key = recordsdb::SigningKey::load(db->settings().dataFolder, why))
        db->trust(key->publicKey(), QStringLiteral("screenshot bench"));
    recordsdb::CertificateStore store(*db);
    const auto replacement = store.issue({tab->asFound()->id, tab->asLeft()->id, 1, record::readIssuer(settings), 2, {}});
    const QByteArray copy = replacement ? store.reprint(replacement->content.number) : QByteArray();
    QFile copyFile(QDir(folder.path()).filePath(QStringLiteral("certificate-000002-copy.pdf")));
    if (copy.isEmpty() || !copyFile.open(QIODevice::WriteOnly) || copyFile.write(copy) != copy.size())
        return std::fprintf(stderr, "no replacement reprinted: %s\n", qPrintable(store.error())), false;
    copyFile.close();
    const QDir from(folder.path());
    for (const auto &[pattern, name] : {std::pair{"certificate-000002-copy.pdf", "calibration-certificate-sample.pdf"},
                                        std::pair{"*_record.csv", "calibration-record-sample.csv"}}) {
        const QStringList found = from.entryList({QLatin1String(pattern)});
        const QString target = QDir(samples).filePath(QLatin1String(name));
        // The old sample stays when there is no new one.
        if (found.isEmpty() || (QFile::exists(target) && !QFile::remove(target)) || !QFile::copy(from.filePath(found.first()), target)) {
            std::fprintf(stderr, "no %s: %s\n", pattern, qPrintable(d.find<QLabel>("label_record_status")->text()));
            return false;
        }
        std::printf("%s\n", qPrintable(target));
    }
    // At the window's default size: the checks, then certificates and history.
    window.resize(900, 687);
    auto *pages = probe.recordTab()->findChild<QTabWidget *>(QStringLiteral("tabWidget_record_pages"));
    pages->setCurrentIndex(1);
    QTest::qWait(1500);
    if (!save(window, QDir(shots).filePath(QStringLiteral("record-en.png"))))
        return false;
    pages->setCurrentIndex(2);
    QTest::qWait(800);
    if (!save(window, QDir(shots).filePath(QStringLiteral("record-certificates-en.png"))))
        return false;
    pages->setCurrentIndex(0);
    return instrumentList(probe.recordTab(), shots);
}

// A slow rise and fall of the thermocouple input, then a few faults on the line.
int diagnosticTabs(Widget &window, WidgetProbe &probe, sim::Simulator &sim, const QString &out)
{
    for (int step = 0; step < 40; ++step) {
        sim.setAppliedMillivolts(10.25 + 0.15 * (step < 25 ? step : 50 - step));
        QTest::qWait(500);
    }
    sim.setException(4, -1, 2);
    QTest::qWait(1000);
    sim.clearExceptions();
    sim.setSilent(true);
    QTest::qWait(1500);
    sim.setSilent(false);
    sim.setCorruptCrc(true);
    QTest::qWait(1500);
    sim.setCorruptCrc(false);
    QTest::qWait(1000);
    // Still, so the faults stay in view.
    probe.pollTimer()->stop();
    Ui::Widget *ui = probe.ui();
    if (QCheckBox *frames = window.findChild<TrafficTab *>()->findChild<QCheckBox *>())
        frames->setChecked(true);

    const char *names[] = {"zh-hans", "en"};
    const int languages[] = {0, 2};
    for (int i = 0; i < 2; ++i) {
        ui->comboBox_sel_language->setCurrentIndex(languages[i]);
        ui->tabWidget_main->setCurrentWidget(window.findChild<TrendTab *>());
        QTest::qWait(800);
        if (!save(window, QDir(out).filePath(QStringLiteral("trend-%1.png").arg(names[i]))))
            return 1;
        ui->tabWidget_main->setCurrentWidget(window.findChild<TrafficTab *>());
        QTest::qWait(800);
        if (!save(window, QDir(out).filePath(QStringLiteral("traffic-%1.png").arg(names[i]))))
            return 1;
    }
    return 0;
}

// The tab after a compare: the file saved first, then two fields changed on the transmitter.
int configurationShot(Widget &window, SimulatorFixture &fixture, const QString &out)
{
    auto *tab = window.findChild<ConfigurationTab *>();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("TT-101.json"));
    WidgetProbe(window).ui()->tabWidget_main->setCurrentWidget(tab);
    if (!tab || !tab->saveTo(file)) {
        std::fprintf(stderr, "the configuration tab could not save\n");
        return 1;
    }
    fixture.sim().setHolding(1, 8500);
    fixture.sim().setHolding(5, 4);
    tab->openFile(file);
    tab->compareWithDevice();
    QTest::qWait(500);
    return save(window, QDir(out).filePath(QStringLiteral("configuration-en.png"))) ? 0 : 1;
}

// An unattended run against the simulated laboratory: the tab when it is
// done, and its draft certificate as the sample with U per point.
int automaticShot(Widget &window, SimulatorFixture &fixture, const QString &out, const QString &samples)
{
    sim::Simulator &sim = fixture.sim();
    sim.setWorkMode(0);
    sim.setCurves(sim::model::Curves::Standard);
    // A transmitter that drifted since the record session's calibration: its
    // input stage now reads low and its zero offset is back to none.
    sim.setInputError(0.9975, -0.02);
    sim.setHolding(4, 0);
    CalibrationRecordTab *records = WidgetProbe(window).recordTab();
    records->setCreateQuestion([](const QString &) { return true; });   // the operator agrees
    recordsdb::RecordDb *db = records->database();
    recordsdb::StandardsRegister standards(*db);
    for (const auto &[serial, model] : {std::pair{"SC-0001", "Generic SCPI calibrator"}, std::pair{"SM-0001", "Generic SCPI meter"}}) {
        recordsdb::Standard s;
        s.serial = QString::fromLatin1(serial);
        s.model = QString::fromLatin1(model);
        s.certificate = QStringLiteral("DEMO-%1").arg(s.serial);
        s.calibrated = QDate::currentDate().addMonths(-4);
        s.due = QDate::currentDate().addYears(1);
        // What the standards' own certificates state: U at k = 2, correction, drift per year.
        if (s.serial == QLatin1String("SC-0001"))
            s.terms.insert(QStringLiteral("mV"), {0.003, 2.0, 0.001, 0.002});
        else
            s.terms.insert(QStringLiteral("mA"), {0.0008, 2.0, 0.0, 0.0005});
        standards.save(s);
    }
    // The procedure names its decision rule and the output's own tolerance.
    static QTemporaryDir procedures;
    const QString procedure = procedures.filePath(QStringLiteral("five-points.json"));
    QFile file(procedure);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write(R"({"name": "Five points over the range, ±1.0 °C, output ±0.030 mA",
        "points": [0, 25, 50, 75, 100], "tolerance": 1.0, "tolerance mA": 0.030,
        "decision rule": "guarded acceptance", "guard factor": 1,
        "stability": {"band": 0.1, "band mA": 0.005, "samples": 5, "interval ms": 500, "timeout s": 120},
        "adjust": "when failed", "room sensor limit": 0.2})");
    file.close();
    auto *tab = window.findChild<AutoCalibrationTab *>();
    WidgetProbe(window).ui()->tabWidget_main->setCurrentWidget(tab);
    tab->findChild<QLineEdit *>("lineEdit_auto_tag")->setText(QStringLiteral("TT-101"));
    tab->findChild<QLineEdit *>("lineEdit_auto_serial")->setText(QStringLiteral("SN-4711"));
    tab->findChild<QLineEdit *>("lineEdit_auto_procedure")->setText(procedure);
    // The technician unlocks their key for the run, once, at its start.
    records->findChild<QLineEdit *>("lineEdit_record_signer")->setText(QStringLiteral("J. Chen"));
    records->findChild<QLineEdit *>("lineEdit_record_signer_passphrase")->setText(QString::fromLatin1(recordsfixture::kPassphrase));
    tab->start();   // the run is the registry's: it ends after Start's slot has returned
    while (tab->running())
        QTest::qWait(100);
    QTest::qWait(500);
    if (tab->certificatePath().isEmpty()) {
        std::fprintf(stderr, "the automatic run did not finish: %s\n", qPrintable(tab->resultText()));
        return 1;
    }
    const QString sample = QDir(samples).filePath(QStringLiteral("automatic-certificate-sample.pdf"));
    QFile::remove(sample);
    if (!QFile::copy(tab->certificatePath(), sample))
        return 1;
    std::printf("%s\n", qPrintable(sample));
    return save(window, QDir(out).filePath(QStringLiteral("automatic-calibration-en.png"))) ? 0 : 1;
}

// The Batch tab after a batch of four thermocouple transmitters on the
// simulated batch laboratory: one far off as found, one whose line is dead.
int batchShot(Widget &window, const QString &out)
{
    batchlab::BatchBench bench(4, sim::UnitInput::Thermocouple, false);
    if (!bench.ready)
        return std::fprintf(stderr, "the batch laboratory did not start\n"), 1;
    bench.units.setErrors(3, {1.0, 0.05, {0.03, -0.04}});
    bench.units.unit(4).setSilent(true);
    static QTemporaryDir files;
    autocal::ChannelMap map;
    for (const autocal::BatchUnit &b : bench.batch)
        map.units << b.map;
    QFile file(files.filePath(QStringLiteral("tray-3.json")));
    QFile procedure(files.filePath(QStringLiteral("batch.json")));
    if (!file.open(QIODevice::WriteOnly) || !procedure.open(QIODevice::WriteOnly))
        return 1;
    file.write(QJsonDocument(autocal::channelMapToJson(map)).toJson());
    procedure.write(R"({"name": "Five points, ±0.5 °C", "points": [0, 25, 50, 75, 100], "tolerance": 0.5,
        "tolerance mA": 0.03, "adjust": "when failed",
        "stability": {"band": 0.2, "band mA": 0.004, "samples": 3, "interval ms": 300, "timeout s": 30}})");
    file.close();
    procedure.close();
    auto *tab = window.findChild<BatchTab *>();
    WidgetProbe(window).ui()->tabWidget_main->setCurrentWidget(tab);
    const auto at = [&](sim::Instrument i) { return QStringLiteral("tcp:127.0.0.1:%1").arg(bench.lab.port(i)); };
    tab->setAddresses(at(sim::Instrument::Source), at(sim::Instrument::Meter), at(sim::Instrument::Switch));
    tab->findChild<QLineEdit *>("lineEdit_batch_map")->setText(file.fileName());
    tab->findChild<QLineEdit *>("lineEdit_batch_procedure")->setText(procedure.fileName());
    window.findChild<QLineEdit *>("lineEdit_record_signer_passphrase")->setText(QString::fromLatin1(recordsfixture::kPassphrase));
    tab->start();
    while (tab->running())
        QTest::qWait(100);
    QTest::qWait(300);
    if (tab->certificatePath(1).isEmpty())
        return std::fprintf(stderr, "the batch did not finish: %s\n", qPrintable(tab->resultText())), 1;
    return save(window, QDir(out).filePath(QStringLiteral("batch-en.png"))) ? 0 : 1;
}

// The Records tab after the automatic run: its calibration reviewed through
// the signing dialog (shot while open), then the Due list of the register.
bool recordsShots(Widget &window, const QString &out)
{
    QTabWidget *tabs = WidgetProbe(window).ui()->tabWidget_main;
    auto *view = window.findChild<RecordsView *>();
    tabs->setCurrentWidget(view);
    QTest::qWait(300);
    view->findChild<QTableView *>(QStringLiteral("tableView_records"))->selectRow(0);
    bool signing = false;
    QTimer::singleShot(300, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        auto *person = dialog->findChild<QComboBox *>(QStringLiteral("comboBox_sign_person"));
        person->setCurrentIndex(person->findText(QStringLiteral("L. Wang")));   // the run was M. Zhou's
        dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit_sign_function"))->setText(QStringLiteral("Quality manager"));
        dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit_sign_passphrase"))->setText(QString::fromLatin1(recordsfixture::kPassphrase));
        QTest::qWait(200);
        signing = save(*dialog, QDir(out).filePath(QStringLiteral("signing-en.png")));
        dialog->accept();
    });
    view->findChild<QPushButton *>(QStringLiteral("pushButton_records_review"))->click();
    QTest::qWait(500);
    if (!signing || !save(window, QDir(out).filePath(QStringLiteral("records-en.png"))))
        return false;
    tabs->setCurrentWidget(window.findChild<DueList *>());
    window.findChild<QCheckBox *>(QStringLiteral("checkBox_due_all"))->setChecked(true);
    QTest::qWait(300);
    return save(window, QDir(out).filePath(QStringLiteral("due-list-en.png")));
}

} // namespace

int main(int argc, char **argv)
{
    // The shots' people, keys and records of their own, never the user's: a
    // keyring left by another session would sign with other roles.
    QTemporaryDir home;
    for (const char *variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
        qputenv(variable, QDir(home.path()).filePath(QLatin1String(variable)).toLocal8Bit());
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots");
    const QString samples = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("docs");
    QDir().mkpath(out);

    sim::Config config;
    config.baud = 9600;
    SimulatorFixture fixture(config);
    if (!fixture.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(fixture.errorString()));
        return 1;
    }
    fixture.sim().setAppliedMillivolts(10.25);
    fixture.sim().setWorkMode(2);
    // The simulated calibrator and meter, given to the Automatic calibration tab.
    sim::ScpiLab laboratory(fixture.sim());
    laboratory.setSeed(11);
    if (!laboratory.serve("tcp:127.0.0.1:0")) {
        std::fprintf(stderr, "the simulated laboratory did not start\n");
        return 1;
    }
    qputenv("TCAL_SOURCE", QStringLiteral("tcp:127.0.0.1:%1").arg(laboratory.port(sim::Instrument::Source)).toLocal8Bit());
    qputenv("TCAL_METER", QStringLiteral("tcp:127.0.0.1:%1").arg(laboratory.port(sim::Instrument::Meter)).toLocal8Bit());

    Widget window;
    WidgetProbe probe(window);
    Ui::Widget *ui = probe.ui();
    window.show();
    qputenv("TCAL_EXTRA_PORTS", fixture.toolPort().toLocal8Bit());
    ui->pushButton_com_ref->click();
    ui->comboBox_com_num->setCurrentIndex(ui->comboBox_com_num->findText(fixture.toolPort()));
    ui->comboBox_baudrate->setCurrentText(QStringLiteral("9600"));
    ui->pushButton_com_connect->click();
    if (!QTest::qWaitFor([&] { return probe.workGroup() == 2; }, 10000)) {
        std::fprintf(stderr, "the simulator did not answer\n");
        return 1;
    }
    ui->lineEdit_tc_50mV->setText(QString::number(fixture.sim().holding(15) * 65536 + fixture.sim().holding(16)));
    ui->lineEdit_tc_0mV->setText(QString::number(fixture.sim().holding(17) * 65536 + fixture.sim().holding(18)));

    const char *names[] = {"zh-hans", "zh-hant", "en"};
    for (int language = 0; language < 3; ++language) {
        ui->comboBox_sel_language->setCurrentIndex(language);
        QTest::qWait(1500);
        if (!save(window, QDir(out).filePath(QStringLiteral("window-%1.png").arg(names[language]))))
            return 1;
    }
    if (!recordSession(window, probe, fixture.sim(), out, samples)) {
        std::fprintf(stderr, "the calibration record session did not finish\n");
        return 1;
    }
    if (configurationShot(window, fixture, out) != 0)
        return 1;
    ui->comboBox_sel_language->setCurrentIndex(2);
    if (automaticShot(window, fixture, out, samples) != 0 || !recordsShots(window, out) || batchShot(window, out) != 0)
        return 1;
    return diagnosticTabs(window, probe, fixture.sim(), out);
}
