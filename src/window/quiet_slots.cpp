#include "window/quiet_slots.h"

#include <QtGlobal>

namespace quiet {

namespace {

const QString kPrefix = QStringLiteral("QMetaObject::connectSlotsByName: No matching signal for ");

// Only one window is built at a time, on the GUI thread.
QtMessageHandler g_previous = nullptr;
QStringList g_names;

void filter(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && isUnmatchedSlotWarning(message, g_names))
        return;
    g_previous(type, context, message);
}

} // namespace

bool isUnmatchedSlotWarning(const QString &message, const QStringList &names)
{
    return message.startsWith(kPrefix) && names.contains(message.mid(kPrefix.size()));
}

QuietUnmatchedSlots::QuietUnmatchedSlots(const QStringList &names)
{
    g_names = names;
    g_previous = qInstallMessageHandler(filter);
}

QuietUnmatchedSlots::~QuietUnmatchedSlots()
{
    qInstallMessageHandler(g_previous);
    g_names.clear();
}

} // namespace quiet
