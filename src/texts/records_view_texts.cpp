#include "texts/records_view_texts.h"

#include "core/text_rows.h"

#include "texts/engine_texts.h"

namespace rv {

namespace {

using Row = textrows::Row<Text>;

// One row per text, in the order of the enumeration.
constexpr Row kRows[] = {
    {Text::TabTitle, {"记录总览", "記錄總覽", "Records"}},
    {Text::Search, {"搜索序列号、位号、证书", "搜尋序號、位號、證書", "Search serial, tag, certificate"}},
    {Text::AllStates, {"所有状态", "所有狀態", "All states"}},
    {Text::From, {"自", "自", "From"}},
    {Text::To, {"至", "至", "to"}},
    {Text::Refresh, {"刷新", "重新整理", "Refresh"}},
    {Text::ColDate, {"日期", "日期", "Date"}},
    {Text::ColSerial, {"序列号", "序號", "Serial"}},
    {Text::ColTag, {"位号", "位號", "Tag"}},
    {Text::ColVerdict, {"结论", "結論", "Verdict"}},
    {Text::ColCertificate, {"证书编号", "證書編號", "Certificate"}},
    {Text::ColState, {"状态", "狀態", "State"}},
    {Text::StateDraft, {"草稿", "草稿", "draft"}},
    {Text::StatePerformed, {"已执行", "已執行", "performed"}},
    {Text::StateReviewed, {"已审核", "已審核", "reviewed"}},
    {Text::StateApproved, {"已批准", "已批准", "approved"}},
    {Text::StateCertified, {"已出证", "已出證", "certified"}},
    {Text::StateSuperseded, {"已被取代", "已被取代", "superseded"}},
    {Text::StateWithdrawn, {"已撤回", "已撤回", "withdrawn"}},
    {Text::Pass, {"合格", "合格", "pass"}},
    {Text::Fail, {"不合格", "不合格", "fail"}},
    {Text::Incomplete, {"未完成", "未完成", "incomplete"}},
    {Text::Review, {"审核", "審核", "Review"}},
    {Text::Approve, {"批准", "批准", "Approve"}},
    {Text::Issue, {"出具证书", "出具證書", "Issue"}},
    {Text::Open, {"打开证书", "開啟證書", "Open"}},
    {Text::Reprint, {"重印", "重印", "Reprint"}},
    {Text::Replace, {"替换证书", "替換證書", "Replace"}},
    {Text::Export, {"导出 CSV", "匯出 CSV", "Export CSV"}},
    {Text::SigningAs, {"签署人", "簽署人", "Signing as"}},
    {Text::Function, {"职务", "職務", "Function"}},
    {Text::NoSelection, {"请先选择一条校准", "請先選擇一筆校準", "select a calibration first"}},
    {Text::NotStored, {"尚未存入记录数据库", "尚未存入記錄資料庫", "not in the records database yet"}},
    {Text::SupersededBy, {"已被记录 #%1 取代", "已被記錄 #%1 取代", "superseded by record #%1"}},
    {Text::ReviewedFirst, {"须先审核", "須先審核", "reviewed first"}},
    {Text::YouPerformed, {"此检查由您执行", "此檢查由您執行", "you performed this check"}},
    {Text::YouReviewed, {"此检查由您审核", "此檢查由您審核", "you reviewed this check"}},
    {Text::ReviewedAlready, {"已审核过", "已審核過", "reviewed already"}},
    {Text::ApprovedAlready, {"已批准过", "已批准過", "approved already"}},
    {Text::ApprovedFirst, {"须先批准", "須先批准", "approved first"}},
    {Text::CertifiedAlready, {"已出具证书 %1：请重印或替换", "已出具證書 %1：請重印或替換",
                              "certified already: certificate %1 (reprint or replace it)"}},
    {Text::NoCertificate, {"尚未出具证书", "尚未出具證書", "no certificate issued"}},
    {Text::ChainBroken, {"记录链校验未通过：%1", "記錄鏈校驗未通過：%1", "the chain does not verify: %1"}},
    {Text::NoPerson, {"请先填写签署人", "請先填寫簽署人", "name the signer first"}},
    {Text::NoDatabase, {"没有记录数据库", "沒有記錄資料庫", "no records database"}},
    {Text::Reviewed, {"记录 %1 已由 %2 审核", "記錄 %1 已由 %2 審核", "records %1 reviewed by %2"}},
    {Text::Approved, {"记录 %1 已由 %2 批准", "記錄 %1 已由 %2 批准", "records %1 approved by %2"}},
    {Text::Issued, {"证书 %1 已出具：%2", "證書 %1 已出具：%2", "certificate %1 issued: %2"}},
    {Text::Reprinted, {"已重印：%1", "已重印：%1", "reprinted: %1"}},
    {Text::Replaced, {"证书 %1 已出具，取代证书 %2：%3", "證書 %1 已出具，取代證書 %2：%3",
                      "certificate %1 issued, replacing certificate %2: %3"}},
    {Text::Exported, {"已导出：%1", "已匯出：%1", "exported: %1"}},
    {Text::NotDone, {"未完成：%1", "未完成：%1", "not done: %1"}},
    {Text::Details, {"详情", "詳情", "Details"}},
    {Text::AsFound, {"校前", "校前", "As found"}},
    {Text::AsLeft, {"校后", "校後", "As left"}},
    {Text::Points, {"校准点", "校準點", "Points"}},
    {Text::Signatures, {"签名", "簽名", "Signatures"}},
    {Text::ChainState, {"记录链", "記錄鏈", "Chain"}},
    {Text::ChainIntact, {"校验通过（%1 条目）", "校驗通過（%1 條目）", "verifies (%1 entries)"}},
    {Text::HeadNotNoted, {"已存储，但本机未能记下链头：%1", "已儲存，但本機未能記下鏈頭：%1",
                          "stored, but this workstation could not note the head: %1"}},
    {Text::NoSignatures, {"无签名", "無簽名", "no signatures"}},
    {Text::SignaturePerformed, {"执行", "執行", "performed"}},
    {Text::SignatureReviewed, {"审核", "審核", "reviewed"}},
    {Text::SignatureApproved, {"批准", "批准", "approved"}},
    {Text::SignatureLine, {"%1：%2（%3）%4", "%1：%2（%3）%4", "%1: %2 (%3) %4"}},
    {Text::PointLine, {"%1 → %2，误差 %3，U %4：%5", "%1 → %2，誤差 %3，U %4：%5",
                       "%1 → %2, error %3, U %4: %5"}},
    {Text::RecordLine, {"记录 #%1，%2，%3", "記錄 #%1，%2，%3", "record #%1, %2, %3"}},
    {Text::CertificateLine, {"证书 %1", "證書 %1", "certificate %1"}},
    {Text::WithdrawnLine, {"证书 %1 已撤回，由 %2 取代", "證書 %1 已撤回，由 %2 取代",
                           "certificate %1 withdrawn, replaced by %2"}},
    {Text::DueTitle, {"待校清单", "待校清單", "Due list"}},
    {Text::DueSearch, {"搜索位号、序列号、位置", "搜尋位號、序號、位置", "Search tag, serial, location"}},
    {Text::ShowAll, {"也显示未到期的", "也顯示未到期的", "Show those on time too"}},
    {Text::ColDescription, {"描述", "描述", "Description"}},
    {Text::ColLocation, {"位置", "位置", "Location"}},
    {Text::ColLastAsLeft, {"上次校后", "上次校後", "Last as-left"}},
    {Text::ColDue, {"到期日", "到期日", "Due"}},
    {Text::ColDueState, {"状态", "狀態", "State"}},
    {Text::DueNever, {"从未校准", "從未校準", "never calibrated"}},
    {Text::DueOverdue, {"已过期", "已過期", "overdue"}},
    {Text::DueSoon, {"即将到期", "即將到期", "due"}},
    {Text::DueOk, {"正常", "正常", "on time"}},
    {Text::StartAutomatic, {"自动校准所选", "自動校準所選", "Calibrate automatically"}},
    {Text::HandedAutomatic, {"%1 已填入自动校准", "%1 已填入自動校準", "%1 is in the Automatic calibration"}},
    {Text::NothingSelected, {"请先选择仪表", "請先選擇儀表", "select an instrument first"}},
    {Text::RuleLabel, {"判定规则", "判定規則", "Decision rule"}},
    {Text::RuleSimple, {"简单接受", "簡單接受", "simple acceptance"}},
    {Text::RuleGuarded, {"保护带接受", "保護帶接受", "guarded acceptance"}},
    {Text::RuleNonBinary, {"非二元判定", "非二元判定", "non-binary"}},
    {Text::GuardFactor, {"保护带系数 r（w = r·U）", "保護帶係數 r（w = r·U）", "guard factor r (w = r·U)"}},
    {Text::SignTitle, {"签署", "簽署", "Sign"}},
    {Text::SignReviewTitle, {"审核记录 %1", "審核記錄 %1", "Review records %1"}},
    {Text::SignApproveTitle, {"批准记录 %1", "批准記錄 %1", "Approve records %1"}},
    {Text::SignName, {"姓名", "姓名", "Name"}},
    {Text::SignPassphrase, {"口令", "口令", "Passphrase"}},
    {Text::SignOk, {"签署", "簽署", "Sign"}},
    {Text::SignCancel, {"取消", "取消", "Cancel"}},
    {Text::DialogOk, {"确定", "確定", "OK"}},
};
static_assert(textrows::inIdOrder(kRows, Text::TextCount), "one row per text, in the order of the enumeration");

static_assert(sizeof(kRows) / sizeof(kRows[0]) == static_cast<int>(Text::TextCount), "one row per text");

} // namespace

QString text(Text id, int language) { return textrows::text(kRows, id, language); }

QString notDone(const QString &reason, int language)
{
    return text(Text::NotDone, language).arg(enginetext::render(reason, language));
}

} // namespace rv
