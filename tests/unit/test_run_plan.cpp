// What an unattended run is told to do: procedure files and the simple
// options are taken whole or refused, and a point settles only when both
// columns stay inside their bands.

#include "automation/run_plan.h"
#include "automation/settling.h"
#include "records_db/standards_register.h"

#include <QJsonDocument>
#include <QtTest>

class TestRunPlan : public QObject
{
    Q_OBJECT
private slots:
    void refusedPlans_data();
    void refusedPlans();
    void optionsAndFileAgree();
    void settlesOnBothColumns();
    void checkedAgainstTheRange();
    void standardIdentity();
};

void TestRunPlan::refusedPlans_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("why");
    QTest::newRow("unknown key") << QByteArray(R"({"points":[0],"tolerance":1,"tolerence":2})") << "tolerence";
    QTest::newRow("no points") << QByteArray(R"({"points":[],"tolerance":1})") << "points";
    QTest::newRow("percent above 100") << QByteArray(R"({"points":[0,120],"tolerance":1})") << "points";
    QTest::newRow("text point") << QByteArray(R"({"points":["0"],"tolerance":1})") << "points";
    QTest::newRow("no tolerance") << QByteArray(R"({"points":[0]})") << "tolerance";
    QTest::newRow("one sample") << QByteArray(R"({"points":[0],"tolerance":1,"stability":{"samples":1}})") << "samples";
    QTest::newRow("unknown stability key")
        << QByteArray(R"({"points":[0],"tolerance":1,"stability":{"window":3}})") << "stability.window";
    QTest::newRow("adjust word") << QByteArray(R"({"points":[0],"tolerance":1,"adjust":"sometimes"})") << "adjust";
    QTest::newRow("half a sample") << QByteArray(R"({"points":[0],"tolerance":1,"stability":{"samples":2.5}})") << "whole number";
    QTest::newRow("key twice") << QByteArray(R"({"points":[0],"tolerance":1,"tolerance":0.5})") << "twice";
    QTest::newRow("key twice inside")
        << QByteArray(R"({"points":[0],"tolerance":1,"stability":{"samples":3,"samples":4}})") << "twice";
    QTest::newRow("timeout under samples x interval")
        << QByteArray(R"({"points":[0],"tolerance":1,"stability":{"samples":10,"interval ms":1000,"timeout s":5}})") << "timeout s";
    QTest::newRow("tolerance the whole span")
        << QByteArray(R"({"points":[0],"tolerance":100,"tolerance is":"percent of span"})") << "tolerance";
    QTest::newRow("room sensor limit 0 unstated")
        << QByteArray(R"({"points":[0],"tolerance":1,"room sensor limit":0})") << "measured";
    QTest::newRow("decision rule word")
        << QByteArray(R"({"points":[0],"tolerance":1,"decision rule":"lenient"})") << "decision rule";
    QTest::newRow("negative guard factor")
        << QByteArray(R"({"points":[0],"tolerance":1,"guard factor":-1})") << "guard factor";
    QTest::newRow("zero mA tolerance") << QByteArray(R"({"points":[0],"tolerance":1,"tolerance mA":0})") << "tolerance mA";
    QTest::newRow("repeats 1.5") << QByteArray(R"({"points":[0],"tolerance":1,"repeats":1.5})") << "repeats";
}

void TestRunPlan::refusedPlans()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, why);
    QString reason;
    QVERIFY(!autocal::planFromText(json, reason));
    QVERIFY2(reason.contains(why), qPrintable(reason));
}

// What the transmitter's own range makes of a plan, before anything is sourced.
void TestRunPlan::checkedAgainstTheRange()
{
    QString why;
    const record::Range range{0.0, 1000.0};
    auto plan = autocal::planFromText(R"({"points":[-200, 0, 500],"points are":"degrees","tolerance":1})", why);
    QVERIFY2(plan, qPrintable(why));
    QVERIFY(autocal::planProblemFor(*plan, range)->contains("-200"));
    plan->points = {0, 1000};
    QVERIFY(!autocal::planProblemFor(*plan, range));
    plan->points = {1000.1};
    QVERIFY(autocal::planProblemFor(*plan, range));
    plan->points = {500};
    plan->tolerance.value = 500.5;   // ± more than half the span
    QVERIFY(autocal::planProblemFor(*plan, range)->contains("tolerance"));
    // A measured zero is a statement, not an omission; the rule and the mA tolerance are kept.
    const auto stated = autocal::planFromText(R"({"points":[50],"tolerance":0.5,"room sensor limit":0,
        "room sensor limit is measured":true,"decision rule":"non-binary","guard factor":0.5,"tolerance mA":0.01,
        "thermal EMF uV":1.5,"repeats":3})", why);
    QVERIFY2(stated, qPrintable(why));
    QCOMPARE(stated->decisionRule.kind, metrology::DecisionRule::Kind::NonBinary);
    QCOMPARE(stated->decisionRule.guardFactor, 0.5);
    QCOMPARE(*stated->toleranceMa, 0.01);
    const auto again = autocal::planFromJson(autocal::planToJson(*stated), why);
    QVERIFY2(again, qPrintable(why));
    QCOMPARE(autocal::planToJson(*again), autocal::planToJson(*stated));
}

