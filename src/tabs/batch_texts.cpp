#include "tabs/batch_texts.h"

namespace batchtext {

namespace {

const char *const kTexts[int(Text::Count)][3] = {
    {"批量校准", "批量校準", "Batch"},
    {"切换开关", "切換開關", "Switch"},
    {"批次", "批次", "Batch"},
    {"通道表文件", "通道表檔案", "Channel map"},
    {"单元", "單元", "Unit"},
    {"序列号", "序號", "Serial"},
    {"点 %1", "點 %1", "Point %1"},
    {"结果", "結果", "Outcome"},
    {"证书", "證書", "Certificate"},
    {"打开", "打開", "Open"},
    {"每格左半：校前，右半：校后。绿：合格，红：不合格，橙：无法判定合格，灰：未测",
     "每格左半：校前，右半：校後。綠：合格，紅：不合格，橙：無法判定合格，灰：未測",
     "Each cell: left half as found, right half as left. Green pass, red fail, orange cannot pass, grey not measured"},
    {"已完成 %1%", "已完成 %1%", "%1% done"},
    {"约剩 %1 分 %2 秒", "約剩 %1 分 %2 秒", "about %1 min %2 s left"},
    {"合格", "合格", "passed"},
    {"不合格", "不合格", "failed"},
    {"已结束：%1", "已結束：%1", "ended: %1"},
    {"未校准", "未校準", "not calibrated"},
    {"测量中：%1", "測量中：%1", "measuring: %1"},
    {"调整中：%1", "調整中：%1", "adjusting: %1"},
    {"批次完成：%1/%2 台校后合格", "批次完成：%1/%2 台校後合格", "batch done: %1 of %2 units passed as left"},
    {"批次已结束：%1", "批次已結束：%1", "the batch ended: %1"},
    {"未测", "未測", "not measured"},
    {"合格", "合格", "pass"},
    {"不合格", "不合格", "fail"},
    {"无法判定合格", "無法判定合格", "cannot pass"},
    {"校前：%1；校后：%2", "校前：%1；校後：%2", "as found: %1; as left: %2"},
};

} // namespace

QString text(Text which, int language)
{
    const int l = language >= 0 && language < 3 ? language : 2;
    return QString::fromUtf8(kTexts[int(which)][l]);
}

QString stateText(autocal::CellState state, int language)
{
    switch (state) {
    case autocal::CellState::Pass: return text(Text::Pass, language);
    case autocal::CellState::Fail: return text(Text::Fail, language);
    case autocal::CellState::CannotPass: return text(Text::CannotPass, language);
    case autocal::CellState::NotMeasured: break;
    }
    return text(Text::NotMeasured, language);
}

} // namespace batchtext
