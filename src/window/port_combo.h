#pragma once
// The port box of the form: each entry shows what the system knows of the port
// and carries, as item data, the exact location the master opens.

#include "link/port_display.h"

#include <QList>
#include <QString>

class QComboBox;

namespace ports {

// Rebuilds `box` from `ports`. The entry chosen before stays chosen while it
// is still listed; a box filled for the first time takes preferredPort().
void refillPortBox(QComboBox *box, const QList<PortInfo> &ports);

// The location of the chosen entry (what the master opens), empty when none.
QString chosenLocation(const QComboBox *box);

} // namespace ports
