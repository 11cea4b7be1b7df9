#pragma once
// Operator notices: modal information boxes without parent, one OK button.

#include <QString>

namespace notices {

// Shows the box and returns when the operator has pressed OK.
void showBox(const QString &title, const QString &text);

} // namespace notices
