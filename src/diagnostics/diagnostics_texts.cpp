#include "diagnostics/diagnostics_texts.h"

#include <array>

namespace lang {

namespace {

using Row = std::array<const char *, 3>;

// In DiagText order.
const Row kTexts[] = {
    {"趋势", "趨勢", "Trend"},
    {"时间窗", "時間窗", "span"},
    {"1 分钟", "1 分鐘", "1 min"},
    {"10 分钟", "10 分鐘", "10 min"},
    {"1 小时", "1 小時", "1 h"},
    {"自动缩放", "自動縮放", "autoscale"},
    {"暂停", "暫停", "pause"},
    {"继续", "繼續", "resume"},
    {"导出PNG", "導出PNG", "export PNG"},
    {"开始记录CSV", "開始記錄CSV", "start CSV log"},
    {"停止记录", "停止記錄", "stop log"},
    {"未记录", "未記錄", "not logging"},
    {"记录到 %1", "記錄到 %1", "logging to %1"},
    {"无法打开文件: %1", "無法打開文件: %1", "cannot open the file: %1"},
    {"测量温度", "測量溫度", "measured"},
    {"室温", "室溫", "room"},
    {"时间", "時間", "time"},
    {"温度", "溫度", "temperature"},
    {"最小", "最小", "min"},
    {"最大", "最大", "max"},
    {"平均", "平均", "mean"},
    {"标准差", "標準差", "std dev"},
    {"无数据", "無數據", "no data"},
    {"通讯诊断", "通訊診斷", "Traffic"},
    {"时间", "時間", "time"},
    {"功能码", "功能碼", "function"},
    {"地址", "地址", "address"},
    {"数量", "數量", "count"},
    {"结果", "結果", "result"},
    {"往返(ms)", "往返(ms)", "round trip (ms)"},
    {"请求帧 / 应答PDU", "請求幀 / 應答PDU", "request frame / answer PDU"},
    {"显示请求帧和应答PDU", "顯示請求幀和應答PDU", "show request frames and answer PDUs"},
    {"导出文本", "導出文本", "export text"},
    {"计数清零", "計數清零", "reset counters"},
    {"自连接以来", "自連接以來", "since connect"},
    {"记录已停止，写入失败: %1", "記錄已停止，寫入失敗: %1", "logging stopped, a write failed: %1"},
    {"导出失败: %1", "導出失敗: %1", "export failed: %1"},
};
static_assert(sizeof(kTexts) / sizeof(kTexts[0]) == size_t(DiagText::Count),
              "one row per text");

const Row kResults[] = {
    {"等待中", "等待中", "pending"},
    {"正常", "正常", "OK"},
    {"异常", "異常", "exception"},
    {"超时", "超時", "timeout"},
    {"CRC或帧错误", "CRC或幀錯誤", "CRC or framing error"},
    {"已中止", "已中止", "aborted"},
    {"未发出", "未發出", "not sent"},
    {"其他错误", "其他錯誤", "other error"},
};
static_assert(sizeof(kResults) / sizeof(kResults[0]) == size_t(diag::kResultCount),
              "one row per result");

struct ExceptionRow {
    int code;
    Row text;
};

const ExceptionRow kExceptions[] = {
    {1, {"非法功能", "非法功能", "illegal function"}},
    {2, {"非法数据地址", "非法數據地址", "illegal data address"}},
    {3, {"非法数据值", "非法數據值", "illegal data value"}},
    {4, {"从站设备故障", "從站設備故障", "server device failure"}},
    {5, {"确认", "確認", "acknowledge"}},
    {6, {"从站设备忙", "從站設備忙", "server device busy"}},
    {8, {"存储奇偶校验错误", "存儲奇偶校驗錯誤", "memory parity error"}},
    {10, {"网关路径不可用", "網關路徑不可用", "gateway path unavailable"}},
    {11, {"网关目标设备无响应", "網關目標設備無響應", "gateway target device failed to respond"}},
};
const Row kUnknownException = {"未知异常", "未知異常", "unknown exception"};

bool valid(int language) { return language >= 0 && language < 3; }

} // namespace

QString diagText(DiagText which, int language)
{
    if (!valid(language) || which == DiagText::Count)
        return QString();
    return QString::fromUtf8(kTexts[int(which)][size_t(language)]);
}

QString exceptionName(int code, int language)
{
    if (!valid(language))
        return QString();
    for (const ExceptionRow &row : kExceptions) {
        if (row.code == code)
            return QString::fromUtf8(row.text[size_t(language)]);
    }
    return QString::fromUtf8(kUnknownException[size_t(language)]);
}

QString resultName(diag::Result result, int language)
{
    if (!valid(language))
        return QString();
    return QString::fromUtf8(kResults[int(result)][size_t(language)]);
}

QString resultText(diag::Result result, int exceptionCode, int language)
{
    if (!valid(language))
        return QString();
    const QString name = resultName(result, language);
    if (result != diag::Result::Exception)
        return name;
    return QStringLiteral("%1 %2 (%3)").arg(name).arg(exceptionCode).arg(exceptionName(exceptionCode, language));
}

}  // namespace lang
