#pragma once
// The configuration file: JSON with named fields in engineering units and the
// raw words beside them. Version 1 files carried values only; they are read by
// encoding the values, as is any entry whose raw words were removed by hand.
// A file this version cannot read exactly is refused whole.

#include "core/configuration.h"

#include <QByteArray>
#include <QString>

namespace config {

constexpr int kFormatVersion = 2;

QByteArray toJson(const Configuration &c);

struct Loaded {
    std::optional<Configuration> config;
    QString error;   // why the file was refused, when config is empty
};
Loaded fromJson(const QByteArray &json);

// File helpers; `error` says what went wrong.
bool saveFile(const QString &path, const Configuration &c, QString *error);
Loaded loadFile(const QString &path);

} // namespace config
