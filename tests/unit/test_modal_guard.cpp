// While a run is active nothing in the window opens a modal: every button and
// action of the window is tried against a run that waits, and a modal found
// up is counted and closed.

#include "automation/run_registry.h"
#include "notice_catcher.h"
#include "widget_probe.h"
#include "window/notices.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QtTest>

namespace {

// A run whose steps are the openers tried: they happen inside its execute(),
// as a real run's waits serve the event loop.
class WaitingRun : public autocal::Run
{
public:
    explicit WaitingRun(std::function<void()> steps) : m_steps(std::move(steps)) {}
    void execute() override { m_steps(); }
    void abort(const QString &) override {}
    QString kind() const override { return QStringLiteral("automatic"); }

private:
    std::function<void()> m_steps;
};

// Closes any modal that comes up, counting it; true when one came up.
struct ModalWatch {
    ModalWatch()
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                ++seen;
                if (auto *d = qobject_cast<QDialog *>(modal))
                    d->reject();
                else
                    modal->close();
            }
        });
        timer.start();
    }
    QTimer timer;
    int seen = 0;
};

} // namespace

class TestModalGuard : public QObject
{
    Q_OBJECT
private slots:
    void nothingModalDuringARun()
    {
        NoticeCatcher notices;
        Widget window;
        window.show();
        autocal::RunRegistry registry;
        ModalWatch watch;
        int tried = 0, opened = 0;
        bool done = false, active = false;
        QVERIFY(registry.start(new WaitingRun([&] {
        active = autocal::RunActivity::instance().active();
        for (QAbstractButton *b : window.findChildren<QAbstractButton *>()) {
            const int before = watch.seen;
            b->click();
            QTest::qWait(30);
            ++tried;
            if (watch.seen > before)
                qInfo("opened: %s (%s)", qPrintable(b->objectName()), qPrintable(b->text()));
            opened += watch.seen > before;
        }
        for (QAction *a : window.findChildren<QAction *>()) {
            const int before = watch.seen;
            a->trigger();
            QTest::qWait(30);
            ++tried;
            opened += watch.seen > before;
        }
        done = true;
        })));
        QTRY_VERIFY_WITH_TIMEOUT(done, 120000);
        QVERIFY(active);
        qInfo("%d openers tried, %d opened a modal during a run", tried, opened);
        QCOMPARE(opened, 0);

        // The same opener opens once the run has ended: the count above can fail.
        QTRY_VERIFY(!autocal::RunActivity::instance().active());
        auto *open = window.findChild<QAbstractButton *>(QStringLiteral("openConfiguration"));
        QVERIFY(open);
        const int before = watch.seen;
        open->click();
        QTRY_VERIFY(watch.seen > before);
        // The non-modal boxes the run's clicks raised go before the window does.
        notices::closeAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

QTEST_MAIN(TestModalGuard)
#include "test_modal_guard.moc"
