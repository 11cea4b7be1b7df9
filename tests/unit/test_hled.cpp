// The lamp: drawing geometry and state slots.

#include "widgets/hled.h"
#include "widgets/hled_geometry.h"

#include <QImage>
#include <QtTest>

class TestHLed : public QObject
{
    Q_OBJECT
private slots:
    void shading15();
    void shading20();
    void degenerate();
    void rim();
    void slots_();
    void offColourIsPainted();
};

void TestHLed::shading15()
{
    QCOMPARE(hled::drawingSize(QSize(15, 15)), 13);
    const hled::Shading s = hled::innerShading(13);
    QCOMPARE(s.lightenFactor, 132);
    const QVector<QRect> want = {
        QRect(QPoint(3, 3), QPoint(10, 10)), QRect(QPoint(3, 3), QPoint(9, 9)),
        QRect(QPoint(3, 3), QPoint(8, 8)),   QRect(QPoint(4, 4), QPoint(8, 8)),
        QRect(QPoint(4, 4), QPoint(7, 7)),   QRect(QPoint(4, 4), QPoint(6, 6)),
        QRect(QPoint(5, 5), QPoint(6, 6)),   QRect(QPoint(5, 5), QPoint(5, 5)),
    };
    QCOMPARE(s.ellipses, want);
}

void TestHLed::shading20()
{
    QCOMPARE(hled::drawingSize(QSize(20, 20)), 18);
    const hled::Shading s = hled::innerShading(18);
    QCOMPARE(s.lightenFactor, 121);
    QCOMPARE(s.ellipses.size(), 12);
    QCOMPARE(s.ellipses.first(), QRect(QPoint(4, 4), QPoint(15, 15)));
    QCOMPARE(s.ellipses.at(3).topLeft(), QPoint(5, 5));   // second group moves in
    QCOMPARE(s.ellipses.at(9).topLeft(), QPoint(7, 7));
    QCOMPARE(hled::drawingSize(QSize(30, 20)), 18);         // the smaller side counts
}

void TestHLed::degenerate()
{
    QCOMPARE(hled::drawingSize(QSize(2, 2)), 0);
    QCOMPARE(hled::drawingSize(QSize(1, 40)), 0);
    QVERIFY(hled::innerShading(0).ellipses.isEmpty());
    QCOMPARE(hled::innerShading(2).ellipses.size(), 1);    // n = 1 stops after one
}

void TestHLed::rim()
{
    const auto arcs = hled::rimArcs();
    QCOMPARE(arcs.size(), 12);
    QCOMPARE(arcs.first().firstStart, -600);   // the two chains meet at the bright spot
    QCOMPARE(arcs.first().secondStart, -840);
    QCOMPARE(arcs.last().secondStart, -3480);
    QCOMPARE(arcs.last().firstStart + hled::kRimArcSpan, 2280);   // and again at the dark one
    QCOMPARE(hled::rimRect(18), QRectF(1, 1, 17, 17));
}

void TestHLed::slots_()
{
    HLed lamp;
    QVERIFY(lamp.isOn());
    QCOMPARE(lamp.color(), QColor(Qt::green));
    QCOMPARE(lamp.sizeHint(), QSize(20, 20));
    QCOMPARE(lamp.minimumSizeHint(), QSize(16, 16));
    lamp.turnOn(false);
    QVERIFY(!lamp.isOn());
    lamp.turnOff(false);
    QVERIFY(lamp.isOn());
    lamp.toggle();
    lamp.toggle();
    QVERIFY(lamp.isOn());
    lamp.turnOff();
    QVERIFY(!lamp.isOn());
}

void TestHLed::offColourIsPainted()
{
    HLed lamp;
    lamp.setColor(QColor(255, 0, 0));
    lamp.resize(20, 20);
    lamp.turnOff(true);
    const QColor off = QColor(255, 0, 0).darker(300);
    QCOMPARE(lamp.paintColor(), off);

    QImage image(20, 20, QImage::Format_ARGB32);
    image.fill(Qt::white);
    lamp.render(&image);
    // The body's edge, outside the shading rings, carries the base colour.
    const QColor edge = image.pixelColor(3, 10);
    QVERIFY2(qAbs(edge.red() - off.red()) < 40 && edge.green() < 40,
             qPrintable(edge.name()));
    lamp.turnOn(true);
    image.fill(Qt::white);
    lamp.render(&image);
    QVERIFY(image.pixelColor(3, 10).red() > 200);
}

QTEST_MAIN(TestHLed)
#include "test_hled.moc"
