// The unattended calibration in a closed loop: the simulated calibrator drives
// the simulated transmitter's input and the simulated meter reads its loop
// current, at the pace of a real 4800 baud line. A transmitter with an input
// and an output error fails as found, is adjusted and passes as left; every
// way a run can end early leaves the source off, the transmitter in normal
// mode with nothing unstored in RAM, and the check kept as incomplete.

#include "records_fixture.h"
#include "records_db/approvals.h"
#include "lab_bench.h"

#include "core/registers.h"
#include "tabs/auto_calibration_tab.h"
#include "tabs/batch_tab.h"
#include "tabs/error_chart.h"
#include "window_session.h"
#include "record/calibration_record.h"

#include "shown_texts.h"

#include <QComboBox>
#include <QHeaderView>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QJsonObject>
#include <QProcess>
#include <QLabel>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

using lab::Bench;
using Outcome = autocal::RunResult::Outcome;
using Cause = autocal::RunResult::Cause;

namespace {

// The calibration words of the transmitter: input points and output points.
QVector<quint16> calibrationWords(const std::vector<uint16_t> &image)
{
    QVector<quint16> w;
    for (int a = reg::kMeasured4mA; a <= reg::kRtd200RPoint + 1; ++a)
        if (a != reg::kDeviceBaudRate && a != 14)
            w << image[size_t(a)];
    return w;
}

int writesTo(sim::Simulator &s)
{
    return s.requestCount(6) + s.requestCount(16);
}

} // namespace

class TestAutoCalibration : public QObject
{
    Q_OBJECT
private slots:
    // What the tab remembers stays in a folder of the test's own.
    void initTestCase() { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path()); }
    void failsAsFoundIsAdjustedPassesAsLeft();
    void endsSafely_data();
    void endsSafely();
    void expiredStandardIsRefusedBeforeAnythingIsSourced();
    void fromTheCommandLine();
    void decisionsARunCanDefend();
    void inTheWindow();
    void bothTabsFit();

private:
    QTemporaryDir m_settings;
};

void TestAutoCalibration::failsAsFoundIsAdjustedPassesAsLeft()
{
    Bench b;
    QVERIFY(b.ready);
    b.f.sim().setInputError(1.002, 0.03);
    const autocal::RunResult r = b.run(lab::quickPlan());
    QVERIFY2(r.outcome == Outcome::Passed, qPrintable(r.reason));
    QVERIFY(r.adjusted);
    QCOMPARE(record::verdict(*r.asFound), record::Verdict::Fail);
    QCOMPARE(record::verdict(*r.asLeft), record::Verdict::Pass);
    for (const record::Point &p : r.asLeft->points) {
        QVERIFY(p.uncertainty && p.uncertainty->expanded > 0.05 && p.uncertainty->expanded < 0.5);
        QVERIFY(p.uncertainty->coverageFactor >= 2.0);
        QVERIFY(qAbs(p.reading - p.reference) < 0.3);
        QVERIFY(qAbs(*p.currentMa - record::expectedCurrentMa(p.reference, r.asLeft->header.range)) < 0.005);
    }
    // Stored, adjusted and left as a transmitter should be.
    sim::Simulator &s = b.f.sim();
    QCOMPARE(s.workMode(), 0);
    QCOMPARE(calibrationWords(s.holdingImage()), calibrationWords(s.storedImage()));
    QVERIFY(!b.scpi.sourceState().outputOn);
    const auto stored = b.db.list(QStringLiteral("SN-4711"));
    QVERIFY(stored && stored->size() == 2);
    QCOMPARE(stored->at(1).record.instruments.size(), 2);
    QVERIFY(stored->at(1).record.header.referenceCertificate.startsWith("CAL-SC"));
    autocal::RunRecords records(&b.db, b.folder.path());
    const QString pdf = records.writeCertificateDraft(b.numbers.value(0), b.numbers.value(1), {}, 2);
    QVERIFY2(QFileInfo(pdf).size() > 1000, qPrintable(records.error()));
}

// What ends the run early, and when.
enum class Ending { Operator, InstrumentError, MeterSilent, PowerCycle, LinkLost };
Q_DECLARE_METATYPE(Ending)