// A standard is the instrument registered under its serial and model, as *IDN? names them.
void TestRunPlan::standardIdentity()
{
    recordsdb::Standard s;
    s.serial = QStringLiteral("SC-0001");
    s.model = QStringLiteral("Generic SCPI calibrator");
    const QString file = QStringLiteral("Generic SCPI calibrator");
    QVERIFY(!recordsdb::identityMismatch(s, "TCAL,SIM-CAL,SC-0001,1.0", file));
    QVERIFY(!recordsdb::identityMismatch(s, "TCAL,generic scpi calibrator,SC-0001,1.0", "other"));
    QVERIFY(recordsdb::identityMismatch(s, "TCAL,SIM-CAL,SC-0002,1.0", file));
    QVERIFY(recordsdb::identityMismatch(s, "TCAL,SIM-CAL,SC-0001,1.0", "Generic SCPI meter")->contains("model"));
    QVERIFY(recordsdb::identityMismatch(s, "garbage", file));
    // What its certificate states, per function, as typed and as stored.
    QString why;
    const auto terms = recordsdb::certificateTermsFrom("mV:0.004:2:0.001:0.002", why);
    QVERIFY(terms && terms->first == "mV" && terms->second.expanded == 0.004 && terms->second.driftPerYear == 0.002);
    for (const char *bad : {"V:1:2:0:0", "mV:0.004:0:0:0", "mV:-1:2:0:0", "mV:1:2:0", "mV:x:2:0:0", "mA:1:2:0:-0.1"})
        QVERIFY2(!recordsdb::certificateTermsFrom(bad, why), bad);
    s.due = QDate(2030, 1, 1);
    s.terms.insert(terms->first, terms->second);
    const auto back = recordsdb::standardFromJson(recordsdb::standardToJson(s));
    QVERIFY(back && back->terms.value("mV").correction == 0.001 && back->terms.value("mV").coverageFactor == 2);
    QJsonObject broken = recordsdb::standardToJson(s);
    broken["certificate terms"] = QJsonObject{{"mV", QJsonObject{{"U", "0.004"}}}};
    QVERIFY(!recordsdb::standardFromJson(broken));
}

// The simple options mean what the same file means; a file written back reads the same.
void TestRunPlan::optionsAndFileAgree()
{
    QString why;
    const auto fromOptions = autocal::planFromOptions("0%, 50%,100%", "0.2%", why);
    QVERIFY2(fromOptions, qPrintable(why));
    QCOMPARE(fromOptions->points, (QVector<double>{0, 50, 100}));
    QVERIFY(fromOptions->percent);
    QCOMPARE(fromOptions->tolerance.kind, record::Tolerance::Kind::PercentOfSpan);
    QCOMPARE(autocal::pointTemperatures(*fromOptions, {-50.0, 350.0}), (QVector<double>{-50, 150, 350}));
    const auto again = autocal::planFromJson(autocal::planToJson(*fromOptions), why);
    QVERIFY(again);
    QCOMPARE(autocal::planToJson(*again), autocal::planToJson(*fromOptions));
    QVERIFY(!autocal::planFromOptions("0%,50", "0.5", why));
    QVERIFY(why.contains("percentage"));
    QVERIFY(!autocal::planFromOptions("0,abc", "0.5", why));
    const auto degrees = autocal::planFromOptions("0,200,400", "0.5", why);
    QVERIFY(degrees && !degrees->percent);
    QCOMPARE(autocal::pointTemperatures(*degrees, {0.0, 100.0}), (QVector<double>{0, 200, 400}));
}

void TestRunPlan::settlesOnBothColumns()
{
    autocal::SettlingWindow w(3, 0.1, 0.002);
    w.add({100.00, 12.000});
    w.add({100.10, 12.001});
    QVERIFY(!w.settled());   // too few
    w.add({100.05, 12.003});
    QVERIFY(!w.settled());   // the current spreads 0.003 mA
    w.add({100.02, 12.002});
    QVERIFY(w.settled());    // the oldest fell out; both spreads inside, the edge included
    QCOMPARE(w.count(), 3);
    QVERIFY(qAbs(w.meanReading() - 100.0566667) < 1e-6);
    w.add({100.20, 12.002});
    QVERIFY(!w.settled());
    autocal::SettlingWindow currentOnly(2, 0.0, 0.001);
    currentOnly.add({0.0, 4.0000});
    currentOnly.add({999.0, 4.0010});
    QVERIFY(currentOnly.settled());
}

QTEST_GUILESS_MAIN(TestRunPlan)
#include "test_run_plan.moc"
