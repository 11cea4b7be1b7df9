#include "tabs/batch_cells.h"

#include <QPainter>

namespace batchcells {

QColor colour(autocal::CellState state)
{
    switch (state) {
    case autocal::CellState::Pass: return QColor(0x9c, 0xd8, 0x9c);
    case autocal::CellState::Fail: return QColor(0xee, 0x8e, 0x8e);
    case autocal::CellState::CannotPass: return QColor(0xf4, 0xc0, 0x6a);
    case autocal::CellState::NotMeasured: break;
    }
    return QColor(0xe4, 0xe4, 0xe4);
}

void Delegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QVariant found = index.data(kFoundRole);
    if (!found.isValid())
        return QStyledItemDelegate::paint(painter, option, index);
    const auto state = [&](int role) { return autocal::CellState(index.data(role).toInt()); };
    QRect left = option.rect.adjusted(1, 1, -1, -1);
    left.setWidth(left.width() / 2);
    QRect right = option.rect.adjusted(1, 1, -1, -1);
    right.setLeft(left.right() + 1);
    painter->fillRect(left, colour(state(kFoundRole)));
    painter->fillRect(right, colour(state(kLeftRole)));
    painter->setPen(option.palette.color(QPalette::Text));
    painter->drawText(option.rect, Qt::AlignCenter, index.data(Qt::DisplayRole).toString());
}

} // namespace batchcells
