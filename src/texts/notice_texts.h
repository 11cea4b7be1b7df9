#pragma once

#include <QString>
#include <optional>

// Every operator notice, by language index (0 Simplified Chinese, 1 Traditional
// Chinese, 2 English). Any other index gives nullopt: no box is shown then.
namespace notices {

enum class Notice {
    NotConnected,
    ReadFailure,
    WriteFailure,
    SerialConnectFailed,
    DeviceCreationFailed,
    BaudRateChanged,
    WriteSucceeded,
    InvalidAddress,        // nothing opened: the address is not 1..247
    UnknownDecimalCode,    // nothing written: the reading cannot be scaled
    LinkClosedDuringOperation,
};

struct NoticeText {
    QString title;
    QString text;
};

std::optional<NoticeText> noticeText(Notice n, int language);

// Operator-entered values that may be refused, named as their labels read.
enum class Field { UpperRange, LowerRange, ZeroOffset, RoomZeroOffset, RoomReference, Meter4mA, Meter20mA };

QString fieldName(Field f, int language);  // empty outside 0..2

// Refused operator input; min and max come already formatted ("-300.0", "3000.0").
std::optional<NoticeText> invalidNumberNotice(Field f, const QString &min, const QString &max, int language);

// The serial port `port` may not be opened by this user: join `group`, then log in again.
std::optional<NoticeText> permissionNotice(const QString &port, const QString &group, int language);

// The master never got a request out on `port`: the link was closed.
std::optional<NoticeText> portSilentNotice(const QString &port, int language);

}  // namespace notices
