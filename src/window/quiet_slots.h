#pragma once
// The form connects slots by name, and the window keeps slots for controls and
// signals the form does not have (its contract). Qt warns about each of those
// once per window; while a QuietUnmatchedSlots lives, exactly those warnings
// are dropped and every other message goes on as before.

#include <QString>
#include <QStringList>

namespace quiet {

// True when `message` is connectSlotsByName's warning about one of `names`
// (given as "on_x_clicked()", with their parameter lists).
bool isUnmatchedSlotWarning(const QString &message, const QStringList &names);

class QuietUnmatchedSlots
{
public:
    explicit QuietUnmatchedSlots(const QStringList &names);
    ~QuietUnmatchedSlots();
    QuietUnmatchedSlots(const QuietUnmatchedSlots &) = delete;
    QuietUnmatchedSlots &operator=(const QuietUnmatchedSlots &) = delete;
};

} // namespace quiet
