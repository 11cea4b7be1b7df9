// The procedures without any window, against the simulator on a virtual line
// at the pace of a real one: what they leave in RAM and in the stored image
// when the transmitter, the line or the operator does not go along.

#include "core/registers.h"
#include "link/link.h"
#include "procedures/current_calibration.h"
#include "procedures/fine_trim.h"
#include "procedures/sensor_calibration.h"
#include "procedures/stored_change.h"
#include "procedures/transaction.h"
#include "line_options.h"

#include <QSignalSpy>
#include <QtTest>

using line::onLine;
using line::optionsFor;

namespace {

// A link open on the fixture's simulator, ready for operations.
struct Bench {
    explicit Bench(int baud = 4800) : f(onLine(baud)) { opened = f.ok() && link.open(optionsFor(f)); }
    SimulatorFixture f;
    rtu::Link link;
    bool opened = false;
};

using proc::CurrentCalibration;

} // namespace

class TestProcedures : public QObject
{
    Q_OBJECT
private slots:
    void lateStoreAnswerIsStoredAgain();
    void strayAnswerIsNoAnswer();
    void calibrationEndsWithItsUnit();
    void abandonedCalibrationLeavesNothingToStore();
    void inputCapturesAreStoredWholeOrPutBack();
    void trimNotStoredIsPutBack();
    void putBackStoresAgainAsItsOwnerDecides();
};

// The store's answer comes after the timeout: the image may hold the new rate.
// RAM goes back, is stored again and read back; after a power cycle the unit
// talks at the old rate.
void TestProcedures::lateStoreAnswerIsStoredAgain()
{
    Bench b;
    QVERIFY(b.opened);
    sim::Simulator &sim = b.f.sim();
    const quint16 rate = sim.holding(reg::kDeviceBaudRate);
    sim.answerLate(reg::kStoreCommand, 3 * b.link.budget().responseTimeoutMs);
    proc::ChangeReport report;
    QVERIFY(b.link.runOperation([&] {
        report = proc::storeChange(
            b.link, [](const QVector<quint16> &) { return verify::Written{reg::kDeviceBaudRate, {2400}}; }, 200);
    }));
    QCOMPARE(report.outcome, proc::ChangeOutcome::StoreFailed);
    QVERIFY(report.aftermath.unrestored.isEmpty());
    QCOMPARE(report.aftermath.stored, proc::StoredImage::Restored);
    QCOMPARE(sim.holding(reg::kDeviceBaudRate), rate);
    QCOMPARE(sim.storedImage()[reg::kDeviceBaudRate], rate);
    QVERIFY(proc::aftermathText(report.aftermath, 2).contains("register 13 restored to its previous value, stored again"));
}

// An answer that echoes another request is no answer: neither a device that
// echoes the wrong register nor the late echo of an earlier write makes a
// write "accepted"; the line recovers once the stray frames are gone.
void TestProcedures::strayAnswerIsNoAnswer()
{
    Bench b(9600);
    QVERIFY(b.opened);
    sim::Simulator &sim = b.f.sim();
    QVERIFY(b.link.runOperation([&] {
        sim.setWrongEcho(true);
        rtu::Verdict verdict;
        QCOMPARE(b.link.write(reg::kZeroOffset, {7}, nullptr, &verdict), rtu::WriteOutcome::Unanswered);
        QVERIFY(verdict.mismatch);
        QVERIFY(verdict.text.contains("does not match"));
        sim.setWrongEcho(false);

        sim.answerLate(reg::kZeroOffset, 2 * b.link.budget().responseTimeoutMs);
        QCOMPARE(b.link.write(reg::kZeroOffset, {8}), rtu::WriteOutcome::Unanswered);
        QCOMPARE(b.link.write(reg::kFilterCoefficient, {3}), rtu::WriteOutcome::Unanswered);
        QVERIFY(b.link.waitForFreeLink(2000));
        b.link.waitMs(300);
        QCOMPARE(b.link.write(reg::kFilterCoefficient, {4}), rtu::WriteOutcome::Accepted);
    }));
    QCOMPARE(sim.holding(reg::kFilterCoefficient), quint16(4));
}

