#include "widgets/hled.h"

#include "widgets/hled_geometry.h"

#include <QPainter>

struct HLed::HLedData {
    int darkerFactor = 300;
    QColor color = Qt::green;
    bool isOn = true;
};

HLed::HLed(QWidget *parent)
    : QWidget(parent), m_d(new HLedData)
{
}

HLed::~HLed()
{
    delete m_d;
}

QColor HLed::color() const { return m_d->color; }
bool HLed::isOn() const { return m_d->isOn; }

QColor HLed::paintColor() const
{
    return m_d->isOn ? m_d->color : m_d->color.darker(m_d->darkerFactor);
}

QSize HLed::sizeHint() const { return QSize(20, 20); }
QSize HLed::minimumSizeHint() const { return QSize(16, 16); }

void HLed::setColor(const QColor &color)
{
    if (color == m_d->color)
        return;
    m_d->color = color;
    update();
}

void HLed::toggle()
{
    m_d->isOn = !m_d->isOn;
    update();
}

// Repainted only when the state changes: the lamps are set on every poll.
void HLed::turnOn(bool on)
{
    if (m_d->isOn == on)
        return;
    m_d->isOn = on;
    update();
}

void HLed::turnOff(bool off)
{
    turnOn(!off);
}

void HLed::paintEvent(QPaintEvent *)
{
    const int s = hled::drawingSize(size());
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);

    QColor c = paintColor();
    p.setBrush(QBrush(c, Qt::SolidPattern));
    p.drawEllipse(1, 1, s - 1, s - 1);

    QPen pen;
    pen.setWidth(hled::kRimPenWidth);
    const hled::Shading shading = hled::innerShading(s);
    for (int i = 0; i < shading.ellipses.size(); ++i) {
        if (i % 3 == 0) {
            c = c.lighter(shading.lightenFactor);
            pen.setColor(c);
            p.setPen(pen);
        }
        p.drawEllipse(shading.ellipses.at(i));
    }

    p.setBrush(Qt::NoBrush);
    QColor rim = palette().color(QPalette::Light);
    const QRectF r = hled::rimRect(s);
    for (const hled::RimArcPair &arc : hled::rimArcs()) {
        pen.setColor(rim);
        p.setPen(pen);
        p.drawArc(r, arc.firstStart, hled::kRimArcSpan);
        p.drawArc(r, arc.secondStart, hled::kRimArcSpan);
        rim = rim.darker(110);
    }
}
