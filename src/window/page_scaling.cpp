#include "window/page_scaling.h"

#include <QWidget>

namespace scaling {

QRect scaledRect(const QRectF &design, const QSizeF &designSize, const QSize &current)
{
    const double sx = double(current.width()) / designSize.width();
    const double sy = double(current.height()) / designSize.height();
    // Truncation toward zero, not rounding: -0.89 becomes 0.
    return QRect(int(design.x() * sx), int(design.y() * sy),
                 int(design.width() * sx), int(design.height() * sy));
}

void Rule::apply(QWidget *container, const QWidget *reference, int designWidth, int designHeight)
{
    if (!m_captured) {
        m_captured = true;
        m_designWidth = float(designWidth);
        m_designHeight = float(designHeight);
        const QRect g = container->geometry();
        m_x = float(g.x());
        m_y = float(g.y());
        m_w = float(g.width());
        m_h = float(g.height());
    }
    container->setGeometry(scaledRect(QRectF(m_x, m_y, m_w, m_h),
                                      QSizeF(m_designWidth, m_designHeight),
                                      reference->size()));
}

} // namespace scaling
