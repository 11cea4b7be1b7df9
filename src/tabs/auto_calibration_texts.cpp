#include "tabs/auto_calibration_texts.h"

namespace autotext {

namespace {

const char *const kTexts[int(Text::Count)][3] = {
    {"自动校准", "自動校準", "Automatic calibration"},
    {"标准源", "標準源", "Reference source"},
    {"电流表", "電流表", "Meter"},
    {"地址", "位址", "Address"},
    {"型号", "型號", "Model"},
    {"识别", "識別", "Identify"},
    {"校准程序", "校準程序", "Procedure"},
    {"程序文件", "程序檔案", "Procedure file"},
    {"浏览…", "瀏覽…", "Browse…"},
    {"测试点", "測試點", "Points"},
    {"允差", "允差", "Tolerance"},
    {"位号", "位號", "Tag"},
    {"序列号", "序號", "Serial"},
    {"开始", "開始", "Start"},
    {"中止", "中止", "Abort"},
    {"阶段", "階段", "Phase"},
    {"点", "點", "Point"},
    {"标准值 (%1)", "標準值 (%1)", "Reference (%1)"},
    {"信号", "信號", "Signal"},
    {"读数 (%1)", "讀數 (%1)", "Reading (%1)"},
    {"误差 (%1)", "誤差 (%1)", "Error (%1)"},
    {"U (%1)", "U (%1)", "U (%1)"},
    {"回路电流 (mA)", "迴路電流 (mA)", "Loop (mA)"},
    {"结论", "結論", "Verdict"},
    {"合格", "合格", "pass"},
    {"不合格", "不合格", "fail"},
    {"校前", "校前", "as found"},
    {"校后", "校後", "as left"},
    {"调整中", "調整中", "adjusting"},
    {"准备中", "準備中", "preparing"},
    {"收尾", "收尾", "finishing"},
    {"等待稳定：%1/%2", "等待穩定：%1/%2", "settling: %1/%2"},
    {"校后检查合格", "校後檢查合格", "as-left check passed"},
    {"校后检查不合格", "校後檢查不合格", "as-left check failed"},
    {"已中止：%1", "已中止：%1", "aborted: %1"},
    {"未开始：%1", "未開始：%1", "not started: %1"},
    {"证书草稿（待批准）：%1", "證書草稿（待批准）：%1", "draft certificate, awaiting approval: %1"},
    {"无证书草稿：%1", "無證書草稿：%1", "no draft certificate: %1"},
    {"打开证书", "打開證書", "Open certificate"},
    {"各点误差", "各點誤差", "Error per point"},
    {"误差 (%1)", "誤差 (%1)", "error (%1)"},
    {"允差", "允差", "tolerance"},
    {"操作员中止", "操作員中止", "stopped by the operator"},
    {"另一项操作正在进行，未执行", "另一項操作正在進行，未執行", "another operation is running; nothing was done"},
    {"未识别：%1", "未識別：%1", "not identified: %1"},
    {"必填，用于记录和证书", "必填，用於記錄和證書", "needed for the records and the certificate"},
    {"标准器…", "標準器…", "Standards…"},
    {"环境仪表", "環境儀表", "Environment instrument"},
    {"可选", "可選", "optional"},
    {"另一次校准正在运行（%1），请等它结束", "另一次校準正在執行（%1），請等它結束", "another run is in progress (%1); it must end first"},
    {"窗口已关闭", "視窗已關閉", "the window was closed"},
    {"输入点 %1 %2", "輸入點 %1 %2", "input point %1 %2"},
    {"存储输入点", "儲存輸入點", "storing the input points"},
    {"输出 4 mA", "輸出 4 mA", "output at 4 mA"},
    {"输出 20 mA", "輸出 20 mA", "output at 20 mA"},
    {"变送器的序列号是其记录所必需的", "變送器的序號是其記錄所必需的", "the transmitter's serial number is needed for its records"},
    {"没有已解锁的执行人：请先在“校准记录”页登记或选择执行人并解锁，再开始",
     "沒有已解鎖的執行人：請先在「校準記錄」頁登記或選擇執行人並解鎖，再開始",
     "no performer is unlocked: enrol or choose a performer and unlock it in the Calibration record tab, then start"},
};

} // namespace

QString text(Text which, int language)
{
    const int l = language >= 0 && language < 3 ? language : 2;
    return QString::fromUtf8(kTexts[int(which)][l]);
}

QString stepText(const autocal::AdjustmentStep &step, int language)
{
    using K = autocal::AdjustmentStep::Kind;
    switch (step.kind) {
    case K::InputPoint: return text(Text::StepInputPoint, language).arg(step.value).arg(step.unit);
    case K::StoringInputs: return text(Text::StepStoringInputs, language);
    case K::Output4mA: return text(Text::StepOutput4mA, language);
    case K::Output20mA: break;
    }
    return text(Text::StepOutput20mA, language);
}

} // namespace autotext