void TestAutoCalibration::endsSafely_data()
{
    QTest::addColumn<Ending>("ending");
    QTest::addColumn<QString>("at");         // the adjustment step it happens at; empty: first as-found point
    QTest::addColumn<int>("cause");
    QTest::newRow("operator during as-found") << Ending::Operator << QString() << int(Cause::Stopped);
    QTest::newRow("source error between the input points")
        << Ending::InstrumentError << "input point 0 mV" << int(Cause::Instrument);
    QTest::newRow("meter silent at 20 mA") << Ending::MeterSilent << "output at 20 mA" << int(Cause::Instrument);
    QTest::newRow("power cycle between the input points")
        << Ending::PowerCycle << "input point 0 mV" << int(Cause::Transmitter);
    QTest::newRow("link lost during the output adjustment") << Ending::LinkLost << "output at 20 mA" << int(Cause::Link);
}

void TestAutoCalibration::endsSafely()
{
    QFETCH(Ending, ending);
    QFETCH(QString, at);
    QFETCH(int, cause);
    Bench b;
    QVERIFY(b.ready);
    sim::Simulator &s = b.f.sim();
    s.setInputError(1.002, 0.03);
    const QVector<quint16> before = calibrationWords(s.storedImage());
    autocal::AutoCalibration run(b.link, *b.source, *b.meter);
    auto strike = [&] {
        switch (ending) {
        case Ending::Operator: run.abort(QStringLiteral("stopped by the operator")); break;
        case Ending::InstrumentError: b.scpi.queueError(sim::Instrument::Source, -222); break;
        case Ending::MeterSilent: b.scpi.setSilent(sim::Instrument::Meter, true); break;
        case Ending::PowerCycle: s.powerCycle(); break;
        case Ending::LinkLost: b.link.close(); break;
        }
    };
    if (at.isEmpty())
        connect(&run, &autocal::AutoCalibration::pointRecorded, &run, [&](autocal::Phase, int i) {
            if (i == 0)
                strike();
        });
    else
        connect(&run, &autocal::AutoCalibration::adjustmentStep, &run, [&](const QString &step) {
            if (step == at)
                strike();
        });
    const autocal::RunResult r = b.run(lab::quickPlan(), &run);
    QCOMPARE(r.outcome, Outcome::Aborted);
    QCOMPARE(int(r.cause), cause);
    QVERIFY(!r.reason.isEmpty());
    QVERIFY(r.asFound);
    QVERIFY(!b.scpi.sourceState().outputOn);
    // Nothing of a half calibration in the stored image; RAM as stored, normal mode.
    if (ending != Ending::LinkLost && ending != Ending::MeterSilent)
        QCOMPARE(calibrationWords(s.storedImage()), before);
    if (ending != Ending::LinkLost) {
        QCOMPARE(calibrationWords(s.holdingImage()), calibrationWords(s.storedImage()));
        QCOMPARE(s.workMode(), 0);
    }
    if (ending == Ending::Operator)
        QCOMPARE(writesTo(s), 0);
    // The check in progress is kept, incomplete, with the reason.
    const auto stored = b.db.list(QStringLiteral("SN-4711"));
    QVERIFY(stored && !stored->isEmpty());
    const record::Record &last = stored->last().record;
    QCOMPARE(last.stage, at.isEmpty() ? record::Stage::AsFound : record::Stage::AsLeft);
    QVERIFY(last.incompleteReason.contains(r.reason));
    QCOMPARE(record::verdict(last), record::Verdict::Incomplete);
}

void TestAutoCalibration::expiredStandardIsRefusedBeforeAnythingIsSourced()
{
    Bench b;
    QVERIFY(b.ready);
    recordsdb::StandardsRegister standards(b.db);
    QVERIFY(standards.save(lab::standard(lab::kMeterSerial, "Generic SCPI meter", QDate::currentDate().addDays(-1))));
    const autocal::RunResult r = b.run(lab::quickPlan());
    QCOMPARE(r.outcome, Outcome::Refused);
    QVERIFY2(r.reason.contains("meter"), qPrintable(r.reason));
    QCOMPARE(b.scpi.sourceState().volts, 0.0);
    QVERIFY(!b.scpi.sourceState().outputOn);
    QCOMPARE(writesTo(b.f.sim()), 0);
    QVERIFY(b.db.list(QStringLiteral("SN-4711"))->isEmpty());
}

