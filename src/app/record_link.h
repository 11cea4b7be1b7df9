#pragma once
// The calibration record's one device read, through the window's link and
// operation guard. Kept apart so the request layer can change underneath it.

#include <QVector>
#include <QtGlobal>
#include <optional>

class Widget;

class RecordLink
{
public:
    // The holding block, or nullopt when another operation runs, the link is
    // down or the read failed (the operator has then been told).
    static std::optional<QVector<quint16>> readHoldingBlock(Widget &window);
};
