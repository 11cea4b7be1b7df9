#pragma once
// The tabs beyond the window's own four pages.

class QComboBox;
class QTabWidget;
class Widget;

namespace tabs {

// Adds the Trend and Traffic tabs after the window's pages and connects them to
// the window's signals and to its language box.
void addDiagnosticTabs(Widget *window, QTabWidget *pages, QComboBox *language);

} // namespace tabs