namespace {

QStringList cliArguments(Bench &b, const QStringList &more)
{
    return QStringList{"--port", b.f.toolPort(), "--baud", QString::number(b.f.config().baud), "calibrate", "auto",
                       "--source", QStringLiteral("tcp:127.0.0.1:%1").arg(b.scpi.port(sim::Instrument::Source)),
                       "--meter", QStringLiteral("tcp:127.0.0.1:%1").arg(b.scpi.port(sim::Instrument::Meter)),
                       "--records", b.folder.path(), "--serial", "SN-4711", "--json"}
        + recordsfixture::signingArguments(b.db) + more;
}

QVector<QJsonObject> jsonLines(const QByteArray &out)
{
    QVector<QJsonObject> lines;
    for (const QByteArray &line : out.split('\n'))
        if (!line.isEmpty())
            lines << QJsonDocument::fromJson(line).object();
    return lines;
}

} // namespace

// tcal-cli runs the same run from a procedure file, one JSON object a line,
// exit 0 on a passed as-left check; SIGTERM ends it safely with status 1.
void TestAutoCalibration::fromTheCommandLine()
{
    Bench b;
    QVERIFY(b.ready);
    b.link.close();
    b.f.sim().setInputError(1.002, 0.03);
    const QString procedure = b.folder.filePath("quick.json");
    QFile file(procedure);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"points": [0, 100], "tolerance": 1.0, "room sensor limit": 0.2,
                  "stability": {"samples": 3, "interval ms": 150, "band": 0.2, "band mA": 0.004}})");
    file.close();
    QProcess p;
    p.start(QStringLiteral(TCAL_CLI_PATH), cliArguments(b, {"--procedure", procedure}));
    QVERIFY(p.waitForFinished(120000));
    const QByteArray out = p.readAllStandardOutput();
    const QVector<QJsonObject> lines = jsonLines(out);
    QVERIFY2(p.exitCode() == 0, out.right(700).constData());
    QCOMPARE(lines.last().value("outcome").toString(), QStringLiteral("passed"));
    QVERIFY(lines.last().value("adjusted").toBool());
    QVERIFY(QFileInfo::exists(lines.last().value("certificateDraft").toString()));
    int points = 0;
    for (const QJsonObject &o : lines)
        points += o.value("event") == QLatin1String("point") && o.value("expanded").toDouble() > 0 ? 1 : 0;
    QCOMPARE(points, 4);

    // Stopped while the first as-found point settles.
    b.f.sim().setInputError(1.0, 0.0);
    p.start(QStringLiteral(TCAL_CLI_PATH), cliArguments(b, {"--points", "0%,50%,100%", "--tolerance", "1.0"}));
    QTRY_VERIFY_WITH_TIMEOUT(b.scpi.sourceState().outputOn, 30000);
    p.terminate();
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 1);
    QCOMPARE(jsonLines(p.readAllStandardOutput()).last().value("outcome").toString(), QStringLiteral("aborted"));
    QVERIFY(!b.scpi.sourceState().outputOn);
    const auto stored = b.db.list(QStringLiteral("SN-4711"));
    QVERIFY(stored && stored->size() == 3);
    QCOMPARE(stored->last().record.incompleteReason, QStringLiteral("stopped by a signal"));
    // Each performed by the operator who started the run, with their own key.
    for (const recordsdb::StoredRecord &s : *stored)
        QCOMPARE(recordsdb::Approvals(b.db).of(s.record.id)->value(0).key, recordsfixture::performer(b.db).fingerprint());
}

