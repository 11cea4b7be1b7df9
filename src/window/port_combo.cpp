#include "window/port_combo.h"

#include "link/port_list.h"

#include <QAbstractItemView>
#include <QComboBox>

namespace ports {

QString chosenLocation(const QComboBox *box)
{
    const QVariant data = box->currentData();
    return data.isValid() ? data.toString() : box->currentText();
}

void refillPortBox(QComboBox *box, const QList<PortInfo> &ports)
{
    const QString keep = box->count() > 0 ? chosenLocation(box) : preferredPort();
    box->clear();
    for (const PortInfo &port : ports) {
        const QString text = displayText(port);
        box->addItem(text, port.location);
        box->setItemData(box->count() - 1, text, Qt::ToolTipRole);
    }
    const int kept = keep.isEmpty() ? -1 : box->findData(keep);
    if (kept >= 0)
        box->setCurrentIndex(kept);
    // The box is narrow; its list opens as wide as the longest entry.
    box->view()->setMinimumWidth(box->view()->sizeHintForColumn(0) + 24);
}

} // namespace ports
