#include "configuration_texts.h"

namespace configtext {

namespace {

const char *const kTexts[int(Text::Count)][3] = {
    {"配置文件", "配置檔案", "Configuration"},
    {"读取设备", "讀取設備", "Read device"},
    {"打开文件", "打開檔案", "Open file"},
    {"保存到文件", "儲存到檔案", "Save to file"},
    {"与文件比较", "與檔案比較", "Compare with file"},
    {"写入文件配置", "寫入檔案配置", "Apply file"},
    {"位号", "位號", "Tag"},
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
};

} // namespace

QString text(Text t, int language)
{
    const int l = language >= 0 && language < 3 ? language : 2;
    return QString::fromUtf8(kTexts[int(t)][l]);
}

} // namespace configtext
