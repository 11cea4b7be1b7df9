// Screenshots of the window in its three languages, connected to a simulated
// transmitter so the live values show, and of the configuration tab comparing
// the transmitter with a file. Run under Xvfb by scripts/screenshots.sh.
//
//   tcal-screenshots OUTPUT_DIR

#include "configuration_tab.h"
#include "simulator_fixture.h"
#include "widget_probe.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

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
    const QString shot = QDir(out).filePath(QStringLiteral("configuration-en.png"));
    if (!window.grab().save(shot)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(shot));
        return 1;
    }
    std::printf("%s\n", qPrintable(shot));
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
    return configurationShot(window, fixture, out);
}
