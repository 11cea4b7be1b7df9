#pragma once
// The one way the tool writes a file: whole or not at all. The bytes go to a
// file beside the target, are flushed and synced to the disk, and only then
// take the target's name; on any failure the old file stays as it was and
// the caller gets the reason to say. Every file the tool writes is of one of
// the kinds below, so that the disk-full check can try each.

#include <QByteArray>
#include <QString>
#include <QVector>

namespace files {

enum class FileKind {
    Keyring,         // the laboratory's trusted keys
    SigningKey,      // this workstation's secret key
    HeadNotes,       // the heads noted of every database written (anchors.json)
    Checkpoint,      // `records anchor FILE`
    Certificate,     // a certificate's PDF
    Draft,           // a record kept before it could be stored
    RecordFile,      // a record's JSON file
    Export,          // `records export`, CSV or JSON
    Configuration,   // a transmitter configuration file
    TrafficText,     // the traffic view's text export
    TrendImage,      // the trend's picture
};
const QVector<FileKind> &allFileKinds();
QString fileKindName(FileKind kind);

enum class Access {
    Shared,      // as the system makes new files
    OwnerOnly,   // readable by its owner only, from the first byte on
};
enum class Existing {
    Replace,   // an existing file is replaced, whole
    Keep,      // an existing file is never replaced: refused
};

// `bytes` as the whole of `path`, its folder made when missing. False with
// `error` ("cannot write PATH: reason") when anything failed; then the file
// at `path` is what it was before.
bool writeWhole(FileKind kind, const QString &path, const QByteArray &bytes, QString &error,
                Access access = Access::Shared, Existing existing = Existing::Replace);

} // namespace files
