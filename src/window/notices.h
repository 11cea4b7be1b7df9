#pragma once
// Operator notices: modal information boxes without parent, one OK button.

#include <QString>

namespace notices {

// Shows the box and returns when the operator has pressed OK. Boxes posted
// before it are shown first, in their order.
void showBox(const QString &title, const QString &text);
// The box waits for the event loop: for code running inside a reply's
// delivery, where a modal loop would hold up every other request's end.
void post(const QString &title, const QString &text);

} // namespace notices
