#include "diagnostics/crc_watch.h"

#include <QMutex>
#include <QString>
#include <atomic>
#include <cstring>

namespace diag {

namespace {

QMutex installLock;
int watchers = 0;
QtMessageHandler previousHandler = nullptr;
std::atomic<quint64> discardCount{0};

// Messages may come from any thread; the count is atomic and the previous
// handler is only replaced under the lock, with no watch in between.
void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (CrcWatch::isCrcDiscard(context.category, message))
        ++discardCount;
    if (previousHandler)
        previousHandler(type, context, message);
}

} // namespace

CrcWatch::CrcWatch()
{
    QMutexLocker lock(&installLock);
    if (watchers++ == 0)
        previousHandler = qInstallMessageHandler(handler);
}

CrcWatch::~CrcWatch()
{
    QMutexLocker lock(&installLock);
    if (--watchers == 0)
        qInstallMessageHandler(previousHandler);
}

quint64 CrcWatch::discards()
{
    return discardCount.load();
}

bool CrcWatch::isCrcDiscard(const char *category, const QString &message)
{
    return category && std::strcmp(category, "qt.modbus") == 0
        && message.contains(QLatin1String("Discarding response with wrong CRC"));
}

} // namespace diag