// Refused before anything is sourced: a standard *IDN? shows to be another
// model, a point outside the transmitter's range, a bad procedure file (one
// exit status, text or JSON). A tolerance under U ends without a pass; the
// standard's certificate, independent repeats and the output's own U with its
// k are in every point's budget.
void TestAutoCalibration::decisionsARunCanDefend()
{
    Bench b;
    QVERIFY(b.ready);
    recordsdb::StandardsRegister standards(b.db);
    auto asMeter = lab::standard(lab::kSourceSerial, "Generic SCPI meter", QDate::currentDate().addYears(1));
    QVERIFY(standards.save(asMeter));
    autocal::RunResult r = b.run(lab::quickPlan());
    QCOMPARE(r.outcome, Outcome::Refused);
    QVERIFY2(r.reason.contains("model"), qPrintable(r.reason));
    auto source = lab::standard(lab::kSourceSerial, "Generic SCPI calibrator", QDate::currentDate().addYears(1));
    source.terms.insert("mV", {0.004, 2.0, 0.001, 0.002});
    source.calibrated = QDate::currentDate().addMonths(-6);   // half a year of drift
    QVERIFY(standards.save(source));

    autocal::RunPlan outside = lab::quickPlan();
    outside.percent = false;
    outside.points = {-200.0, 500.0};
    r = b.run(outside);
    QCOMPARE(r.outcome, Outcome::Refused);
    QVERIFY2(r.reason.contains("-200"), qPrintable(r.reason));
    QCOMPARE(writesTo(b.f.sim()), 0);
    QVERIFY(!b.scpi.sourceState().outputOn);

    autocal::RunPlan tight = lab::quickPlan(autocal::Adjust::Never);
    tight.points = {50.0};
    tight.tolerance.value = 0.01;
    tight.toleranceMa = 0.0005;
    tight.repeats = 2;
    // The ambient from a thermohygrometer in the room, itself a registered standard.
    QVERIFY(standards.save(lab::standard("TH-0001", "Generic SCPI thermohygrometer", QDate::currentDate().addYears(1))));
    auto room = lab::instrumentAt(QStringLiteral("Generic SCPI thermohygrometer"), b.scpi.port(sim::Instrument::Environment));
    QVERIFY(room);
    autocal::AutoCalibration withRoom(b.link, *b.source, *b.meter);
    withRoom.setEnvironment(room.get());
    r = b.run(tight, &withRoom);
    QVERIFY2(r.asLeft, qPrintable(r.reason));
    QVERIFY2(r.asLeft->header.ambientSource.startsWith("instrument Generic SCPI thermohygrometer TH-0001; relative humidity"),
             qPrintable(r.asLeft->header.ambientSource));
    QVERIFY(qAbs(r.asLeft->header.ambient.toDouble() - (b.f.sim().ambient() + 0.05)) < 0.1);
    QCOMPARE(r.outcome, Outcome::Failed);
    const record::Point &p = r.asLeft->points.at(0);
    const record::PointFigures f = record::figures(p, r.asLeft->header);
    // U >= T: within the tolerance it cannot pass, beyond it it fails.
    QVERIFY(p.uncertainty->expanded > 0.01 && *p.uncertainty->currentExpandedMa > 0.0005);
    for (metrology::Decision d : {f.decision, *f.currentDecision})
        QVERIFY(d == metrology::Decision::CannotPass || d == metrology::Decision::Fail);
    QStringList names;
    for (const auto &line : p.uncertainty->budget)
        names << line.name;
    for (const char *name : {"reference certificate", "reference drift", "cold-junction dead-band", "thermal EMF"})
        QVERIFY2(names.contains(name), name);
    QCOMPARE(p.uncertainty->budget.at(names.indexOf("repeatability")).degreesOfFreedom, 1.0);   // two repeats
    QVERIFY(p.uncertainty->currentBudget.size() > 5 && p.uncertainty->currentCoverageFactor > 2.0);

    const QString bad = b.folder.filePath("bad.json");
    QFile file(bad);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"points": [0], "tolerance": 1, "stability": {"samples": 2.5}})");
    file.close();
    b.link.close();
    for (bool json : {false, true}) {
        QProcess cli;
        QStringList args = cliArguments(b, {"--procedure", bad});
        if (!json)
            args.removeAll("--json");
        cli.start(QStringLiteral(TCAL_CLI_PATH), args);
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitCode(), 4);
    }
    // From the command line with a tolerance under U: it ends without a pass.
    QProcess tightCli;
    tightCli.start(QStringLiteral(TCAL_CLI_PATH), cliArguments(b, {"--points", "50%", "--tolerance", "0.01"}));
    QVERIFY(tightCli.waitForFinished(180000));
    QCOMPARE(tightCli.exitCode(), 1);
    QCOMPARE(jsonLines(tightCli.readAllStandardOutput()).last().value("outcome").toString(), QStringLiteral("failed"));
}

