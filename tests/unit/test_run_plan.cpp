// What an unattended run is told to do: procedure files and the simple
// options are taken whole or refused, and a point settles only when both
// columns stay inside their bands.

#include "automation/run_plan.h"
#include "automation/settling.h"

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
}

void TestRunPlan::refusedPlans()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, why);
    QString reason;
    QVERIFY(!autocal::planFromJson(QJsonDocument::fromJson(json).object(), reason));
    QVERIFY2(reason.contains(why), qPrintable(reason));
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
