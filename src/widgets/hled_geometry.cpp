#include "widgets/hled_geometry.h"

#include <QPoint>
#include <algorithm>

namespace hled {

int drawingSize(const QSize &widgetSize)
{
    return std::max(0, std::min(widgetSize.width(), widgetSize.height()) - 2);
}

Shading innerShading(int s)
{
    Shading shading;
    int n = (2 * s) / 3;
    if (n == 0)
        return shading;
    shading.lightenFactor = 260 / n + 100;
    int a = s / 5 + 1;
    int b = a + n - 3;
    auto ellipse = [&](int corner) { shading.ellipses.append(QRect(QPoint(a, a), QPoint(corner, corner))); };
    while (n > 0) {
        ellipse(b + 2);
        if (n == 1)
            break;
        ellipse(b + 1);
        if (n == 2)
            break;
        ellipse(b);
        a += 1;
        b -= 2;
        n -= 3;
    }
    return shading;
}

QVector<RimArcPair> rimArcs()
{
    QVector<RimArcPair> arcs;
    for (int k = 0; k < 12; ++k) {
        const int a = -840 - 240 * k;
        arcs.append({-1440 - a, a});
    }
    return arcs;
}

QRectF rimRect(int s)
{
    const int inset = kRimPenWidth / 2;
    return QRectF(inset, inset, s - inset, s - inset);
}

} // namespace hled
