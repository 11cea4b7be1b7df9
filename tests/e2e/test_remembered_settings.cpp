// Settings chosen in one window come back in the next; a port that is gone
// falls back to the first listed; forgetting starts clean. The settings live
// in a scratch directory, never in the user's own.

#include "e2e_helpers.h"
#include "window/port_combo.h"
#include "window/remembered_settings.h"

#include <QSettings>

class TestRememberedSettings : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void settingsComeBack();
    void missingPortFallsBackAndForgetStartsClean();
    void explicitPortBeatsRemembered();

private:
    QTemporaryDir m_dir;
};

void TestRememberedSettings::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("XDG_CONFIG_HOME", m_dir.path().toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
    QCoreApplication::setOrganizationName(QStringLiteral("TCalTest"));
    QCoreApplication::setApplicationName(QStringLiteral("tcal-settings-test"));
}

void TestRememberedSettings::settingsComeBack()
{
    sim::Config config = e2e::at9600();
    config.address = 17;
    config.lineSpeed = true;
    QString port;
    {
        WindowSession s(config);
        prefs::remember(&s.window);
        s.window.show();
        s.ui()->lineEdit_dev_addr->setText(QStringLiteral("17"));
        QVERIFY(s.connectToSimulator());
        port = s.fixture.toolPort();
        QTRY_VERIFY_WITH_TIMEOUT(s.ui()->label_link_sta->text().contains("OK"), 5000);
        // Saved at the connect already: a crash now would keep them.
        QCOMPARE(QSettings().value("serial/baud").toString(), QStringLiteral("9600"));
        s.ui()->comboBox_sel_language->setCurrentIndex(2);
        s.window.resize(1010, 720);
        QVERIFY(s.window.close());
    }
    Widget next;
    WidgetProbe probe(next);
    prefs::remember(&next);
    QCOMPARE(probe.ui()->comboBox_com_num->currentText(), port);
    QCOMPARE(probe.ui()->comboBox_baudrate->currentText(), QStringLiteral("9600"));
    QCOMPARE(probe.ui()->lineEdit_dev_addr->text(), QStringLiteral("17"));
    QCOMPARE(probe.ui()->comboBox_sel_language->currentIndex(), 2);
    QCOMPARE(probe.ui()->pushButton_com_ref->text(), QStringLiteral("port refresh"));
    QCOMPARE(next.size(), QSize(1010, 720));
}

void TestRememberedSettings::missingPortFallsBackAndForgetStartsClean()
{
    qputenv("TCAL_EXTRA_PORTS", "/tmp/tcal-a:/tmp/tcal-b");
    QSettings().setValue("serial/port", QStringLiteral("/tmp/tcal-gone"));
    QSettings().setValue("serial/baud", QStringLiteral("2400"));
    {
        Widget w;
        WidgetProbe probe(w);
        prefs::remember(&w);
        QCOMPARE(probe.ui()->comboBox_com_num->currentIndex(), 0);
        QCOMPARE(probe.ui()->comboBox_baudrate->currentText(), QStringLiteral("2400"));
    }
    prefs::forget();
    Widget fresh;
    WidgetProbe probe(fresh);
    const QString defaultBaud = probe.ui()->comboBox_baudrate->currentText();
    prefs::remember(&fresh);
    QCOMPARE(probe.ui()->comboBox_baudrate->currentText(), defaultBaud);
    QVERIFY(defaultBaud != QStringLiteral("2400"));
    QCOMPARE(probe.ui()->comboBox_sel_language->currentIndex(), 0);
}

// As ./run.sh starts the tool: the last demo's line is remembered (gone, or
// another port still listed), the port named by TCAL_PORT is chosen, and
// connect brings live values at once.
void TestRememberedSettings::explicitPortBeatsRemembered()
{
    SimulatorFixture fixture(e2e::onLine(4800));
    QVERIFY(fixture.ok());
    NoticeCatcher notices;
    qputenv("TCAL_EXTRA_PORTS", "/tmp/tcal-a");
    qputenv("TCAL_PORT", fixture.toolPort().toLocal8Bit());
    for (const QString &saved : {QStringLiteral("/tmp/tcal-gone"), QStringLiteral("/tmp/tcal-a")}) {
        QSettings().setValue("serial/port", saved);
        Widget w;
        WidgetProbe probe(w);
        prefs::remember(&w);
        QCOMPARE(ports::chosenLocation(probe.ui()->comboBox_com_num), fixture.toolPort());
        probe.ui()->pushButton_com_connect->click();
        QTRY_VERIFY_WITH_TIMEOUT(probe.ui()->lcdNumber_rt_adc_value->intValue() != 0, 5000);
        QVERIFY(probe.ledRt()->isOn());
    }
    qunsetenv("TCAL_PORT");
    QVERIFY(notices.texts().isEmpty());
}

QTEST_MAIN(TestRememberedSettings)
#include "test_remembered_settings.moc"
