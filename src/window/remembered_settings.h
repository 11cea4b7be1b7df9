#pragma once
// Remembered settings for a window: restored now, saved when the window closes
// and each time a link is opened. main() uses it; a window without it
// remembers nothing (as the tests' windows).

class Widget;

namespace prefs {

// Restores what the application's QSettings hold into `window` and keeps them
// up to date from then on.
void remember(Widget *window);

// Forgets everything remembered (--reset-settings).
void forget();

} // namespace prefs
