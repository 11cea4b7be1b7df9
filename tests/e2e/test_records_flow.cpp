// The laboratory's day in the real window: the demo's transmitter, its tag
// and serial already in the Automatic calibration tab, calibrated on the
// first press of Start against the simulated calibrator and meter, then
// reviewed, approved, issued and opened from the Records tab. The next run
// is stopped by SIGTERM in its adjustment and ends safely before the window closes.

#include "lab_bench.h"
#include "records_fixture.h"
#include "records_flow.h"
#include "records_db/standards_register.h"
#include "record/certificate.h"
#include "tabs/auto_calibration_tab.h"
#include "window/close_on_signal.h"
#include "window_session.h"

#include <csignal>

#include <QtTest>

class TestRecordsFlow : public QObject
{
    Q_OBJECT
private slots:
    // Settings, keyring and noted heads of its own, never the user's.
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_settings.filePath("data")));
    }
    void fromTheDemoToAnOpenedCertificate();
    void aRunStoppedBySigtermEndsSafely();   // on the same window and laboratory
    void cleanupTestCase() { m_scpi.reset(), m_session.reset(); }

private:
    QTemporaryDir m_settings;
    QTemporaryDir m_records;
    std::unique_ptr<WindowSession> m_session;
    std::unique_ptr<sim::ScpiLab> m_scpi;
};

void TestRecordsFlow::fromTheDemoToAnOpenedCertificate()
{
    QSettings().setValue("automatic/points", "0%,50%,100%");
    QSettings().setValue("record/header/lineEdit_record_laboratory", "Plant metrology lab");
    record::writeIssuer(*std::make_unique<QSettings>(), {"Lab road 1", "Plant", "Plant road 2"});
    qputenv("TCAL_DEMO_TAG", "TT-DEMO");
    qputenv("TCAL_DEMO_SERIAL", "SIM-0001");
    m_session = std::make_unique<WindowSession>(line::onLine(4800));
    WindowSession &s = *m_session;
    s.window.show();
    qunsetenv("TCAL_DEMO_TAG");
    qunsetenv("TCAL_DEMO_SERIAL");
    s.sim().setCurves(sim::model::Curves::Standard);
    s.sim().setInputError(1.002, 0.03);
    m_scpi = std::make_unique<sim::ScpiLab>(s.sim());
    sim::ScpiLab &scpi = *m_scpi;
    QVERIFY(scpi.serve("tcp:127.0.0.1:0"));
    QVERIFY(s.connectToSimulator());
    s.ui()->comboBox_sel_language->setCurrentIndex(2);
    s.probe.recordTab()->setCreateQuestion([](const QString &) { return true; });
    s.window.findChild<QLineEdit *>("lineEdit_record_folder")->setText(m_records.path());
    recordsdb::RecordDb *db = s.probe.recordTab()->database();
    QVERIFY(db);
    QVERIFY(recordsfixture::trustOwnKey(*db));   // the laboratory trusts this workstation, as run.sh does
    for (const auto &[name, role] : {std::pair{"J. Chen", "performs"}, {"M. Zhou", "reviews"}, {"L. Wang", "approves"}})
        recordsfixture::person(*db, name, {role});
    // The technician who performs the run, as the record tab names them.
    s.window.findChild<QLineEdit *>("lineEdit_record_signer")->setText("J. Chen");
    s.window.findChild<QLineEdit *>("lineEdit_record_signer_passphrase")->setText(recordsfixture::kPassphrase);
    recordsdb::StandardsRegister standards(*db);
    const QDate due = QDate::currentDate().addYears(1);
    QVERIFY(standards.save(lab::standard(lab::kSourceSerial, "Generic SCPI calibrator", due)));
    QVERIFY(standards.save(lab::standard(lab::kMeterSerial, "Generic SCPI meter", due)));
    auto *automatic = s.window.findChild<AutoCalibrationTab *>();
    automatic->setAddresses(QStringLiteral("tcp:127.0.0.1:%1").arg(scpi.port(sim::Instrument::Source)),
                            QStringLiteral("tcp:127.0.0.1:%1").arg(scpi.port(sim::Instrument::Meter)));
    s.ui()->tabWidget_main->setCurrentWidget(automatic);
    QVERIFY(s.idle());
    automatic->start();   // the first press; the run goes on past the slot
    QTRY_VERIFY2_WITH_TIMEOUT(automatic->resultText().startsWith("as-left check passed"), qPrintable(automatic->resultText()),
                              240000);

    auto *view = s.window.findChild<RecordsView *>();
    QString opened;
    view->setOpener([&](const QString &path) { return opened = path, true; });
    // The run's checks are in the view as they are stored, as one calibration, before it is ever shown.
    QVERIFY(!view->isVisible());
    QCOMPARE(view->model().rows().size(), 1);
    QCOMPARE(view->model().rows().first().checks().size(), 2);
    // The run's result links to its row: the view shown with that calibration selected.
    auto *link = automatic->findChild<QPushButton *>("pushButton_auto_open_records");
    QVERIFY2(link->isEnabled(), qPrintable(link->toolTip()));
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(s.ui()->tabWidget_main->currentWidget(), view);
    const QModelIndexList chosen = view->findChild<QTableView *>("tableView_records")->selectionModel()->selectedRows();
    QVERIFY(chosen.size() == 1 && chosen.first().siblingAtColumn(RecordsModel::Serial).data().toString() == "SIM-0001");
    QString why;
    const int actions = recordsflow::toOpenedCertificate(*view, "M. Zhou", "L. Wang", recordsfixture::kPassphrase, why);
    qInfo("from a finished automatic run to an opened certificate: %d user actions", actions);
    QVERIFY2(actions > 0 && actions <= 8, qPrintable(why));
    QFile pdf(opened);
    QVERIFY(pdf.open(QIODevice::ReadOnly) && pdf.read(4) == "%PDF");
    QCOMPARE(view->model().rows().first().serial(), QStringLiteral("SIM-0001"));
}

