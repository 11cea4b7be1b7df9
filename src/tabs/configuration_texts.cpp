#include "tabs/configuration_texts.h"

namespace configtext {

namespace {

const char *const kTexts[int(Text::Count)][3] = {
    {"配置文件", "配置檔案", "Configuration"},
    {"读取设备", "讀取設備", "Read device"},
    {"打开文件", "打開檔案", "Open file"},
    {"保存到文件", "儲存到檔案", "Save to file"},
    {"与文件比较", "與檔案比較", "Compare with file"},
    {"写入文件配置", "寫入檔案配置", "Apply file"},
    {"位号/序列号", "位號/序號", "Tag / serial"},
    {"描述", "描述", "Description"},
    {"未打开文件", "未打開檔案", "no file open"},
    {"文件：%1", "檔案：%1", "file: %1"},
    {"字段", "欄位", "field"},
    {"设备", "設備", "device"},
    {"文件", "檔案", "file"},
    {"状态", "狀態", "state"},
    {"相同", "相同", "equal"},
    {"不同", "不同", "differs"},
    {"已校验", "已校驗", "verified"},
    {"已从地址 %1 读取配置", "已從地址 %1 讀取配置", "configuration read from address %1"},
    {"读取失败：%1", "讀取失敗：%1", "read failed: %1"},
    {"已保存到 %1", "已儲存到 %1", "saved to %1"},
    {"保存失败：%1", "儲存失敗：%1", "not saved: %1"},
    {"文件被拒绝：%1", "檔案被拒絕：%1", "file refused: %1"},
    {"请先打开文件", "請先打開檔案", "open a file first"},
    {"设备与文件相同", "設備與檔案相同", "device and file are equal"},
    {"%1 个字段不同", "%1 個欄位不同", "%1 field(s) differ"},
    {"配置文件 (*.json)", "配置檔案 (*.json)", "Configuration (*.json)"},
    {"同时写入本机校准", "同時寫入本機校準", "Also write the unit calibration"},
    {"不同（本机校准，未写入）", "不同（本機校準，未寫入）", "differs (unit calibration, left alone)"},
    {"设定相同；%1 个本机校准字段不同（未写入）", "設定相同；%1 個本機校準欄位不同（未寫入）",
     "settings are equal; %1 unit calibration field(s) differ (left alone)"},
    {"写入本机校准", "寫入本機校準", "Write unit calibration"},
    {"将写入以下本机校准字段：\n%1\n\n%2\n\n确定写入？", "將寫入以下本機校準欄位：\n%1\n\n%2\n\n確定寫入？",
     "These unit calibration fields will be written:\n%1\n\n%2\n\nWrite them?"},
    {"文件读自本设备（地址 %1）。", "檔案讀自本設備（地址 %1）。", "The file was read from this unit (address %1)."},
    {"注意：文件读自另一台设备（地址 %1），当前设备地址 %2；其校准不属于本设备。",
     "注意：檔案讀自另一台設備（地址 %1），目前設備地址 %2；其校準不屬於本設備。",
     "Caution: the file was read from another unit (address %1), this one is at %2; its calibration is not this unit's."},
    {"正在写入，文件保持不变", "正在寫入，檔案保持不變", "an apply is running; the file stays as it is"},
    {"另一项操作正在进行，未执行", "另一項操作正在進行，未執行", "another operation is running; nothing was done"},
};
static_assert(sizeof(kTexts) / sizeof(kTexts[0]) == int(Text::Count), "one row per text");

} // namespace

QString text(Text t, int language)
{
    const int l = language >= 0 && language < 3 ? language : 2;
    return QString::fromUtf8(kTexts[int(t)][l]);
}

} // namespace configtext
