// Screenshots of the window in its three languages, connected to a simulated
// transmitter so the live values show, then of the Trend tab after a ramp and
// of the Traffic tab after a few injected faults. Run under Xvfb by
// scripts/screenshots.sh.
//
//   tcal-screenshots OUTPUT_DIR

#include "simulator_fixture.h"
#include "widget_probe.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QTest>

#include <cstdio>

namespace {

bool save(QWidget &window, const QString &out, const QString &name)
{
    const QString file = QDir(out).filePath(name);
    if (!window.grab().save(file)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
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
        if (!save(window, out, QStringLiteral("trend-%1.png").arg(names[i])))
            return 1;
        ui->tabWidget_main->setCurrentWidget(window.findChild<TrafficTab *>());
        QTest::qWait(800);
        if (!save(window, out, QStringLiteral("traffic-%1.png").arg(names[i])))
            return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots");
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
        const QString file = QDir(out).filePath(QStringLiteral("window-%1.png").arg(names[language]));
        if (!window.grab().save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
        std::printf("%s\n", qPrintable(file));
    }
    return diagnosticTabs(window, probe, fixture.sim(), out);
}
