#include "record/certificate_annex.h"

#include "record/record_math.h"
#include "record/record_texts.h"

#include <cmath>

namespace record {

namespace {

struct Row { const char *text[3]; };

enum Word { Title, Intro, Contribution, Distribution, InputU, Sensitivity, OutputU, Freedom, Combined, EffectiveFreedom,
            Factor, Expanded, Reading, Current, PointTitle, Stated };
const Row kWords[] = {
    {{"附录：各点不确定度预算", "附錄：各點不確定度預算", "Annex: uncertainty budget of each point"}},
    {{"按 JCGM 100 合成：u_c = √Σ u_i²，有效自由度按 Welch-Satterthwaite 公式（不取整），k 取 t 分布 95.45 % 分位数，U = k·u_c；未修正的已知修正值全额加入 U（JCGM 100 F.2.4.5）。型号文件未给出的分量列为未给出，不计入。",
      "按 JCGM 100 合成：u_c = √Σ u_i²，有效自由度按 Welch-Satterthwaite 公式（不取整），k 取 t 分布 95.45 % 分位數，U = k·u_c；未修正的已知修正值全額加入 U（JCGM 100 F.2.4.5）。型號檔案未給出的分量列為未給出，不計入。",
      "Combined by JCGM 100: u_c = √Σ u_i², the effective degrees of freedom by Welch-Satterthwaite (not truncated), "
      "k the Student-t quantile for 95.45 %, U = k·u_c; a known correction left unapplied is added to U in full "
      "(JCGM 100 F.2.4.5). A term a model file does not state is listed as not stated and counts nothing."}},
    {{"分量", "分量", "Contribution"}},
    {{"分布", "分布", "Distribution"}},
    {{"u(x_i)", "u(x_i)", "u(x_i)"}},
    {{"|c_i|", "|c_i|", "|c_i|"}},
    {{"u_i(y)", "u_i(y)", "u_i(y)"}},
    {{"ν_i", "ν_i", "ν_i"}},
    {{"合成标准不确定度 u_c", "合成標準不確定度 u_c", "Combined standard uncertainty u_c"}},
    {{"有效自由度 ν_eff", "有效自由度 ν_eff", "Effective degrees of freedom ν_eff"}},
    {{"包含因子 k", "包含因子 k", "Coverage factor k"}},
    {{"扩展不确定度 U", "擴展不確定度 U", "Expanded uncertainty U"}},
    {{"示值（%1）", "示值（%1）", "Reading (%1)"}},
    {{"输出电流（mA）", "輸出電流（mA）", "Loop current (mA)"}},
    {{"%1 %2 点", "%1 %2 點", "%1, point %2"}},
    {{"证书所述（向上修约）", "證書所述（向上修約）", "stated (rounded up)"}},
};

QString word(Word w, int language) { return QString::fromUtf8(kWords[w].text[qBound(0, language, 2)]); }
QString esc(const QString &s) { return s.toHtmlEscaped(); }
QString figure(double v) { return QString::number(v, 'g', 3); }
// Past a thousand the figure says nothing more than "many".
QString freedom(double nu)
{
    if (!std::isfinite(nu))
        return QStringLiteral("∞");
    return nu < 1000 ? QString::number(nu, 'f', 1) : QStringLiteral("> 1000");
}

QString budgetTable(const QString &title, const QVector<PointUncertainty::Line> &lines, double expanded, double k,
                    double nu, const QString &unit, int language)
{
    QString html = QStringLiteral("<p><b>%1</b></p><table width='100%' border='1' cellspacing='0' cellpadding='2'><thead><tr>")
                       .arg(esc(title));
    for (Word w : {Contribution, Distribution, InputU, Sensitivity, OutputU, Freedom})
        html += QStringLiteral("<th>%1</th>").arg(esc(word(w, language)));
    html += QStringLiteral("</tr></thead>");
    double variance = 0;
    for (const auto &l : lines) {
        variance += l.standardUncertainty * l.standardUncertainty;
        // A bias shows its own size; it goes into U in full, not into u_c.
        const double own = l.bias != 0 ? std::abs(l.bias) : l.standardUncertainty;
        const QString input = l.sensitivity > 0 ? figure(own / l.sensitivity) + QLatin1Char(' ') + l.inputUnit
                                                : QStringLiteral("—");
        html += QStringLiteral("<tr><td>%1</td><td align='center'>%2</td><td align='right'>%3</td><td align='right'>%4</td>"
                               "<td align='right'>%5 %6</td><td align='right'>%7</td></tr>")
                    .arg(esc(l.name), esc(l.distribution), esc(input), figure(l.sensitivity),
                         l.bias != 0 ? QStringLiteral("+ ") + figure(std::abs(l.bias)) : figure(l.standardUncertainty),
                         esc(unit), freedom(l.degreesOfFreedom));
    }
    // U as computed, two digits past the stated one, then the value the certificate states everywhere else.
    const double stated = statedUncertainty(expanded);
    html += QStringLiteral("</table><p>%1: %2 %3 &nbsp; %4: %5 &nbsp; %6: %7 &nbsp; %8: %9 %3")
                .arg(esc(word(Combined, language)), figure(std::sqrt(variance)), esc(unit), esc(word(EffectiveFreedom, language)),
                     freedom(nu), esc(word(Factor, language)), QString::number(k, 'f', 2), esc(word(Expanded, language)),
                     QString::number(expanded, 'f', uncertaintyDecimals(stated) + 2))
            + QStringLiteral(", %1 %2 %3</p>").arg(esc(word(Stated, language)),
                                                   QString::number(stated, 'f', uncertaintyDecimals(stated)), esc(unit));
    return html;
}

QString checkAnnex(const Record &r, Text stage, int language)
{
    QString html;
    for (const Point &p : r.points) {
        if (!p.uncertainty || p.uncertainty->budget.isEmpty())
            continue;
        const PointUncertainty &u = *p.uncertainty;
        html += QStringLiteral("<h4>%1</h4>")
                    .arg(esc(word(PointTitle, language).arg(text(stage, language), QString::number(p.reference, 'f', 1) + QLatin1Char(' ') + r.header.unit)));
        html += budgetTable(word(Reading, language).arg(r.header.unit), u.budget, u.expanded, u.coverageFactor,
                            u.effectiveDegreesOfFreedom, r.header.unit, language);
        if (u.currentExpandedMa && !u.currentBudget.isEmpty())
            html += budgetTable(word(Current, language), u.currentBudget, *u.currentExpandedMa, u.currentCoverageFactor,
                                u.currentEffectiveDegreesOfFreedom, QStringLiteral("mA"), language);
    }
    return html;
}

} // namespace

QString budgetAnnexHtml(const CertificateContent &c)
{
    QString body;
    if (c.asFound)
        body += checkAnnex(*c.asFound, Text::AsFound, c.language);
    if (c.asLeft)
        body += checkAnnex(*c.asLeft, Text::AsLeft, c.language);
    if (body.isEmpty())
        return QString();
    return QStringLiteral("<h3 style='page-break-before: always'>%1</h3><p>%2</p>")
               .arg(esc(word(Title, c.language)), esc(word(Intro, c.language)))
           + body;
}

} // namespace record
