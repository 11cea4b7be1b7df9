#pragma once
// Containers placed by absolute rectangles follow the size of their reference
// widget: design rectangle times current size over design size, truncated.

#include <QRect>
#include <QSize>

class QWidget;

namespace scaling {

// Pure arithmetic: rectangle `design` drawn for `designSize`, shown at `current`.
QRect scaledRect(const QRectF &design, const QSizeF &designSize, const QSize &current);

// One container tied to one reference widget. Captures the design size and the
// container's rectangle the first time it is applied and keeps them for good.
class Rule {
public:
    void apply(QWidget *container, const QWidget *reference, int designWidth, int designHeight);
    bool captured() const { return m_captured; }

private:
    bool m_captured = false;
    float m_designWidth = 0;
    float m_designHeight = 0;
    float m_x = 0, m_y = 0, m_w = 0, m_h = 0;
};

} // namespace scaling
