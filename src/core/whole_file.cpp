#include "core/whole_file.h"

#include "platform/file_sync.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

namespace files {

const QVector<FileKind> &allFileKinds()
{
    static const QVector<FileKind> kinds{FileKind::Keyring,     FileKind::SigningKey, FileKind::HeadNotes,
                                         FileKind::Checkpoint,  FileKind::Certificate, FileKind::Draft,
                                         FileKind::RecordFile,  FileKind::Export,      FileKind::Configuration,
                                         FileKind::TrafficText, FileKind::TrendImage};
    return kinds;
}

QString fileKindName(FileKind kind)
{
    switch (kind) {
    case FileKind::Keyring: return QStringLiteral("keyring");
    case FileKind::SigningKey: return QStringLiteral("signing key");
    case FileKind::HeadNotes: return QStringLiteral("head notes");
    case FileKind::Checkpoint: return QStringLiteral("checkpoint");
    case FileKind::Certificate: return QStringLiteral("certificate PDF");
    case FileKind::Draft: return QStringLiteral("draft");
    case FileKind::RecordFile: return QStringLiteral("record file");
    case FileKind::Export: return QStringLiteral("export");
    case FileKind::Configuration: return QStringLiteral("configuration file");
    case FileKind::TrafficText: return QStringLiteral("traffic text");
    case FileKind::TrendImage: return QStringLiteral("trend image");
    }
    return QStringLiteral("file");
}

namespace {

bool fail(QString &error, const QString &path, const QString &why)
{
    error = QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(path), why);
    return false;
}

bool writeThrough(QSaveFile &f, const QString &path, const QByteArray &bytes, QString &error, Access access)
{
    if (!f.open(QIODevice::WriteOnly))
        return fail(error, path, f.errorString());
    if (access == Access::OwnerOnly && !f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        f.cancelWriting();
        return fail(error, path, QStringLiteral("its permissions cannot be set to its owner only"));
    }
    const bool written = f.write(bytes) == bytes.size() && f.flush();
    if (!written || !platform::syncToDisk(f)) {
        const QString why = written ? QStringLiteral("the disk did not take it") : f.errorString();
        f.cancelWriting();
        return fail(error, path, why);
    }
    if (!f.commit())
        return fail(error, path, f.errorString());
    return true;
}

} // namespace

bool writeWhole(FileKind, const QString &path, const QByteArray &bytes, QString &error, Access access,
                Existing existing)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return fail(error, path, QStringLiteral("its folder cannot be made"));
    QSaveFile f(path);
    if (existing == Existing::Replace)
        return writeThrough(f, path, bytes, error, access);
    // Two writers at once: the one that comes second finds the first's file.
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(5000))
        return fail(error, path, lock.error() == QLockFile::LockFailedError ? QStringLiteral("another writer holds it")
                                                                            : QStringLiteral("its lock cannot be made"));
    if (QFileInfo::exists(path))
        return fail(error, path, QStringLiteral("it exists already"));
    return writeThrough(f, path, bytes, error, access);
}

} // namespace files
