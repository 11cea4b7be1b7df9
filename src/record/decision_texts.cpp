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

const Row kStatements[] = {
    {{"合格", "合格", "PASS"}},
    {{"有条件合格", "有條件合格", "CONDITIONAL PASS"}},
    {{"有条件不合格", "有條件不合格", "CONDITIONAL FAIL"}},
    {{"无法作出符合性声明（U ≥ 允差）", "無法作出符合性聲明（U ≥ 允差）",
      "NO STATEMENT OF CONFORMITY POSSIBLE (U ≥ tolerance)"}},
    {{"不合格", "不合格", "FAIL"}},
    {{"未完成", "未完成", "INCOMPLETE"}},
};

const Row kRuleNames[] = {
    {{"简单接受（w = 0）", "簡單接受（w = 0）", "simple acceptance (w = 0)"}},
    {{"保护带接受（w = %1·U）", "保護帶接受（w = %1·U）", "guarded acceptance (w = %1·U)"}},
    {{"非二元判定（w = %1·U）：合格、有条件合格、有条件不合格、不合格",
      "非二元判定（w = %1·U）：合格、有條件合格、有條件不合格、不合格",
      "non-binary statement (w = %1·U): pass, conditional pass, conditional fail, fail"}},
};

const Row kRule = {{
    "判定规则：%1（ILAC-G8:09/2019，JCGM 106）。按未修约的平均误差判定；误差修约到 U 的末位（至少 %2 %3），接近限值的点多印几位，使所印数值本身即得出所印结论。"
    "误差绝对值不超过允差减去保护带 w（含边界）为合格；U 不小于允差时无法作出符合性声明。",
    "判定規則：%1（ILAC-G8:09/2019，JCGM 106）。按未修約的平均誤差判定；誤差修約到 U 的末位（至少 %2 %3），接近限值的點多印幾位，使所印數值本身即得出所印結論。"
    "誤差絕對值不超過允差減去保護帶 w（含邊界）為合格；U 不小於允差時無法作出符合性聲明。",
    "Decision rule: %1 (ILAC-G8:09/2019, JCGM 106). The unrounded mean error is judged; errors are printed to the last digit "
    "of U (at least %2 %3), with more digits where a point lies so near its limit that its printed figures need them to give its verdict. "
    "A point passes when its error lies within the tolerance less the guard band w, the edge included; "
    "when U is not smaller than the tolerance no statement of conformity is possible."}};

const Row kRisk = {{"按此规则，判为合格的点其真值超出允差的概率（特定误判接受风险）至多约 %1 %（k = 2 的正态分布）。",
                    "按此規則，判為合格的點其真值超出允差的機率（特定誤判接受風險）至多約 %1 %（k = 2 的常態分布）。",
                    "With this rule the probability that a point stated as passing lies outside its tolerance (the specific "
                    "false-accept risk) is at most about %1 % (normal distribution, k = 2)."}};
const Row kCurrentJudged = {{"输出电流以其自身的允差（%1）和电流误差自身的扩展不确定度判定。",
                             "輸出電流以其自身的允差（%1）和電流誤差自身的擴展不確定度判定。",
                             "The loop current is judged by its own tolerance (%1) and the expanded uncertainty of its own error."}};
const Row kCurrentUnjudged = {{"未给出电流表不确定度（登记的电流表或操作者给出的电流表参数）的输出电流不予判定。",
                               "未給出電流表不確定度（登記的電流表或操作者給出的電流表參數）的輸出電流不予判定。",
                               "A loop current without an uncertainty of its own (the meter's terms, from the register of "
                               "standards or stated by the operator) is not judged."}};

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

} // namespace

QString decisionText(Decision decision, int language)
{
    return pick(kDecisions[int(decision)], language);
}

QString statementText(Statement statement, int language)
{
    return pick(kStatements[int(statement)], language);
}

QString currentToleranceText(const Header &header, int language)
{
    const double t = currentToleranceMa(header);
    const QString value = QStringLiteral("± %1 mA").arg(QString::number(t, 'f', exactDecimals(t, 3)));
    return header.currentToleranceMa ? value : value + QLatin1Char(' ') + pick(kCurrentDerived, language);
}

QString decisionRuleStatement(const Header &header, bool perPoint, int language, Currents currents)
{
    const metrology::DecisionRule &rule = header.decisionRule;
    const QString factor = QString::number(rule.guardFactor, 'f', exactDecimals(rule.guardFactor, 0));
    const QString name = rule.kind == Kind::Simple ? pick(kRuleNames[0], language)
                                                   : pick(kRuleNames[rule.kind == Kind::Guarded ? 1 : 2], language).arg(factor);
    QString s = pick(kRule, language)
                    .arg(name, QString::number(header.resolution, 'f', decimalsOf(header.resolution)), header.unit);
    const double risk = metrology::specificFalseAcceptRisk(rule) * 100.0;
    s += QLatin1Char(' ') + pick(kRisk, language).arg(QString::number(risk, 'g', 2));
    if (currents.judged)
        s += QLatin1Char(' ') + pick(kCurrentJudged, language).arg(currentToleranceText(header, language));
    if (currents.unjudged)
        s += QLatin1Char(' ') + pick(kCurrentUnjudged, language);
    if (perPoint)
        return s + QLatin1Char(' ') + pick(kPerPoint, language);
    if (header.uncertainty && rule.kind != Kind::Simple)
        s += QLatin1Char(' ') + pick(kHeaderU, language).arg(uncertaintyText(header, language), acceptanceText(header));
    return s;
}

Currents currentsOf(const Record &record)
{
    Currents c;
    for (const Point &p : record.points) {
        if (p.status != Point::Status::Recorded || !p.currentMa)
            continue;
        const PointFigures f = figures(p, record.header);
        c.judged = c.judged || f.currentDecision.has_value();
        c.unjudged = c.unjudged || f.currentUnjudged;
    }
    return c;
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