// The tab runs the same run on the window's link while the window polls:
// points, chart, result and draft certificate; Abort ends it safely.
void TestAutoCalibration::inTheWindow()
{
    // Three points, as remembered from an earlier session.
    QSettings().setValue("automatic/points", "0%,50%,100%");
    WindowSession s(line::onLine(4800));
    s.sim().setCurves(sim::model::Curves::Standard);
    s.sim().setInputError(1.002, 0.03);
    sim::ScpiLab scpi(s.sim());
    QVERIFY(scpi.serve("tcp:127.0.0.1:0"));
    QVERIFY(s.connectToSimulator());
    s.ui()->comboBox_sel_language->setCurrentIndex(2);
    s.probe.recordTab()->setCreateQuestion([](const QString &) { return true; });
    recordsdb::RecordDb *db = s.probe.recordTab()->database();
    QVERIFY(db);
    recordsdb::StandardsRegister standards(*db);
    const QDate due = QDate::currentDate().addYears(1);
    QVERIFY(standards.save(lab::standard(lab::kSourceSerial, "Generic SCPI calibrator", due)));
    QVERIFY(standards.save(lab::standard(lab::kMeterSerial, "Generic SCPI meter", due)));
    auto *tab = s.window.findChild<AutoCalibrationTab *>();
    tab->setPerformer([](recordsdb::RecordDb &db) { return std::optional(recordsfixture::performer(db)); });
    tab->setAddresses(QStringLiteral("tcp:127.0.0.1:%1").arg(scpi.port(sim::Instrument::Source)),
                      QStringLiteral("tcp:127.0.0.1:%1").arg(scpi.port(sim::Instrument::Meter)));
    s.ui()->tabWidget_main->setCurrentWidget(tab);
    QVERIFY(s.idle());
    // The run is the registry's, started from the event loop once Start's slot has returned.
    tab->start();
    QTRY_VERIFY_WITH_TIMEOUT(!tab->running() && !tab->resultText().isEmpty(), 30000);
    QVERIFY2(tab->resultText().contains("serial number"), qPrintable(tab->resultText()));
    QCOMPARE(s.sim().requestCount(6) + s.sim().requestCount(16), 0);
    tab->findChild<QLineEdit *>("lineEdit_auto_serial")->setText("SN-4711");
    // No performer unlocked: refused before anything is sourced or written, saying what to do.
    tab->setPerformer([](recordsdb::RecordDb &) { return std::optional<recordsdb::PersonSigner>(); });
    tab->start();
    QVERIFY(!tab->running());
    QVERIFY2(tab->resultText().contains("enrol or choose a performer"), qPrintable(tab->resultText()));
    QCOMPARE(s.sim().requestCount(6) + s.sim().requestCount(16), 0);
    tab->setPerformer([](recordsdb::RecordDb &db) { return std::optional(recordsfixture::performer(db)); });
    // Run in the Chinese window: every phase, step, row and result it shows is Chinese.
    s.ui()->comboBox_sel_language->setCurrentIndex(0);
    // Points typed that are not numbers: refused in the window's words and language, nothing sent.
    auto *points = tab->findChild<QLineEdit *>("lineEdit_auto_points");
    const QString typed = points->text();
    points->setText("0, x");
    tab->start();
    QVERIFY2(!tab->running() && tab->resultText().contains(QStringLiteral("测试点：“x”不是数字")), qPrintable(tab->resultText()));
    points->setText(typed);
    QStringList seen;
    QTimer watch;
    connect(&watch, &QTimer::timeout, tab, [&] { seen << shown::tabTexts(tab); });
    watch.start(50);
    tab->start();
    QVERIFY(tab->running());
    QTRY_VERIFY_WITH_TIMEOUT(!tab->running(), 240000);
    watch.stop();
    seen << shown::tabTexts(tab);
    seen.removeDuplicates();
    QStringList english;
    for (const QString &text : seen)
        if (shown::hasEnglish(text))
            english << text;
    qInfo("automatic run in Chinese: %lld texts shown, %lld with English", qlonglong(seen.size()), qlonglong(english.size()));
    QVERIFY2(english.isEmpty(), qPrintable(english.join('\n')));
    s.ui()->comboBox_sel_language->setCurrentIndex(2);
    QVERIFY2(tab->resultText().startsWith("as-left check passed"), qPrintable(tab->resultText()));
    QVERIFY2(QFileInfo::exists(tab->certificatePath()), qPrintable(tab->resultText()));
    QCOMPARE(tab->chart()->pointCount(false), 3);
    QCOMPARE(tab->chart()->pointCount(true), 3);
    QCOMPARE(s.sim().workMode(), 0);

    QPushButton *abort = nullptr;
    for (QPushButton *b : tab->findChildren<QPushButton *>())
        abort = b->text() == QLatin1String("Abort") ? b : abort;
    QVERIFY(abort);
    QTimer press;
    connect(&press, &QTimer::timeout, abort, [&] {
        if (scpi.sourceState().outputOn && abort->isEnabled())
            abort->click();
    });
    press.start(100);
    tab->start();
    QTRY_VERIFY_WITH_TIMEOUT(!tab->running(), 240000);
    QVERIFY2(tab->resultText().startsWith("aborted: stopped by the operator"), qPrintable(tab->resultText()));
    QVERIFY(!scpi.sourceState().outputOn);
    QVERIFY(!tab->running());

    // One run at a time across the tabs: the Batch tab refuses beside it. Closing
    // the window asks nothing: the run ends safely first, then the window closes.
    press.stop();
    s.window.show();
    auto *batch = s.window.findChild<BatchTab *>();
    QString refusal;
    QTimer closer;
    connect(&closer, &QTimer::timeout, &s.window, [&] {
        if (!scpi.sourceState().outputOn || !tab->running())
            return;
        closer.stop();
        batch->start();
        refusal = batch->resultText();
        s.window.close();
        QVERIFY(s.window.isVisible());   // not before the safe end
    });
    closer.start(100);
    tab->start();
    QTRY_VERIFY_WITH_TIMEOUT(!s.window.isVisible(), autocal::RunRegistry::kCloseBoundMs + 60000);
    QVERIFY2(refusal.contains("another run is in progress (automatic)"), qPrintable(refusal));
    QVERIFY(!tab->running());
    QVERIFY(!scpi.sourceState().outputOn);
    QCOMPARE(s.sim().workMode(), 0);
    QVERIFY2(tab->resultText().startsWith("aborted: the window was closed"), qPrintable(tab->resultText()));
}

