#pragma once
// A small round lamp, drawn with QPainter only.

#include <QColor>
#include <QWidget>

class HLed : public QWidget
{
    Q_OBJECT
public:
    explicit HLed(QWidget *parent = nullptr);
    ~HLed() override;

    QColor color() const;
    bool isOn() const;
    // Colour the lamp is painted with in its current state.
    QColor paintColor() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    void setColor(const QColor &color);
    void toggle();
    void turnOn(bool on = true);
    void turnOff(bool off = true);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct HLedData;
    HLedData *m_d;
};
