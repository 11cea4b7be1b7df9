// The Trend and Traffic tabs in the real window against the simulator: a ramp
// reaches the chart and the CSV log, injected faults reach the counters.

#include "core/registers.h"
#include "e2e_helpers.h"
#include "tabs/traffic_model.h"

#include <QtCharts/QLineSeries>

using diag::Result;

namespace {

sim::Config paced()
{
    sim::Config c = e2e::at9600();
    c.lineSpeed = true;
    return c;
}

// The measured temperature the simulator reports now, as the window decodes it.
double reportedMeasured(const sim::Simulator &sim)
{
    const std::vector<uint16_t> image = sim.inputImage();
    const QVector<quint16> words(image.begin(), image.end());
    return *reg::decodeLiveValues(words, QDateTime::currentDateTime()).measured;
}

} // namespace

class TestTrendTraffic : public QObject
{
    Q_OBJECT
private slots:
    void rampReachesChartAndLog();
    void faultsReachTrafficCounters();
};

void TestTrendTraffic::rampReachesChartAndLog()
{
    WindowSession s(paced());
    QVERIFY(s.connectToSimulator());
    TrendTab *trend = s.probe.trendTab();
    QVERIFY(trend);
    s.window.show();
    s.ui()->tabWidget_main->setCurrentWidget(trend);
    s.sim().setHolding(reg::kUnit, 1);   // degF
    // The unit comes from a holding read the window makes anyway.
    QVERIFY(QMetaObject::invokeMethod(&s.window, "on_pushButton_para_read_clicked"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("live.csv"));
    QVERIFY(trend->startLog(path));

    QVector<double> ramp;
    for (double mv = 2.0; mv <= 8.0; mv += 1.5) {
        s.sim().setAppliedMillivolts(mv);
        const double want = reportedMeasured(s.sim());
        QVERIFY(ramp.isEmpty() || want > ramp.last());
        ramp << want;
        QTRY_VERIFY_WITH_TIMEOUT(!trend->samples().isEmpty() && trend->samples().newest().measured == want, 5000);
    }
    trend->stopLog();

    // The chart shows every step of the ramp, in order.
    QTRY_COMPARE_WITH_TIMEOUT(trend->series(diag::TrendValue::Measured)->points().last().y(),
                              ramp.last(), 2000);
    QVector<double> shown;
    for (const QPointF &p : trend->series(diag::TrendValue::Measured)->points()) {
        if (shown.isEmpty() || shown.last() != p.y())
            shown << p.y();
    }
    QCOMPARE(shown.mid(shown.indexOf(ramp.first())), ramp);

    // The log: a header naming degF and the code, then the steps as the display shows them.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QVERIFY(lines.first().contains(QStringLiteral("measured temperature (°F; decimal-places code 1)")));
    QStringList logged;
    for (const QString &line : lines.mid(1)) {
        const QStringList fields = line.split(',');
        QCOMPARE(fields.size(), 6);
        QVERIFY(QDateTime::fromString(fields.at(0), Qt::ISODateWithMs).isValid());
        QCOMPARE(fields.at(5), QStringLiteral("OK"));
        if (logged.isEmpty() || logged.last() != fields.at(1))
            logged << fields.at(1);
    }
    QStringList want;
    for (double v : ramp)
        want << QString::number(v, 'f', 1);
    QCOMPARE(logged.mid(logged.indexOf(want.first())), want);
}

void TestTrendTraffic::faultsReachTrafficCounters()
{
    WindowSession s(paced());
    QVERIFY(s.connectToSimulator());
    TrafficTab *traffic = s.probe.trafficTab();
    QVERIFY(traffic);
    const diag::TrafficCounters &counts = traffic->counters();
    QTRY_VERIFY_WITH_TIMEOUT(counts.count(Result::Ok) >= 2, 5000);

    s.sim().setSilent(true);
    QTRY_VERIFY_WITH_TIMEOUT(counts.count(Result::Timeout) >= 1, 5000);
    s.sim().setSilent(false);

    s.sim().setException(4, -1, 2);
    QTRY_VERIFY_WITH_TIMEOUT(counts.count(Result::Exception) >= 1, 5000);
    s.sim().clearExceptions();

    // A damaged answer is a CRC error, not a plain timeout.
    QVERIFY(s.idle());
    const int timeouts = counts.count(Result::Timeout);
    s.sim().setCorruptCrc(true);
    QTRY_VERIFY_WITH_TIMEOUT(counts.count(Result::Crc) >= 2, 8000);
    s.sim().setCorruptCrc(false);
    QVERIFY(s.idle());
    QCOMPARE(counts.count(Result::Timeout), timeouts);

    // The list names the exception in the operator's language, with the request
    // frame and the answer's decoded PDU (never a rebuilt answer frame).
    const TrafficModel &model = traffic->model();
    bool named = false;
    for (int row = 0; row < model.rowCount(); ++row) {
        const diag::TrafficRecord &r = model.record(row);
        if (r.result != Result::Exception)
            continue;
        named = model.cellText(r, TrafficModel::ResultColumn) == QStringLiteral("异常 2 (非法数据地址)");
        QVERIFY(model.cellText(r, TrafficModel::Frames)
                    .endsWith(QStringLiteral("> C0 04 00 00 00 0D 21 1E  < PDU 84 02")));
    }
    QVERIFY(named);
    QCOMPARE(counts.total(), model.rowCount() - (model.record(model.rowCount() - 1).result == Result::Pending));

    // Counters start again with the next connection.
    s.ui()->pushButton_com_connect->click();
    QVERIFY(s.connectToSimulator());
    QVERIFY(counts.count(Result::Crc) == 0 && counts.count(Result::Exception) == 0);
}

QTEST_MAIN(TestTrendTraffic)
#include "test_trend_traffic.moc"
