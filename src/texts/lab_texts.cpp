#include "texts/lab_texts.h"

#include "core/text_rows.h"

namespace labtext {

namespace {

using Row = textrows::Row<Text>;

// One row per text, in the order of the enumeration.
constexpr Row kRows[] = {
    {Text::StartBatch, {"批量校准所选", "批量校準所選", "Calibrate selected as a batch"}},
    {Text::SelectOne, {"自动校准一次只校一台：请只选一台", "自動校準一次只校一台：請只選一台",
                       "the automatic calibration takes one instrument: select one"}},
    {Text::SelectSeveral, {"批量校准请选择两台或以上", "批量校準請選擇兩台或以上",
                           "select two or more instruments for a batch"}},
    {Text::HandedBatch, {"%1 台仪表已列入批量校准", "%1 台儀表已列入批量校準", "%1 instruments are in the Batch calibration"}},
    {Text::FieldsRemain, {"开始前仍需填写：%1", "開始前仍需填寫：%1", "still needed before the batch starts: %1"}},
    {Text::UnitRemains, {"%1（%2）", "%1（%2）", "%1 (%2)"}},
    {Text::FieldPort, {"串口", "串列埠", "serial port"}},
    {Text::FieldChannels, {"通道图中的信号源与仪表通道", "通道圖中的信號源與儀表通道",
                           "source and meter channels in the channel map"}},
    {Text::FieldSerial, {"与台账一致的序列号", "與台帳一致的序號", "the serial number the register holds"}},
    {Text::MapUnreadable, {"通道图：%1", "通道圖：%1", "channel map: %1"}},
    {Text::OpenInRecords, {"在记录总览中打开", "在記錄總覽中開啟", "Open in records"}},
    {Text::NotInRecords, {"本次运行没有存入记录", "本次執行沒有存入記錄", "this run stored no records"}},
};
static_assert(textrows::inIdOrder(kRows, Text::TextCount), "one row per text, in the order of the enumeration");

static_assert(sizeof(kRows) / sizeof(kRows[0]) == static_cast<int>(Text::TextCount), "one row per text");

} // namespace

QString text(Text id, int language) { return textrows::text(kRows, id, language); }

} // namespace labtext
