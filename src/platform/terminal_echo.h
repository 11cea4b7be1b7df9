#pragma once
// A line typed at the terminal without echo, for passphrases: nullopt when
// standard input is not a terminal or nothing could be read.

#include <QByteArray>
#include <QString>
#include <optional>

namespace platform {

std::optional<QByteArray> readWithoutEcho(const QString &prompt);

} // namespace platform
