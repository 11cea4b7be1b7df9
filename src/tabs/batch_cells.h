#pragma once
// How a cell of the Batch view shows its point: the left half coloured by the
// as-found state, the right half by the as-left state, the text over both.
// The states ride on the item (kFoundRole, kLeftRole), so what is drawn is
// what a test reads.

#include "automation/batch_progress.h"

#include <QColor>
#include <QStyledItemDelegate>

namespace batchcells {

constexpr int kFoundRole = Qt::UserRole + 1;
constexpr int kLeftRole = Qt::UserRole + 2;

QColor colour(autocal::CellState state);

class Delegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

} // namespace batchcells
