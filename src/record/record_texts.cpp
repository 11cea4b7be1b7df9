#include "record/record_texts.h"


namespace record {

namespace {

struct Row {
    Text id;
    const char *text[3];
};

// One row per text.
const Row kRows[] = {
    {Text::TabTitle, {"校准记录", "校準記錄", "Calibration record"}},
    {Text::HeaderGroup, {"记录信息", "記錄資訊", "Record"}},
    {Text::Tag, {"位号", "位號", "Tag"}},
    {Text::Serial, {"序列号", "序號", "Serial number"}},
    {Text::Description, {"描述", "描述", "Description"}},
    {Text::Technician, {"校准人员", "校準人員", "Technician"}},
    {Text::ReferenceInstrument, {"标准器", "標準器", "Reference instrument"}},
    {Text::ReferenceDue, {"标准器有效期", "標準器有效期", "Reference due"}},
    {Text::Ambient, {"环境温度", "環境溫度", "Ambient"}},
    {Text::Tolerance, {"允差", "允差", "Tolerance"}},
    {Text::ToleranceDegrees, {"度", "度", "degrees"}},
    {Text::TolerancePercent, {"% 量程", "% 量程", "% of span"}},
    {Text::RangeLower, {"量程下限", "量程下限", "Range low"}},
    {Text::RangeUpper, {"量程上限", "量程上限", "Range high"}},
    {Text::ReadRange, {"读取量程", "讀取量程", "Read range"}},
    {Text::TestPoints, {"校准点", "校準點", "Test points"}},
    {Text::DefaultPoints, {"默认校准点", "預設校準點", "Default points"}},
    {Text::StablePolls, {"稳定次数", "穩定次數", "Stable polls"}},
    {Text::StableBand, {"稳定范围", "穩定範圍", "Band"}},
    {Text::StableTimeout, {"超时(秒)", "逾時(秒)", "Timeout (s)"}},
    {Text::RecordsFolder, {"记录文件夹", "記錄資料夾", "Records folder"}},
    {Text::CheckGroup, {"检查", "檢查", "Check"}},
    {Text::StartAsFound, {"开始校前检查", "開始校前檢查", "Start as found"}},
    {Text::StartAsLeft, {"开始校后检查", "開始校後檢查", "Start as left"}},
    {Text::Measure, {"测量", "測量", "Measure"}},
    {Text::Repeat, {"重测", "重測", "Repeat"}},
    {Text::Skip, {"跳过", "跳過", "Skip"}},
    {Text::Apply, {"请施加 %1 %2", "請施加 %1 %2", "Apply %1 %2"}},
    {Text::PressMeasure, {"设定好标准器后按“测量”", "設定好標準器後按「測量」",
                          "Set the calibrator, then press Measure"}},
    {Text::Reading, {"读数 %1", "讀數 %1", "Reading %1"}},
    {Text::Countdown, {"还需 %1 次稳定读数，%2 秒后超时", "還需 %1 次穩定讀數，%2 秒後逾時",
                       "%1 more steady polls, timeout in %2 s"}},
    {Text::NotStable, {"读数不稳定：重测或跳过", "讀數不穩定：重測或跳過",
                       "Not stable: repeat or skip"}},
    {Text::CheckDone, {"检查完成，已保存", "檢查完成，已儲存", "Check finished and saved"}},
    {Text::NoCheck, {"未在检查", "未在檢查", "No check running"}},
    {Text::AsFound, {"校前 (As found)", "校前 (As found)", "As found"}},
    {Text::AsLeft, {"校后 (As left)", "校後 (As left)", "As left"}},
    {Text::ColReference, {"标准值", "標準值", "Reference"}},
    {Text::ColReading, {"读数", "讀數", "Reading"}},
    {Text::ColError, {"误差", "誤差", "Error"}},
    {Text::ColErrorPercent, {"误差\n%量程", "誤差\n%量程", "Error\n% span"}},
    {Text::ColExpectedMa, {"应有 mA", "應有 mA", "Expected\nmA"}},
    {Text::ColMeasuredMa, {"实测 mA", "實測 mA", "Measured\nmA"}},
    {Text::ColCurrentError, {"电流误差", "電流誤差", "mA\nerror"}},
    {Text::ColResult, {"结果", "結果", "Result"}},
    {Text::Pass, {"合格", "合格", "PASS"}},
    {Text::Fail, {"不合格", "不合格", "FAIL"}},
    {Text::Skipped, {"已跳过", "已跳過", "skipped"}},
    {Text::Pending, {"未测", "未測", "not done"}},
    {Text::Incomplete, {"未完成", "未完成", "INCOMPLETE"}},
    {Text::ExportCsv, {"导出 CSV", "匯出 CSV", "Export CSV"}},
    {Text::ExportPdf, {"导出证书 PDF", "匯出證書 PDF", "Export PDF certificate"}},
    {Text::History, {"历史记录", "歷史記錄", "History"}},
    {Text::HistoryTime, {"时间", "時間", "Time"}},
    {Text::HistoryStage, {"阶段", "階段", "Stage"}},
    {Text::HistoryVerdict, {"结论", "結論", "Verdict"}},
    {Text::Drift, {"漂移 (上次校后 %1 → 本次校前)", "漂移 (上次校後 %1 → 本次校前)",
                   "Drift (as left %1 -> as found now)"}},
    {Text::NoDrift, {"无上次校后记录", "無上次校後記錄", "No earlier as-left record"}},
    {Text::CertificateTitle, {"校准证书", "校準證書", "Calibration certificate"}},
    {Text::Verdict, {"结论", "結論", "Verdict"}},
    {Text::SignTechnician, {"校准人员签字", "校準人員簽字", "Calibrated by"}},
    {Text::SignReviewer, {"审核人签字", "審核人簽字", "Reviewed by"}},
    {Text::SignDate, {"日期", "日期", "Date"}},
    {Text::RangeReadFailed, {"未能读取量程", "未能讀取量程", "Range not read"}},
    {Text::Saved, {"已保存 %1", "已儲存 %1", "Saved %1"}},
    {Text::SaveFailed, {"保存失败 %1", "儲存失敗 %1", "Cannot write %1"}},
    {Text::Exported, {"已导出 %1", "已匯出 %1", "Written %1"}},
    {Text::Laboratory, {"校准机构", "校準機構", "Laboratory"}},
    {Text::Procedure, {"校准规程", "校準規程", "Procedure"}},
    {Text::InputType, {"输入类型", "輸入類型", "Input type"}},
    {Text::Address, {"通讯地址", "通訊位址", "Address"}},
    {Text::ReferenceCertificate, {"标准器证书号", "標準器證書號", "Reference certificate"}},
    {Text::Uncertainty, {"扩展不确定度", "擴展不確定度", "Expanded uncertainty"}},
    {Text::Issued, {"签发时间", "簽發時間", "Issued"}},
    {Text::CertificateNumber, {"证书编号", "證書編號", "Certificate No."}},
    {Text::AmendmentOf, {"更正记录 %1：%2（%3）", "更正記錄 %1：%2（%3）", "Amends record %1: %2 (%3)"}},
    {Text::DecisionRule, {"判定规则：误差按 %1 %2 修约后判定（即所印数值），误差绝对值不超过允差（含边界）为合格（简单接受）。",
                          "判定規則：誤差按 %1 %2 修約後判定（即所印數值），誤差絕對值不超過允差（含邊界）為合格（簡單接受）。",
                          "Decision rule: errors are rounded to %1 %2 and judged as printed; a point passes when the printed error lies within the tolerance, its edge included (simple acceptance)."}},
    {Text::DecisionRuleGuarded, {"判定规则：误差按 %1 %2 修约后判定（即所印数值），以扩展不确定度设保护带：误差绝对值不超过 %3 %2 为合格。",
                                 "判定規則：誤差按 %1 %2 修約後判定（即所印數值），以擴展不確定度設保護帶：誤差絕對值不超過 %3 %2 為合格。",
                                 "Decision rule: errors are rounded to %1 %2 and judged as printed, guard-banded by the expanded uncertainty: a point passes when the printed error lies within ± %3 %2."}},
    {Text::AdjustedStatement, {"校前检查不合格，仪表已调整，校后结果见上。", "校前檢查不合格，儀表已調整，校後結果見上。",
                               "The as-found check failed; the instrument was adjusted and the as-left results are shown above."}},
    {Text::ReferenceOverridden, {"标准器已过有效期，仍使用的理由：", "標準器已過有效期，仍使用的理由：",
                                 "Reference instrument past its due date, used because:"}},
    {Text::PageOf, {"第 %1 页，共 %2 页", "第 %1 頁，共 %2 頁", "Page %1 of %2"}},
    {Text::DueMissing, {"请填写标准器有效期", "請填寫標準器有效期", "The reference instrument's due date is required"}},
    {Text::DueExpired, {"标准器已于 %1 过期：须填写理由方可继续", "標準器已於 %1 過期：須填寫理由方可繼續",
                        "The reference instrument was due on %1: give a reason to go on"}},
    {Text::OverrideReason, {"过期使用理由", "過期使用理由", "Override reason"}},
    {Text::FinishedUnchanged, {"已完成的检查不可修改：请填写更正理由，更正将另存为新版本",
                               "已完成的檢查不可修改：請填寫更正理由，更正將另存為新版本",
                               "A finished check is never changed: give an amendment reason and the correction is stored as a new version"}},
    {Text::AmendReason, {"更正理由", "更正理由", "Amendment reason"}},
    {Text::BadPoints, {"不是数字：“%1”（校准点用分号或空格分隔）", "不是數字：「%1」（校準點用分號或空格分隔）",
                       "Not a number: \"%1\" (separate points with ; or spaces)"}},
    {Text::BadNumber, {"不是数字：“%1”", "不是數字：「%1」", "Not a number: \"%1\""}},
    {Text::CsvBom, {"CSV 带 BOM", "CSV 帶 BOM", "CSV with BOM"}},
    {Text::VerifyChain, {"校验记录", "校驗記錄", "Verify records"}},
    {Text::ChainIntact, {"%1 条记录完好", "%1 筆記錄完好", "All %1 records intact"}},
    {Text::ChainBroken, {"记录被改动或顺序被改：%1", "記錄被改動或順序被改：%1", "Altered or out of order: %1"}},
    {Text::ImportJson, {"导入 JSON 记录", "匯入 JSON 記錄", "Import JSON records"}},
    {Text::ImportedCount, {"导入 %1 条记录，%2 条已存在", "匯入 %1 筆記錄，%2 筆已存在", "Imported %1 records, %2 already there"}},
    {Text::Range, {"量程", "量程", "Range"}},
    {Text::Instruments, {"仪表台账", "儀表台帳", "Instruments"}},
    {Text::Location, {"安装位置", "安裝位置", "Location"}},
    {Text::IntervalMonths, {"校准周期(月)", "校準週期(月)", "Interval (months)"}},
    {Text::LastAsLeft, {"上次校后", "上次校後", "Last as left"}},
    {Text::NextDue, {"下次到期", "下次到期", "Next due"}},
    {Text::Status, {"状态", "狀態", "Status"}},
    {Text::Search, {"搜索", "搜尋", "Search"}},
    {Text::SaveInstrument, {"保存仪表", "儲存儀表", "Save instrument"}},
    {Text::StartCheckFor, {"开始检查", "開始檢查", "Start a check"}},
    {Text::Overdue, {"已过期", "已過期", "overdue"}},
    {Text::DueSoon, {"即将到期", "即將到期", "due soon"}},
    {Text::DatabaseFailed, {"数据库：%1", "資料庫：%1", "Database: %1"}},
};


} // namespace

QString text(Text id, int language)
{
    for (const Row &row : kRows) {
        if (row.id == id)
            return QString::fromUtf8(row.text[language >= 0 && language < 3 ? language : 2]);
    }
    return {};
}

} // namespace record
