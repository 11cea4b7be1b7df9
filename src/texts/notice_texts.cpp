#include "texts/notice_texts.h"

#include <cstddef>

namespace notices {

namespace {

constexpr int kLanguageCount = 3;

bool validLanguage(int language) { return language >= 0 && language < kLanguageCount; }

const char *const kTitles[kLanguageCount] = {"提示", "提示", "prompt"};

// Indexed by Notice. The wording (the stray "R", the missing "！" in Traditional
// Chinese) is what operators already know; keep it.
const char *const kNotices[][kLanguageCount] = {
    {"通讯未连接", "通訊未連接", "Communication not connected"},
    {"读失败", "讀失敗", "Read failure"},
    {"写失败R", "寫失敗R", "Write failed R"},
    {"串口连接失败", "串口連接失敗", "Serial connection failed"},
    {"Modbus 设备创建失败，重新启动软件", "Modbus 設備創建失敗，重新啟動軟件", "Device creation failed. Restart software"},
    {"波特率更改，请重启设备并重新连接！", "波特率更改，請重啟設備并重新連接", "Baud rate changed, please restart the device and reconnect"},
    {"成功", "成功", "successful"},
    {"设备地址须为 1 至 247 之间的整数，未连接", "設備地址須為 1 至 247 之間的整數，未連接",
     "The device address must be a whole number from 1 to 247; not connected"},
    {"变送器的小数位设置无法换算，未写入任何数据", "變送器的小數位設置無法換算，未寫入任何數據",
     "The transmitter's decimal-places setting cannot be converted; nothing was written"},
    {"通讯已断开，操作已中止", "通訊已斷開，操作已中止", "The link was closed; the operation stopped"},
};
static_assert(sizeof(kNotices) / sizeof(kNotices[0])
                  == static_cast<std::size_t>(Notice::LinkClosedDuringOperation) + 1,
              "one row per Notice");

// Indexed by Field; the same words as the form's labels where there is one.
const char *const kFields[][kLanguageCount] = {
    {"变送高限", "變送高限", "upper bound"},
    {"变送低限", "變送低限", "minimum"},
    {"零点偏移", "零點偏移", "zero offset"},
    {"室温零点偏移", "室溫零點偏移", "indoor zero offset"},
    {"室温参考温度", "室溫參考溫度", "room temperature reference"},
    {"4mA实测电流", "4mA實測電流", "measured 4mA current"},
    {"20mA实测电流", "20mA實測電流", "measured 20mA current"},
};
static_assert(sizeof(kFields) / sizeof(kFields[0]) == static_cast<std::size_t>(Field::Meter20mA) + 1,
              "one row per Field");

const char *const kInvalidNumber[kLanguageCount] = {
    "%1：请输入 %2 至 %3 之间的数值，未写入任何数据",
    "%1：請輸入 %2 至 %3 之間的數值，未寫入任何數據",
    "%1: enter a number from %2 to %3; nothing was written",
};

// %1 the port, %2 the group.
const char *const kPermission[kLanguageCount] = {
    "没有打开串口 %1 的权限。请把当前用户加入 %2 组（sudo usermod -aG %2 $USER），然后注销并重新登录。",
    "沒有開啟串口 %1 的權限。請把目前使用者加入 %2 群組（sudo usermod -aG %2 $USER），然後登出並重新登入。",
    "No permission to open the serial port %1. Add your user to the group %2 "
    "(sudo usermod -aG %2 $USER), then log out and log in again.",
};

// %1 the port.
const char *const kPortSilent[kLanguageCount] = {
    "串口 %1 不接收数据，已断开连接。请检查端口选择，或重新插拔 USB 串口适配器后再连接。",
    "串口 %1 不接收數據，已斷開連接。請檢查端口選擇，或重新插拔 USB 串口轉接器後再連接。",
    "The serial port %1 is not taking data; the link was closed. Check the chosen port, "
    "or unplug and replug the USB-serial adapter, then connect again.",
};

}  // namespace

std::optional<NoticeText> noticeText(Notice n, int language) {
    if (!validLanguage(language))
        return std::nullopt;
    return NoticeText{QString::fromUtf8(kTitles[language]),
                      QString::fromUtf8(kNotices[static_cast<int>(n)][language])};
}

QString fieldName(Field f, int language) {
    if (!validLanguage(language))
        return {};
    return QString::fromUtf8(kFields[static_cast<int>(f)][language]);
}

std::optional<NoticeText> invalidNumberNotice(Field f, const QString &min, const QString &max, int language) {
    if (!validLanguage(language))
        return std::nullopt;
    // Multi-argument arg() substitutes in one pass, so a "%" inside a value stays literal.
    return NoticeText{QString::fromUtf8(kTitles[language]),
                      QString::fromUtf8(kInvalidNumber[language]).arg(fieldName(f, language), min, max)};
}

std::optional<NoticeText> permissionNotice(const QString &port, const QString &group, int language) {
    if (!validLanguage(language))
        return std::nullopt;
    return NoticeText{QString::fromUtf8(kTitles[language]),
                      QString::fromUtf8(kPermission[language]).arg(port, group)};
}

std::optional<NoticeText> portSilentNotice(const QString &port, int language) {
    if (!validLanguage(language))
        return std::nullopt;
    return NoticeText{QString::fromUtf8(kTitles[language]), QString::fromUtf8(kPortSilent[language]).arg(port)};
}

}  // namespace notices
