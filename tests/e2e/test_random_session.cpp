// A technician under stress: random clicks on whatever is enabled, language
// switches and reconnects, while the transmitter answers with exceptions and
// short replies, falls silent, answers too late and reports random work modes. Afterwards the
// window must still poll, reach parameter mode and read the parameters.
//
// TCAL_RANDOM_SEEDS=N runs N seeds (default 3); TCAL_RANDOM_SECONDS the length
// of each session (default 12).

#include "e2e_helpers.h"

#include <QAbstractButton>
#include <QTabWidget>
#include <QElapsedTimer>
#include <random>

using namespace e2e;

namespace {

int envInt(const char *name, int fallback)
{
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok && v > 0 ? v : fallback;
}

class RandomTechnician
{
public:
    RandomTechnician(WindowSession &s, quint32 seed) : m_s(s), m_rng(seed) {}

    // False when the session could not be ended in time.
    bool run(int seconds)
    {
        m_clock.start();
        m_endMs = seconds * 1000;
        schedule();
        return QTest::qWaitFor([this] { return m_clock.elapsed() > m_endMs + 200; }, m_endMs + 60000);
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }

    // Fresh single shots, so an action can land inside an operation's wait.
    void schedule()
    {
        if (m_clock.elapsed() > m_endMs)
            return;
        QTimer::singleShot(50 + pick(250), &m_context, [this] {
            schedule();
            act();
        });
    }

    void act()
    {
        sim::Simulator &sim = m_s.sim();
        const int roll = pick(100);
        if (roll < 55) {
            clickSomething();
        } else if (roll < 63) {
            const int functions[] = {3, 4, 6, 16};
            sim.setException(functions[pick(4)], pick(3) ? -1 : pick(64), 1 + pick(4));
            QTimer::singleShot(200 + pick(1500), &m_s.window, [&sim] { sim.clearExceptions(); });
        } else if (roll < 69) {
            sim.setShortRead(1 + pick(20));
            QTimer::singleShot(200 + pick(1000), &m_s.window, [&sim] { sim.setShortRead(0); });
        } else if (roll < 72) {
            sim.setSilent(true);
            QTimer::singleShot(100 + pick(700), &m_s.window, [&sim] { sim.setSilent(false); });
        } else if (roll < 76) {
            // Answers that come after the master has given up on them.
            sim.setReplyDelayMs(300 + pick(700));
            QTimer::singleShot(300 + pick(1500), &m_s.window, [&sim] { sim.setReplyDelayMs(0); });
        } else if (roll < 84) {
            sim.setWorkMode(pick(5));
        } else if (roll < 90) {
            m_s.ui()->comboBox_sel_language->setCurrentIndex(pick(3));
        } else if (roll < 94) {
            m_s.ui()->pushButton_com_connect->click();
        } else if (m_s.ui()->spinBox_ma_fine->isEnabled()) {
            m_s.ui()->spinBox_ma_fine->stepBy(pick(2) ? 1 : -1);
        }
    }

    // The form's own controls; the tabs beyond it open file dialogs that wait
    // for a person.
    bool onFormPage(QWidget *w) const
    {
        QTabWidget *tabs = m_s.ui()->tabWidget_main;
        for (; w; w = w->parentWidget()) {
            const int index = tabs->indexOf(w);
            if (index >= 0)
                return index < 4;
        }
        return true;
    }

    void clickSomething()
    {
        QList<QAbstractButton *> enabled;
        for (QAbstractButton *b : m_s.window.findChildren<QAbstractButton *>()) {
            if (b->isEnabled() && b != m_s.ui()->pushButton_com_connect
                && b != m_s.ui()->pushButton_com_ref && onFormPage(b))
                enabled << b;
        }
        if (enabled.isEmpty())
            return;
        m_s.ui()->lineEdit_ma_auto_calib_4->setText(pick(2) ? "4.012" : "19.975");
        enabled.at(pick(enabled.size()))->click();
    }

    WindowSession &m_s;
    QObject m_context;   // actions still scheduled die with the technician
    std::mt19937 m_rng;
    QElapsedTimer m_clock;
    int m_endMs = 0;
};

} // namespace

class TestRandomSession : public QObject
{
    Q_OBJECT
private slots:
    void windowRecovers_data();
    void windowRecovers();
};

void TestRandomSession::windowRecovers_data()
{
    QTest::addColumn<quint32>("seed");
    const int seeds = envInt("TCAL_RANDOM_SEEDS", 3);
    for (int i = 0; i < seeds; ++i) {
        const quint32 seed = 1000 + quint32(i) * 7919;
        QTest::newRow(qPrintable(QString("seed %1").arg(seed))) << seed;
    }
}

void TestRandomSession::windowRecovers()
{
    QFETCH(quint32, seed);
    const QByteArray where = "seed " + QByteArray::number(seed);
    WindowSession s(onLine(9600));
    QVERIFY2(connectPolling(s, 1), where);
    s.ui()->pushButton_para_read->click();   // fields that a parameter write accepts

    QVERIFY2(RandomTechnician(s, seed).run(envInt("TCAL_RANDOM_SECONDS", 12)), where);

    // Calm transmitter, calm technician: the window must come back.
    sim::Simulator &sim = s.sim();
    sim.clearFaults();
    sim.setWorkMode(0);
    QVERIFY2(QTest::qWaitFor([&] { return !s.window.operationRunning(); }, 30000), where);
    if (s.probe.master()->state() == QModbusDevice::ConnectedState)
        s.ui()->pushButton_com_connect->click();
    s.ui()->comboBox_sel_language->setCurrentIndex(0);
    QVERIFY2(s.connectToSimulator(), where);
    sim.clearRequests();
    QVERIFY2(QTest::qWaitFor([&] { return sim.requestCount(4) >= 2 && s.probe.ledRt()->isOn(); }, 5000),
             where + " polls: " + describe(sim.requests()).toLatin1());
    QVERIFY2(QTest::qWaitFor([&] { return s.probe.workGroup() == 0; }, 5000), where);
    s.notices.clear();
    s.ui()->pushButton_para_set->click();
    QVERIFY2(QTest::qWaitFor([&] { return s.probe.workGroup() == 1; }, 5000), where);
    s.ui()->progressBar_write->setValue(0);
    s.ui()->pushButton_para_read->click();
    QVERIFY2(s.ui()->progressBar_write->value() == 100, where);
    QVERIFY2(s.notices.notices().isEmpty(), where + " " + s.notices.texts().join('|').toUtf8());
}

QTEST_MAIN(TestRandomSession)
#include "test_random_session.moc"
