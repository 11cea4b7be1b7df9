#pragma once
// The lamp's drawing as plain geometry, so it can be checked without painting.

#include <QRect>
#include <QRectF>
#include <QSize>
#include <QVector>

namespace hled {

// Drawing size: the smaller side less 2, never negative.
int drawingSize(const QSize &widgetSize);

// Inner shading: ellipses in groups of three sharing one pen colour; each
// group's colour is the previous one lightened by `lightenFactor` percent.
struct Shading {
    int lightenFactor = 0;
    QVector<QRect> ellipses;   // bounding rectangles, corners inclusive
};
Shading innerShading(int drawingSize);

// Rim: twelve pairs of 240/16-degree arcs darkening step by step.
struct RimArcPair {
    int firstStart;
    int secondStart;
};
constexpr int kRimArcSpan = 240;
constexpr int kRimPenWidth = 2;
QVector<RimArcPair> rimArcs();
QRectF rimRect(int drawingSize);

} // namespace hled