// The Automatic and the Batch tab at 900 x 687 and 1280 x 800 in each language:
// the main table shows five rows, the chart is whole, no field or button is cut
// off (the inputs scroll where the window is too small for them).
void TestAutoCalibration::bothTabsFit()
{
    WindowSession s;
    s.window.show();
    int tried = 0, broke = 0;
    for (QSize size : {QSize(900, 687), QSize(1280, 800)})
        for (int language = 0; language < 3; ++language)
            for (QWidget *tab : {static_cast<QWidget *>(s.window.findChild<AutoCalibrationTab *>()),
                                 static_cast<QWidget *>(s.window.findChild<BatchTab *>())}) {
                s.ui()->comboBox_sel_language->setCurrentIndex(language);
                s.window.resize(size);
                s.ui()->tabWidget_main->setCurrentWidget(tab);
                QCoreApplication::processEvents();
                QStringList cut;
                if (s.window.size() != size)   // a minimum size above it would hide the fault
                    cut << QStringLiteral("window %1x%2").arg(s.window.width()).arg(s.window.height());
                auto *table = tab->findChild<QTableWidget *>();
                const int row = table->verticalHeader()->defaultSectionSize();
                if (table->viewport()->height() < 5 * row)
                    cut << QStringLiteral("table %1 px").arg(table->viewport()->height());
                for (QWidget *w : tab->findChildren<QWidget *>())
                    if (w->isVisible() && (qobject_cast<QLineEdit *>(w) || qobject_cast<QPushButton *>(w)
                                           || qobject_cast<QComboBox *>(w) || w->inherits("ErrorChart"))
                        && (w->width() < w->minimumSizeHint().width() || w->height() < w->minimumSizeHint().height()))
                        cut << QStringLiteral("%1 %2x%3").arg(w->metaObject()->className()).arg(w->width()).arg(w->height());
                ++tried;
                if (!cut.isEmpty()) {
                    ++broke;
                    qWarning("%s at %dx%d, language %d: %s", tab->metaObject()->className(), size.width(), size.height(),
                             language, qPrintable(cut.join(", ")));
                }
            }
    qInfo("tabs fitting: %d tried, %d broke", tried, broke);
    QCOMPARE(broke, 0);
}

QTEST_MAIN(TestAutoCalibration)
#include "test_auto_calibration.moc"
