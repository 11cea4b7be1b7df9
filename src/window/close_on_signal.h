#pragma once
// SIGTERM and Ctrl-C close the window as its close button does: a run ends
// safely first (source off, units in normal mode, unstored words put back),
// then the window closes and the program ends.

#include "platform/termination_signal.h"

#include <QWidget>

inline void closeOnTermination(platform::TerminationSignal &stop, QWidget &window)
{
    QObject::connect(&stop, &platform::TerminationSignal::received, &window, &QWidget::close);
}
