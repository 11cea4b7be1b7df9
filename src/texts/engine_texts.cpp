#include "texts/engine_texts.h"

#include "records_db/db_texts.h"

#include <QHash>
#include <QRegularExpression>
#include <algorithm>
#include <limits>
#include <vector>

namespace enginetext {

namespace {

constexpr int kLanguages = 3;

// Indexed by Id: Simplified Chinese, Traditional Chinese, English.
const char *const kTexts[][kLanguages] = {
    {"%1 无法写入", "%1 無法寫入", "%1 could not be written"},
    {"%1 输入点：%2", "%1 輸入點：%2", "%1 input points: %2"},
    {"输入点：%1", "輸入點：%1", "input points: %1"},
    {"%1 输出点：%2", "%1 輸出點：%2", "%1 output points: %2"},
    {"输出点：%1", "輸出點：%1", "output points: %1"},
    {"%1 不是电流表的型号", "%1 不是電流表的型號", "%1 is not a meter's model"},
    {"%1 °C 超出传感器或信号源的范围", "%1 °C 超出感測器或信號源的範圍", "%1 °C is outside what the sensor or the source can give"},
    {"%1：未确认退出输入校准模式", "%1：未確認退出輸入校準模式", "%1: leaving the input calibration mode was not confirmed"},
    {"未确认退出输入校准模式", "未確認退出輸入校準模式", "leaving the input calibration mode was not confirmed"},
    {"%1：未确认退出输出校准模式", "%1：未確認退出輸出校準模式", "%1: leaving the output calibration mode was not confirmed"},
    {"未确认退出输出校准模式", "未確認退出輸出校準模式", "leaving the output calibration mode was not confirmed"},
    {"热电阻输入需要独占一个信号源通道", "熱電阻輸入需要獨佔一個信號源通道", "an RTD input needs a source channel of its own"},
    {"未知错误", "未知錯誤", "an unknown error"},
    {"另一操作正在进行，未执行任何操作", "另一操作正在進行，未執行任何操作", "another operation is running; nothing was done"},
    {"其通讯链路上正在进行另一操作", "其通訊鏈路上正在進行另一操作", "another operation runs on its link"},
    {"两次检查都必须存入记录数据库", "兩次檢查都必須存入記錄資料庫", "both checks must be in the records database"},
    {"变送器无应答：%1", "變送器無應答：%1", "it did not answer: %1"},
    {"变送器未输出 4 mA", "變送器未輸出 4 mA", "it did not drive 4 mA"},
    {"变送器未进入输入校准模式", "變送器未進入輸入校準模式", "it did not enter its input calibration mode"},
    {"变送器未接受 4 mA 点", "變送器未接受 4 mA 點", "it did not take its 4 mA point"},
    {"变送器未接受输入点", "變送器未接受輸入點", "it did not take its input point"},
    {"变送器已离开正常模式", "變送器已離開正常模式", "it left normal mode"},
    {"存储前丢失了已采集的点，未存储任何数据", "儲存前遺失了已採集的點，未儲存任何數據", "it lost a captured point before the store; nothing was stored"},
    {"变送器发送的读数无法显示", "變送器發送的讀數無法顯示", "it sent a reading that cannot be shown"},
    {"输入未稳定", "輸入未穩定", "its input did not settle"},
    {"输入点未按采集值存储", "輸入點未按採集值儲存", "its input points were not stored as captured"},
    {"其输入类型或量程与单元 %1 不同", "其輸入類型或量程與單元 %1 不同", "its input type or range differs from unit %1's"},
    {"其串口 %1 未打开", "其串口 %1 未開啟", "its line %1 is not open"},
    {"其通讯链路已断开", "其通訊鏈路已斷開", "its link closed"},
    {"回路电流未稳定", "迴路電流未穩定", "its loop current did not settle"},
    {"输出点未按实测值存储", "輸出點未按實測值儲存", "its output points were not stored as measured"},
    {"其专用电流表 %1：%2", "其專用電流表 %1：%2", "its own meter %1: %2"},
    {"其专用电流表：%1", "其專用電流表：%1", "its own meter: %1"},
    {"读数在 %1 s 内未稳定", "讀數在 %1 s 內未穩定", "its reading did not settle within %1 s"},
    {"步骤失败：%1", "步驟失敗：%1", "its step failed: %1"},
    {"没有可核对仪器证书的记录数据库", "沒有可核對儀器證書的記錄資料庫", "no records database to check the instrument's certificate in"},
    {"第 %1 点没有参考值", "第 %1 點沒有參考值", "no reference for point %1"},
    {"%1 °C 没有对应信号", "%1 °C 沒有對應信號", "no signal for %1 °C"},
    {"新的冷端温度没有对应信号", "新的冷端溫度沒有對應信號", "no signal for the new cold junction"},
    {"无法求出 %1 °C 的不确定度", "無法求出 %1 °C 的不確定度", "no uncertainty could be found for %1 °C"},
    {"批次中没有可校准的单元", "批次中沒有可校準的單元", "no unit of the batch could be calibrated"},
    {"第 %1 点：%2", "第 %1 點：%2", "point %1: %2"},
    {"%1：%2", "%1：%2", "the %1: %2"},
    {"环境仪器", "環境儀器", "environment instrument"},
    {"调整提前结束：%1", "調整提前結束：%1", "the adjustment ended early: %1"},
    {"环境仪器：%1", "環境儀器：%1", "the environment instrument: %1"},
    {"与变送器的通讯未打开", "與變送器的通訊未開啟", "the link to the transmitter is not open"},
    {"通道表指定了切换器通道，但没有切换器", "通道表指定了切換器通道，但沒有切換器", "the map names switch channels and there is no switch"},
    {"回路上的电流表：%1", "迴路上的電流表：%1", "the meter on its loop: %1"},
    {"电流表型号没有适用于 %1 mA 的量程", "電流表型號沒有適用於 %1 mA 的量程", "the meter's model has no range for %1 mA"},
    {"电流表：%1", "電流表：%1", "the meter: %1"},
    {"信号源输出无法关闭（%1）：请手动关闭", "信號源輸出無法關閉（%1）：請手動關閉", "the source output could not be switched off (%1): switch it off by hand"},
    {"信号源型号没有适用于 %1 %2 的量程", "信號源型號沒有適用於 %1 %2 的量程", "the source's model has no range for %1 %2"},
    {"信号源：%1", "信號源：%1", "the source: %1"},
    {"其电流表通道的切换器：%1", "其電流表通道的切換器：%1", "the switch on its meter channel: %1"},
    {"其信号源通道的切换器：%1", "其信號源通道的切換器：%1", "the switch on its source channel: %1"},
    {"切换器的通路无法断开（%1）：请手动断开", "切換器的通路無法斷開（%1）：請手動斷開", "the switch's routes could not be opened (%1): open them by hand"},
    {"切换器：%1", "切換器：%1", "the switch: %1"},
    {"变送器的单位不是 °C，请先设为 °C", "變送器的單位不是 °C，請先設為 °C", "the transmitter does not show °C; set its unit to °C first"},
    {"变送器不在正常模式", "變送器不在正常模式", "the transmitter is not in normal mode"},
    {"无法读取变送器参数：%1", "無法讀取變送器參數：%1", "the transmitter's parameters could not be read: %1"},
    {"变送器的量程无效", "變送器的量程無效", "the transmitter's range is not a range"},
    {"变送器的读数无法显示", "變送器的讀數無法顯示", "the transmitter's reading cannot be shown"},
    {"无法读取变送器读数：%1", "無法讀取變送器讀數：%1", "the transmitter's readings could not be read: %1"},
    {"变送器的室温读数无法显示", "變送器的室溫讀數無法顯示", "the transmitter's room reading cannot be shown"},
    {"记录需要变送器的序列号", "記錄需要變送器的序號", "the transmitter's serial number is needed for its records"},
    {"输入类型 %1 没有可用于自动校准的参考函数", "輸入類型 %1 沒有可用於自動校準的參考函數", "input type %1 has no reference function for an automatic calibration"},
    {"单元 %1", "單元 %1", "unit %1"},
    {"测试点：“%1”不是数字", "測試點：「%1」不是數字", "--points: \"%1\" is not a number"},
    {"测试点：要么全部为百分比，要么都不是", "測試點：要麼全部為百分比，要麼都不是", "--points: either every point is a percentage or none is"},
    {"允差：“%1”不是数字", "允差：「%1」不是數字", "--tolerance: \"%1\" is not a number"},
    {"测试点须有 1 至 %1 个", "測試點須有 1 至 %1 個", "\"points\" must list 1 to %1 numbers"},
    {"%1：%2", "%1：%2", "%1: %2"},
    {"\"%1\" 须为 %2 至 %3 的整数", "\"%1\" 須為 %2 至 %3 的整數", "\"%1\" must be a whole number from %2 to %3"},
    {"\"%1\" 须为 %2 至 %3 的数值", "\"%1\" 須為 %2 至 %3 的數值", "\"%1\" must be a number from %2 to %3"},
    {"未知的键 \"%1\"", "未知的鍵 \"%1\"", "unknown key \"%1\""},
    {"\"timeout s\"（%1 s）短于采样次数 × 间隔（%2 s）", "\"timeout s\"（%1 s）短於採樣次數 × 間隔（%2 s）", "\"timeout s\" (%1 s) is shorter than samples × interval (%2 s)"},
    {"\"%1\" 须为 \"%2\" 或 \"%3\"", "\"%1\" 須為 \"%2\" 或 \"%3\"", "\"%1\" must be \"%2\" or \"%3\""},
    {"\"%1\" 须为 \"%2\"、\"%3\" 或 \"%4\"", "\"%1\" 須為 \"%2\"、\"%3\" 或 \"%4\"", "\"%1\" must be \"%2\", \"%3\" or \"%4\""},
    {"\"%1\" 须为 true 或 false", "\"%1\" 須為 true 或 false", "\"%1\" must be true or false"},
    {"\"room sensor limit\" 为 0 会使冷端不计入不确定度预算；请注明为实测（\"room sensor limit is measured\": true）或给出数据手册的值", "\"room sensor limit\" 為 0 會使冷端不計入不確定度預算；請註明為實測（\"room sensor limit is measured\": true）或給出資料手冊的值", "a \"room sensor limit\" of 0 leaves the cold junction out of the budget; state it as measured (\"room sensor limit is measured\": true) or give the data sheet's"},
    {"超出程序文件的最大大小", "超出程序檔案的最大大小", "larger than a procedure can be"},
    {"不是 JSON 对象（%1）", "不是 JSON 物件（%1）", "not a JSON object (%1)"},
    {"有键重复出现", "有鍵重複出現", "a key is given twice"},
    {"%1 °C 超出变送器的量程 %2 .. %3 °C", "%1 °C 超出變送器的量程 %2 .. %3 °C", "%1 °C lies outside the transmitter's range %2 .. %3 °C"},
    {"允差 ± %1 °C 超出量程所允许的宽度", "允差 ± %1 °C 超出量程所允許的寬度", "the tolerance ± %1 °C is wider than the span allows"},
    {"缺少 \"%1\"", "缺少 \"%1\"", "\"%1\" is missing"},
    {"\"%1\" 须为 1 至 %2 个可打印字符的文本，首尾不得有空格", "\"%1\" 須為 1 至 %2 個可列印字元的文字，首尾不得有空格", "\"%1\" must be a text of 1 to %2 printable characters, without spaces at either end"},
    {"\"%1\" \"%2\" 不是通道名（1 至 16 个字母、数字或 '!'）", "\"%1\" \"%2\" 不是通道名（1 至 16 個字母、數字或 '!'）", "\"%1\" \"%2\" is no channel name (1 to 16 letters, digits or '!')"},
    {"\"units\" 的第 %1 项", "\"units\" 的第 %1 項", "entry %1 of \"units\""},
    {"须为对象", "須為物件", "must be an object"},
    {"\"unit\" 须为 1 至 999 的整数", "\"unit\" 須為 1 至 999 的整數", "\"unit\" must be a whole number 1 to 999"},
    {"需要 \"source channel\"：其输入与回路未隔离，校准器只能经切换器接入", "需要 \"source channel\"：其輸入與迴路未隔離，校準器只能經切換器接入", "needs a \"source channel\": its input is not isolated from its loop, so the calibrator reaches it only through the switch"},
    {"需要 \"meter channel\" 或专用的 \"meter\"，二者只能取其一", "需要 \"meter channel\" 或專用的 \"meter\"，二者只能取其一", "needs either a \"meter channel\" or a \"meter\" of its own, not both"},
    {"\"%1\" 超过 %2 个字符", "\"%1\" 超過 %2 個字元", "\"%1\" is longer than %2 characters"},
    {"\"meter model\" 指专用 \"meter\" 的型号，但该单元没有专用电流表", "\"meter model\" 指專用 \"meter\" 的型號，但該單元沒有專用電流表", "\"meter model\" names the model of a \"meter\" of its own; it has none"},
    {"单元 %1 与 %2 共用%3 \"%4\"", "單元 %1 與 %2 共用%3 \"%4\"", "units %1 and %2 share %3 \"%4\""},
    {"单元号", "單元號", "the unit number"},
    {"串口", "串口", "the port"},
    {"序列号", "序號", "the serial number"},
    {"通道", "通道", "the channel"},
    {"电流表", "電流表", "the meter"},
    {"同一通道 \"%1\" 不能同时连接信号源和电流表", "同一通道 \"%1\" 不能同時連接信號源和電流表", "one channel \"%1\" cannot route both the source and the meter"},
    {"\"units\" 须列出 1 至 %1 个单元", "\"units\" 須列出 1 至 %1 個單元", "\"units\" must list 1 to %1 units"},
    {"超出通道表的最大大小", "超出通道表的最大大小", "larger than a channel map can be"},
    {"不是 JSON（第 %2 字节）：%1", "不是 JSON（第 %2 位元組）：%1", "not JSON at byte %2: %1"},
    {"不是 JSON 对象", "不是 JSON 物件", "not a JSON object"},
    {"对象未结束", "物件未結束", "unterminated object"},
    {"缺少名称分隔符", "缺少名稱分隔符", "missing name separator"},
    {"数组未结束", "陣列未結束", "unterminated array"},
    {"缺少值分隔符", "缺少值分隔符", "missing value separator"},
    {"非法值", "非法值", "illegal value"},
    {"以数字非法结束", "以數字非法結束", "invalid termination by number"},
    {"非法数字", "非法數字", "illegal number"},
    {"非法转义序列", "非法跳脫序列", "invalid escape sequence"},
    {"非法 UTF-8 字符串", "非法 UTF-8 字串", "invalid UTF8 string"},
    {"字符串未结束", "字串未結束", "unterminated string"},
    {"嵌套层次过深", "巢狀層次過深", "too deeply nested document"},
    {"文档过大", "文件過大", "too large document"},
    {"逗号后缺少对象", "逗號後缺少物件", "object is missing after a comma"},
    {"文档末尾有多余内容", "文件末尾有多餘內容", "garbage at the end of the document"},
    {"主机的 \"[\" 未闭合", "主機的 \"[\" 未閉合", "the host's \"[\" is not closed"},
    {"主机后多出 \"%1\"", "主機後多出 \"%1\"", "\"%1\" after the host"},
    {"IPv6 主机须写在方括号内，如 tcp:[::1]:5025", "IPv6 主機須寫在方括號內，如 tcp:[::1]:5025", "an IPv6 host is written in brackets, tcp:[::1]:5025"},
    {"tcp: 后没有主机", "tcp: 後沒有主機", "no host after tcp:"},
    {"\"%1\" 不是主机名或地址", "\"%1\" 不是主機名稱或位址", "\"%1\" is not a host name or address"},
    {"端口须为 1 至 65535", "連接埠須為 1 至 65535", "the port must be 1 to 65535"},
    {"USBTMC 设备仅在 Linux 上可用；请使用仪器的串口或网口", "USBTMC 裝置僅在 Linux 上可用；請使用儀器的串口或網路埠", "USBTMC devices are reached only on Linux; use the instrument's serial or network port"},
    {"usbtmc: 后没有设备", "usbtmc: 後沒有裝置", "no device after usbtmc:"},
    {"波特率须为 %1 至 %2", "鮑率須為 %1 至 %2", "the baud must be %1 to %2"},
    {"没有串口设备", "沒有串口裝置", "no serial device"},
    {"串口设备不能命名为 %1", "串口裝置不能命名為 %1", "a serial device cannot be called %1"},
    {"未知的地址类型 \"%1:\"；已知：串口设备、tcp:、usbtmc:", "未知的位址類型 \"%1:\"；已知：串口裝置、tcp:、usbtmc:", "unknown kind of address \"%1:\"; known: a serial device, tcp:, usbtmc:"},
    {"未给出仪器地址", "未給出儀器位址", "no instrument address given"},
};
static_assert(sizeof(kTexts) / sizeof(kTexts[0]) == static_cast<std::size_t>(Id::Count), "one row per Id");

// A template of this table or of the records library's, which the engine's texts carry.
struct Pattern {
    QString (*text)(int id, int language);
    int id;
    QRegularExpression match;
    QVector<int> args;  // the placeholder number of each capture, in order
    int literal;        // characters outside the placeholders
};

QString engineText(int id, int language) { return QString::fromUtf8(kTexts[id][language]); }
QString recordsText(int id, int language) { return dbtext::text(dbtext::Id(id), language); }

const QString kListSeparator = QStringLiteral("; ");

// A reason ends a template after its colon, or stands in brackets, and may hold a
// list of its own; any other argument (a number, a name) holds no list separator.
Pattern patternOf(QString (*text)(int, int), int id)
{
    static const QRegularExpression placeholder(QStringLiteral("%(\\d)"));
    const QString en = text(id, 2);
    Pattern p{text, id, {}, {}, 0};
    QString expression = QStringLiteral("^");
    int at = 0;
    for (auto it = placeholder.globalMatch(en); it.hasNext();) {
        const auto m = it.next();
        const QString before = en.mid(at, m.capturedStart() - at);
        const bool reason = (m.capturedEnd() == en.size() && (before.endsWith(QLatin1String(": ")) || before.endsWith(kListSeparator)))
                            || (before.endsWith(QLatin1Char('(')) && en.mid(m.capturedEnd()).startsWith(QLatin1Char(')')));
        const int number = m.captured(1).toInt();
        const int earlier = int(p.args.indexOf(number));   // a placeholder given twice holds the same text twice
        expression += QRegularExpression::escape(before)
                      + (earlier >= 0 ? QStringLiteral("\\g{%1}").arg(earlier + 1)
                                      : reason ? QStringLiteral("(.+?)") : QStringLiteral("((?:(?!; ).)+?)"));
        p.literal += before.size();
        if (earlier < 0)
            p.args << number;
        at = m.capturedEnd();
    }
    expression += QRegularExpression::escape(en.mid(at)) + QStringLiteral("$");
    p.literal += en.size() - at;
    p.match = QRegularExpression(expression);
    return p;
}

// Longest literal first, so that "the switch: %1" wins over "the %1: %2". A list
// is read apart by rendered(), at each of its separators in turn.
std::vector<Pattern> buildPatterns() {
    std::vector<Pattern> patterns;
    for (int i = 0; i < int(Id::Count); ++i)
        patterns.push_back(patternOf(engineText, i));
    for (int i = 0; i < int(dbtext::Id::Count); ++i)
        if (dbtext::Id(i) != dbtext::Id::ListNext)
            patterns.push_back(patternOf(recordsText, i));
    std::stable_sort(patterns.begin(), patterns.end(),
                     [](const Pattern &a, const Pattern &b) { return a.literal > b.literal; });
    return patterns;
}

} // namespace

QString english(Id id) { return QString::fromUtf8(kTexts[int(id)][2]); }

QString text(Id id, int language) {
    if (language < 0 || language >= kLanguages)
        return {};
    return QString::fromUtf8(kTexts[int(id)][language]);
}

namespace {

// What a reading leaves in English: its Latin letters, and the separators of
// compositions it did not take apart (every translation has its own).
int englishLeft(const QString &text)
{
    return int(std::count_if(text.begin(), text.end(), [](QChar c) { return c.unicode() < 128 && c.isLetter(); }))
           + text.count(QLatin1String(": ")) + text.count(QLatin1String("; "));
}

using Readings = QHash<QString, QString>;   // each piece of one text, rendered once

QString rendered(const QString &english, int language, Readings &done);

QString composed(const Pattern &p, const QRegularExpressionMatch &m, int language, Readings &done)
{
    QString out = p.text(p.id, language);
    // Placeholders replaced by number, so a translation may order them differently.
    for (int i = 0; i < p.args.size(); ++i)
        out.replace(QStringLiteral("%%1").arg(p.args[i]), QStringLiteral("\x01%1\x01").arg(i));
    for (int i = 0; i < p.args.size(); ++i)
        out.replace(QStringLiteral("\x01%1\x01").arg(i), rendered(m.captured(i + 1), language, done));
    return out;
}

// A text may match several templates ("entry 4: its kind column is wrong" is
// one template and also "entry %1: %2" around another): of the readings, the one
// that leaves the least English, and of those the longest template.
QString rendered(const QString &english, int language, Readings &done)
{
    static const std::vector<Pattern> patterns = buildPatterns();
    if (const auto it = done.constFind(english); it != done.constEnd())
        return *it;
    QString best = english;
    int left = std::numeric_limits<int>::max();   // no reading yet
    for (const Pattern &p : patterns) {
        if (left == 0)
            break;
        const auto m = p.match.match(english);
        if (!m.hasMatch())
            continue;
        const QString out = composed(p, m, language, done);
        if (const int l = englishLeft(out); l < left)
            best = out, left = l;
    }
    // A list, split where both sides read best: an item may hold the separator itself.
    for (int at = english.indexOf(kListSeparator); left > 0 && at > 0; at = english.indexOf(kListSeparator, at + 1)) {
        const QString out = dbtext::text(dbtext::Id::ListNext, language)
                                .arg(rendered(english.left(at), language, done),
                                     rendered(english.mid(at + kListSeparator.size()), language, done));
        if (const int l = englishLeft(out); l < left)
            best = out, left = l;
    }
    done.insert(english, best);
    return best;
}

} // namespace

QString render(const QString &english, int language)
{
    if (language == 2 || language < 0 || language >= kLanguages)
        return english;
    Readings done;
    return rendered(english, language, done);
}

} // namespace enginetext
