#pragma once
// Operator notices: information boxes without parent, one OK button; modal,
// except while a run is active, when each box is shown and left to the
// operator without stopping anything.

#include <QString>

namespace notices {

// Shows the box and returns when the operator has pressed OK. Boxes posted
// before it are shown first, in their order.
void showBox(const QString &title, const QString &text);
// The box waits for the event loop: for code running inside a reply's
// delivery, where a modal loop would hold up every other request's end.
void post(const QString &title, const QString &text);
// While any run is active, boxes are non-modal and return at once.
bool runActive();
// The boxes still open go with the window: none keeps the application running.
void closeAll();

} // namespace notices
