#include "tabs/standards_texts.h"

namespace standardstext {

namespace {

const char *const kTexts[int(Text::Count)][3] = {
    {"参考标准器", "參考標準器", "Reference standards"},
    {"序列号", "序號", "Serial"},
    {"型号", "型號", "Model"},
    {"说明", "說明", "Description"},
    {"校准证书", "校準證書", "Certificate"},
    {"校准日期", "校準日期", "Calibrated"},
    {"到期日期", "到期日期", "Due"},
    {"状态", "狀態", "Status"},
    {"保存标准器", "儲存標準器", "Save standard"},
    {"新建", "新增", "New"},
    {"已保存：%1", "已儲存：%1", "saved: %1"},
    {"已过期", "已過期", "overdue"},
    {"即将到期", "即將到期", "due soon"},
    {"证书给出的量值", "證書給出的量值", "Certificate terms"},
    {"扩展不确定度 U", "擴展不確定度 U", "U"},
    {"包含因子 k", "涵蓋因子 k", "k"},
    {"修正值", "修正值", "Correction"},
    {"年漂移", "年漂移", "Drift per year"},
    {"每项功能按其单位填写标准器证书给出的 U、k、修正值和年漂移；空行表示证书未给出",
     "每項功能按其單位填寫標準器證書給出的 U、k、修正值和年漂移；空行表示證書未給出",
     "U, k, correction and drift per year as the standard's certificate states them, in each function's unit; "
     "an empty row states nothing"},
    {"%1 的证书量值不完整或无效：U 和漂移不能为负，k 须大于 0；未保存",
     "%1 的證書量值不完整或無效：U 和漂移不能為負，k 須大於 0；未儲存",
     "the certificate terms for %1 are not whole or not valid (U and the drift not negative, k above 0): nothing saved"},
};

} // namespace

QString text(Text which, int language)
{
    const int l = language >= 0 && language < 3 ? language : 2;
    return QString::fromUtf8(kTexts[int(which)][l]);
}

} // namespace standardstext
