// The unattended calibration in a closed loop: the simulated calibrator drives
// the simulated transmitter's input and the simulated meter reads its loop
// current, at the pace of a real 4800 baud line. A transmitter with an input
// and an output error fails as found, is adjusted and passes as left; every
// way a run can end early leaves the source off, the transmitter in normal
// mode with nothing unstored in RAM, and the check kept as incomplete.

#include "lab_bench.h"

#include "core/registers.h"
#include "record/calibration_record.h"

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
    void failsAsFoundIsAdjustedPassesAsLeft();
    void endsSafely_data();
    void endsSafely();
    void expiredStandardIsRefusedBeforeAnythingIsSourced();
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

QTEST_MAIN(TestAutoCalibration)
#include "test_auto_calibration.moc"
