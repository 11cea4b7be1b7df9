#include "record/decision_texts.h"

#include "record/record_table.h"
#include "record/record_texts.h"

namespace record {

namespace {

using metrology::Decision;
using Kind = metrology::DecisionRule::Kind;

struct Row { const char *text[3]; };

const Row kDecisions[] = {
    {{"合格", "合格", "PASS"}},
    {{"有条件合格", "有條件合格", "CONDITIONAL PASS"}},
    {{"有条件不合格", "有條件不合格", "CONDITIONAL FAIL"}},
    {{"不合格", "不合格", "FAIL"}},
    {{"无法判定合格（U ≥ 允差）", "無法判定合格（U ≥ 允差）", "CANNOT PASS (U ≥ tolerance)"}},
};

const Row kRuleNames[] = {
    {{"简单接受（w = 0）", "簡單接受（w = 0）", "simple acceptance (w = 0)"}},
    {{"保护带接受（w = %1·U）", "保護帶接受（w = %1·U）", "guarded acceptance (w = %1·U)"}},
    {{"非二元判定（w = %1·U）：合格、有条件合格、有条件不合格、不合格",
      "非二元判定（w = %1·U）：合格、有條件合格、有條件不合格、不合格",
      "non-binary statement (w = %1·U): pass, conditional pass, conditional fail, fail"}},
};

const Row kRule = {{
    "判定规则：%1（ILAC-G8:09/2019，JCGM 106）。按未修约的平均误差判定，修约（%2 %3）仅用于打印；误差绝对值不超过允差减去保护带 w（含边界）为合格；U 不小于允差时判为无法判定合格。"
    "输出电流以其自身的允差（%4）和自身的扩展不确定度判定。",
    "判定規則：%1（ILAC-G8:09/2019，JCGM 106）。按未修約的平均誤差判定，修約（%2 %3）僅用於列印；誤差絕對值不超過允差減去保護帶 w（含邊界）為合格；U 不小於允差時判為無法判定合格。"
    "輸出電流以其自身的允差（%4）和自身的擴展不確定度判定。",
    "Decision rule: %1 (ILAC-G8:09/2019, JCGM 106). The unrounded mean error is judged; rounding to %2 %3 is for printing only. "
    "A point passes when its error lies within the tolerance less the guard band w, the edge included; "
    "when U is not smaller than the tolerance it cannot pass. The loop current is judged by its own tolerance (%4) and its own expanded uncertainty."}};

const Row kPerPoint = {{"每点以其自身的扩展不确定度 U 判定。", "每點以其自身的擴展不確定度 U 判定。",
                        "Each point is judged with its own expanded uncertainty U."}};
const Row kHeaderU = {{"保护带按扩展不确定度 %1 计算，接受限为 %2。", "保護帶按擴展不確定度 %1 計算，接受限為 %2。",
                       "The guard band is computed from the expanded uncertainty %1; the acceptance limit is %2."}};
const Row kCurrentDerived = {{"（由温度允差按量程换算）", "（由溫度允差按量程換算）",
                              "(the temperature tolerance over the span)"}};
const Row kColdJunction = {{
    "本检查以电信号代替传感器，所输入的信号已按变送器自身测得的室温（冷端）计算，因此变送器的冷端补偿误差在检查中相互抵消，未被验证。"
    "验证冷端补偿的方法：在变送器接线端子处放置独立温度计（输入或读取其示值），以该温度计算输入信号。",
    "本檢查以電信號代替感測器，所輸入的信號已按變送器自身測得的室溫（冷端）計算，因此變送器的冷端補償誤差在檢查中相互抵消，未被驗證。"
    "驗證冷端補償的方法：在變送器接線端子處放置獨立溫度計（輸入或讀取其示值），以該溫度計算輸入信號。",
    "This electrical check sources the signal for the cold junction the transmitter itself reads, so an error of the "
    "transmitter's cold-junction compensation cancels out and is not verified. To verify it, an independent thermometer "
    "at the terminals (entered or read) gives the cold junction the signal is computed for."}};

const Row kAmbient = {{"环境温度：%1 %2（%3）。", "環境溫度：%1 %2（%3）。", "Ambient temperature: %1 %2 (%3)."}};
const Row kFromOperator = {{"由操作者输入", "由操作者輸入", "entered by the operator"}};
const Row kFromTransmitter = {{"变送器内部室温传感器的读数，非独立测量", "變送器內部室溫感測器的讀數，非獨立量測",
                               "the transmitter's own room sensor, not an independent measurement"}};
const Row kFromInstrument = {{"由环境温湿度计读取：%1", "由環境溫濕度計讀取：%1", "read by the environment instrument %1"}};

QString pick(const Row &row, int language) { return QString::fromUtf8(row.text[qBound(0, language, 2)]); }

int severity(Decision d)
{
    switch (d) {
    case Decision::Pass: return 0;
    case Decision::ConditionalPass: return 1;
    case Decision::ConditionalFail: return 2;
    case Decision::CannotPass: return 3;
    case Decision::Fail: break;
    }
    return 4;
}

} // namespace

QString decisionText(Decision decision, int language)
{
    return pick(kDecisions[int(decision)], language);
}

Decision pointDecision(const PointFigures &f)
{
    if (f.currentDecision && severity(*f.currentDecision) > severity(f.decision))
        return *f.currentDecision;
    return f.decision;
}

QString currentToleranceText(const Header &header, int language)
{
    const double t = currentToleranceMa(header);
    const QString value = QStringLiteral("± %1 mA").arg(QString::number(t, 'f', exactDecimals(t, 3)));
    return header.currentToleranceMa ? value : value + QLatin1Char(' ') + pick(kCurrentDerived, language);
}

QString decisionRuleStatement(const Header &header, bool perPoint, int language)
{
    const metrology::DecisionRule &rule = header.decisionRule;
    const QString name = rule.kind == Kind::Simple
                             ? pick(kRuleNames[0], language)
                             : pick(kRuleNames[rule.kind == Kind::Guarded ? 1 : 2], language)
                                   .arg(QString::number(rule.guardFactor, 'g', 3));
    QString s = pick(kRule, language)
                    .arg(name, QString::number(header.resolution, 'f', decimalsOf(header.resolution)), header.unit,
                         currentToleranceText(header, language));
    if (perPoint)
        return s + QLatin1Char(' ') + pick(kPerPoint, language);
    if (header.uncertainty && rule.kind != Kind::Simple)
        s += QLatin1Char(' ') + pick(kHeaderU, language).arg(uncertaintyText(header, language), acceptanceText(header));
    return s;
}

QString coldJunctionStatement(int language) { return pick(kColdJunction, language); }

QString ambientStatement(const Header &header, int language)
{
    if (header.ambient.isEmpty())
        return QString();
    const QString &from = header.ambientSource;
    QString source = pick(kFromOperator, language);
    if (from == QLatin1String("transmitter"))
        source = pick(kFromTransmitter, language);
    else if (from.startsWith(QLatin1String("instrument ")))
        source = pick(kFromInstrument, language).arg(from.mid(11));
    return pick(kAmbient, language).arg(header.ambient, header.unit, source);
}

QString environmentRoleText(int language)
{
    static const Row row = {{"环境温湿度计", "環境溫濕度計", "Environment instrument"}};
    return pick(row, language);
}

bool isThermocoupleInput(const Header &header)
{
    return header.inputType.startsWith(QLatin1String("Type "));
}

} // namespace record