// A power cycle between the points, or a link opened again, ends the
// procedure: the 20 mA point is never written or stored beside an old 4 mA one.
void TestProcedures::calibrationEndsWithItsUnit()
{
    Bench b(9600);
    QVERIFY(b.opened);
    sim::Simulator &sim = b.f.sim();
    const auto stored = sim.storedImage();
    CurrentCalibration calibration(b.link);
    qRegisterMetaType<CurrentCalibration::EndReason>();
    QSignalSpy ended(&calibration, &CurrentCalibration::ended);

    QCOMPARE(calibration.start(), CurrentCalibration::Result::Done);
    QCOMPARE(calibration.measured4mA(4021), CurrentCalibration::Result::Done);
    sim.powerCycle();
    sim.clearRequests();
    QCOMPARE(calibration.measured20mA(19999), CurrentCalibration::Result::StateLost);
    QCOMPARE(calibration.step(), CurrentCalibration::Step::Start);
    QCOMPARE(ended.takeLast().at(0).value<CurrentCalibration::EndReason>(), CurrentCalibration::EndReason::StateLost);
    QCOMPARE(sim.requestCount(6, reg::kMeasured20mA) + sim.requestCount(6, reg::kStoreCommand), 0);
    QCOMPARE(sim.holding(reg::kMeasured4mA), stored[reg::kMeasured4mA]);
    QCOMPARE(sim.storedImage(), stored);

    QCOMPARE(calibration.start(), CurrentCalibration::Result::Done);
    QCOMPARE(calibration.measured4mA(4021), CurrentCalibration::Result::Done);
    b.link.close();
    QVERIFY(b.link.open(optionsFor(b.f)));
    QCOMPARE(calibration.step(), CurrentCalibration::Step::Start);
    QCOMPARE(ended.takeLast().at(0).value<CurrentCalibration::EndReason>(), CurrentCalibration::EndReason::LinkChanged);
    sim.clearRequests();
    QCOMPARE(calibration.measured20mA(19999), CurrentCalibration::Result::StateLost);
    QVERIFY(sim.requests().empty());
    QCOMPARE(sim.storedImage(), stored);
}

// Any other operation ends a calibration left halfway first and puts back the
// points it read at the start: the operation's own store saves none of it.
void TestProcedures::abandonedCalibrationLeavesNothingToStore()
{
    Bench b(9600);
    QVERIFY(b.opened);
    sim::Simulator &sim = b.f.sim();
    const quint16 point4 = sim.holding(reg::kMeasured4mA);
    CurrentCalibration calibration(b.link);
    QCOMPARE(calibration.start(), CurrentCalibration::Result::Done);
    QCOMPARE(calibration.measured4mA(4021), CurrentCalibration::Result::Done);
    QCOMPARE(sim.holding(reg::kMeasured4mA), quint16(4021));

    QVERIFY(b.link.runOperation([&] { QVERIFY(b.link.writeRegisters(reg::kStoreCommand, {reg::kStoreValue}).ok()); }));
    QCOMPARE(calibration.step(), CurrentCalibration::Step::Start);
    QCOMPARE(sim.holding(reg::kMeasured4mA), point4);
    QCOMPARE(sim.storedImage()[reg::kMeasured4mA], point4);
}

// Thermocouple captures: a capture lost to a power cycle is never stored
// beside a new one; captures left unstored are put back before another
// operation's store; stored ones read back.
void TestProcedures::inputCapturesAreStoredWholeOrPutBack()
{
    Bench b(9600);
    QVERIFY(b.opened);
    sim::Simulator &sim = b.f.sim();
    sim.setWorkMode(reg::ModeThermocouple);
    const auto stored = sim.storedImage();
    proc::SensorCalibration tc(b.link, proc::SensorCalibration::Input::Thermocouple);
    using Result = proc::SensorCalibration::Result;

    sim.setAppliedMillivolts(49.0);   // not the stored point
    QCOMPARE(tc.capture(0), Result::Done);
    sim.powerCycle();
    sim.setWorkMode(reg::ModeThermocouple);
    sim.setAppliedMillivolts(0.0);
    QCOMPARE(tc.capture(1), Result::Done);
    QCOMPARE(tc.store(), Result::StateLost);
    QCOMPARE(sim.storedImage(), stored);
    QCOMPARE(sim.holding(reg::kTc0mVPoint + 1), stored[reg::kTc0mVPoint + 1]);

    QCOMPARE(tc.capture(1), Result::Done);
    QVERIFY(b.link.runOperation([&] { QVERIFY(b.link.writeRegisters(reg::kStoreCommand, {reg::kStoreValue}).ok()); }));
    QVERIFY(!tc.hasUnstoredCaptures());
    QCOMPARE(sim.storedImage(), stored);

    QCOMPARE(tc.capture(1), Result::Done);
    QCOMPARE(tc.store(), Result::Done);
    QVERIFY(tc.lastCheck().verified());
    QCOMPARE(qint32(sim.storedImage()[reg::kTc0mVPoint + 1]), *tc.point(1));
}

