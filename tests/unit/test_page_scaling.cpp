// Proportional placement of the containers.

#include "window/page_scaling.h"

#include <QWidget>
#include <QtTest>

class TestPageScaling : public QObject
{
    Q_OBJECT
private slots:
    void window_data();
    void window();
    void ruleCapturesOnce();
};

void TestPageScaling::window_data()
{
    QTest::addColumn<QRect>("design");
    QTest::addColumn<QSize>("window");
    QTest::addColumn<QRect>("want");
    const QRect tabs(-1, 239, 891, 391);
    QTest::newRow("tabs at start size") << tabs << QSize(900, 687) << QRect(-1, 248, 891, 406);
    QTest::newRow("status at start size") << QRect(0, 630, 891, 31) << QSize(900, 687)
                                          << QRect(0, 655, 891, 32);
    QTest::newRow("logo at start size") << QRect(0, 0, 571, 171) << QSize(900, 687)
                                        << QRect(0, 0, 571, 177);
    QTest::newRow("live strip at start size") << QRect(0, 170, 891, 71) << QSize(900, 687)
                                              << QRect(0, 176, 891, 73);
    QTest::newRow("serial doubled") << QRect(580, 0, 311, 174) << QSize(1800, 1320)
                                    << QRect(1160, 0, 622, 348);
    QTest::newRow("tabs doubled") << tabs << QSize(1800, 1320) << QRect(-2, 478, 1782, 782);
    QTest::newRow("x truncated toward zero") << tabs << QSize(800, 600) << QRect(0, 217, 792, 355);
    QTest::newRow("design size is identity") << tabs << QSize(900, 660) << tabs;
}

void TestPageScaling::window()
{
    QFETCH(QRect, design);
    QFETCH(QSize, window);
    QFETCH(QRect, want);
    QCOMPARE(scaling::scaledRect(design, QSizeF(900, 660), window), want);
}

void TestPageScaling::ruleCapturesOnce()
{
    QWidget reference;
    reference.resize(1800, 1320);
    QWidget container(&reference);
    container.setGeometry(-1, 239, 891, 391);

    scaling::Rule rule;
    rule.apply(&container, &reference, 900, 660);
    QCOMPARE(container.geometry(), QRect(-2, 478, 1782, 782));

    // Later calls scale from the captured rectangle and design size, not the current ones.
    reference.resize(900, 660);
    rule.apply(&container, &reference, 100, 100);
    QCOMPARE(container.geometry(), QRect(-1, 239, 891, 391));
}

QTEST_MAIN(TestPageScaling)
#include "test_page_scaling.moc"
