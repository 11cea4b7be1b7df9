#pragma once
// Every dialog, box or file chooser a tab opens asks here first: while a run is
// active nothing modal may open, since a modal loop starves the run's units of
// requests. Openers registered here are also disabled for the run's duration.

class QWidget;

namespace modal_guard {

// False while any run is active; the opener then opens nothing.
bool mayOpen();
// Disables `opener` while a run is active, and restores its state after.
void holdDuringRuns(QWidget *opener);

} // namespace modal_guard