// A trim left unstored goes back before another operation's write; a value
// given for one end is never written to the other.
void TestProcedures::trimNotStoredIsPutBack()
{
    Bench b(9600);
    QVERIFY(b.opened);
    sim::Simulator &sim = b.f.sim();
    sim.setWorkMode(reg::ModeCurrentOutput);
    const quint16 trim4 = sim.holding(reg::kTrim4mA);
    proc::FineTrim trim(b.link);
    quint16 stored = 0;
    QCOMPARE(trim.select(proc::FineTrim::End::At4mA, &stored), proc::FineTrim::Result::Done);
    QCOMPARE(stored, trim4);
    QCOMPARE(trim.setValue(4321), proc::FineTrim::Result::Done);
    QCOMPARE(sim.holding(reg::kTrim4mA), quint16(4321));
    // Any other write, not only a store: it may be followed by one.
    QVERIFY(b.link.runOperation([&] { QVERIFY(b.link.writeRegisters(reg::kFilterCoefficient, {2}).ok()); }));
    QCOMPARE(sim.holding(reg::kTrim4mA), trim4);

    trim.deselect();
    QCOMPARE(trim.setValue(4400), proc::FineTrim::Result::WriteFailed);
    QCOMPARE(sim.requestCount(6, reg::kTrim20mA) + sim.requestCount(6, reg::kTrim4mA), 2);   // 4321 and the put-back
}

// The link puts words back before another owner's write; storing again is
// the owning procedure's step: a change whose store went unanswered stores
// what went back, an owner without a step has nothing stored, and an owner
// whose step fails keeps the other write from going out.
void TestProcedures::putBackStoresAgainAsItsOwnerDecides()
{
    Bench b(9600);
    QVERIFY(b.opened);
    sim::Simulator &sim = b.f.sim();
    const quint16 old = sim.holding(reg::kFilterCoefficient);
    auto otherWrite = [&] {
        core::BusError e;
        b.link.runOperation([&] { e = b.link.writeRegisters(reg::kZeroOffset, {1}); });
        return e;
    };
    // Every store of the change is applied and never answered.
    sim.resetSchedule();
    for (int nth : {3, 5, 7})
        sim.scheduleFault(nth, sim::Simulator::Scheduled::LostAfterApplied);
    proc::Transaction change(b.link, 0, QStringLiteral("change"));
    QVERIFY(b.link.runOperation([&] {
        QVERIFY(change.write(reg::kFilterCoefficient, {9}).ok());
        QVERIFY(!change.store().ok());
    }));
    QCOMPARE(sim.storedImage()[reg::kFilterCoefficient], uint16_t(9));
    const int stores = sim.requestCount(6, reg::kStoreCommand);
    QVERIFY(otherWrite().ok());
    QCOMPARE(sim.requestCount(6, reg::kStoreCommand), stores + 1);
    QCOMPARE(sim.storedImage()[reg::kFilterCoefficient], old);
    QVERIFY(b.link.unstored().isEmpty());

    struct Case {
        bool hasStep, stepSays;
    };
    for (const Case c : {Case{false, true}, Case{true, true}, Case{true, false}}) {
        const int before = sim.requestCount(6, reg::kStoreCommand);
        int calls = 0;
        QVERIFY(b.link.runOperation([&] {
            rtu::WriterScope writer(b.link, 1);
            b.link.unstored().note(1, QStringLiteral("owner"), reg::kFilterCoefficient, old);
            if (c.hasStep)
                b.link.unstored().setAfterPutBack(1, [&](const QVector<rtu::UnstoredWords::Entry> &back) {
                    ++calls;
                    return back.size() == 1 && c.stepSays;
                });
            QVERIFY(b.link.writeRegisters(reg::kFilterCoefficient, {4}).ok());
        }));
        QCOMPARE(otherWrite().ok(), c.stepSays);
        QCOMPARE(calls, c.hasStep ? 1 : 0);
        QCOMPARE(sim.holding(reg::kFilterCoefficient), old);
        QCOMPARE(sim.requestCount(6, reg::kStoreCommand), before);   // the link stores nothing itself
        QCOMPARE(b.link.unstored().isEmpty(), c.stepSays);
        b.link.unstored().clear();
    }
}

QTEST_MAIN(TestProcedures)
#include "test_procedures.moc"