void TestRecordsFlow::aRunStoppedBySigtermEndsSafely()
{
    QVERIFY(m_session && m_scpi);
    WindowSession &s = *m_session;
    sim::ScpiLab &scpi = *m_scpi;
    auto *automatic = s.window.findChild<AutoCalibrationTab *>();
    // The next run, SIGTERM'd as the program wires it once the adjustment sources (sent
    // from inside the run's waits, which serve the event loop): safe end, then the window closes.
    auto *passphrase = s.window.findChild<QLineEdit *>("lineEdit_record_signer_passphrase");
    QVERIFY(passphrase->text().isEmpty());   // the run's start used it up
    passphrase->setText(recordsfixture::kPassphrase);
    s.sim().setInputError(1.004, 0.05);
    platform::TerminationSignal stop;
    closeOnTermination(stop, s.window);
    QElapsedTimer clock;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        if (!clock.isValid() && s.sim().workMode() != 0 && scpi.sourceState().outputOn)
            clock.start(), ::raise(SIGTERM);
    });
    watch.start(10);
    automatic->start();
    QTRY_VERIFY2_WITH_TIMEOUT(clock.isValid(), qPrintable(automatic->resultText()), 200000);
    QTRY_VERIFY_WITH_TIMEOUT(!s.window.isVisible(), 60000);
    qInfo("SIGTERM in the adjustment: run ended safely, window closed %lld ms later", clock.elapsed());
    QVERIFY(clock.elapsed() < 30000 && stop.caught());
    QVERIFY(s.sim().workMode() == 0 && !scpi.sourceState().outputOn);
    const std::vector<uint16_t> ram = s.sim().holdingImage(), kept = s.sim().storedImage();
    for (int r : {7, 11, 12, 13, 15, 16, 17, 18, 19, 20, 21, 22})   // nothing half stored
        QVERIFY2(ram[size_t(r)] == kept[size_t(r)], qPrintable(QString::number(r)));
    QVERIFY2(automatic->resultText().startsWith("aborted: the window was closed"), qPrintable(automatic->resultText()));
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // Two real runs on a 4800 baud line: under the sanitizers, beside the rest of
    // the suite on a loaded machine, one function can take more than QtTest's 300 s.
    if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT", "900000");
    TestRecordsFlow test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_records_flow.moc"
