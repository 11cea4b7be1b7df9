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
};

} // namespace

QString text(Text which, int language)
{
    const int l = language >= 0 && language < 3 ? language : 2;
    return QString::fromUtf8(kTexts[int(which)][l]);
}

} // namespace standardstext
