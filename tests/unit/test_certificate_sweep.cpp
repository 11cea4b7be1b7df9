// Every printed point re-judged from its printed numbers: records across
// tolerances, U, rules and guard factors, resolutions 1 to 0.0001, readings
// and loop currents with errors at and around every limit. The certificate's
// text is read back, and the error, U, tolerance and rule it prints are judged
// here by ILAC-G8 in exact decimals, independently of decide(). Every point
// whose printed verdict, and every check whose statement, contradicts its
// printed numbers is counted.

#include "record/certificate.h"
#include "record/record_math.h"

#include <QRegularExpression>
#include <QtTest>

#include <cmath>
#include <optional>

using namespace record;
using Kind = metrology::DecisionRule::Kind;

namespace {

using Fixed = long long;   // a printed decimal in units of 1e-10
constexpr int kScale = 10;

std::optional<Fixed> fixed(QString s)
{
    s.remove(QLatin1Char('+'));
    const QRegularExpressionMatch m = QRegularExpression("^(-?)(\\d+)(?:\\.(\\d{1,10}))?$").match(s.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    Fixed v = m.captured(2).toLongLong();
    const QString frac = m.captured(3).leftJustified(kScale, QLatin1Char('0'));
    for (QChar c : frac)
        v = v * 10 + c.digitValue();
    return m.captured(1).isEmpty() ? v : -v;
}

// ILAC-G8:09/2019 4.2 on the printed figures; w = r·U with r in thousandths.
QString judged(Kind kind, Fixed r1000, Fixed e, Fixed t, Fixed u)
{
    const Fixed a = std::llabs(e);
    const Fixed w = kind == Kind::Simple ? 0 : r1000 * u / 1000;
    const bool large = u > 0 && u >= t;
    const Fixed limit = t - w;
    if (!large && limit > 0 && a <= limit)
        return "PASS";
    if (kind == Kind::NonBinary)
        return a <= t ? "CONDITIONAL PASS" : a <= t + w ? "CONDITIONAL FAIL" : "FAIL";
    return (large || limit <= 0) && a <= t ? "CANNOT PASS (U ≥ tolerance)" : "FAIL";
}

const QStringList kDecisions{"PASS", "CONDITIONAL PASS", "CONDITIONAL FAIL", "CANNOT PASS (U ≥ tolerance)", "FAIL"};
const QStringList kStatements{"PASS", "CONDITIONAL PASS", "CONDITIONAL FAIL",
                              "NO STATEMENT OF CONFORMITY POSSIBLE (U ≥ tolerance)", "FAIL"};

QString captured(const QString &html, const QString &pattern, int group = 1)
{
    return QRegularExpression(pattern).match(html).captured(group);
}

// The rule, the tolerances and the header's U, as the certificate prints them.
struct Printed {
    Kind kind = Kind::Guarded;
    Fixed r1000 = 0, tolerance = 0, headerU = 0, currentTolerance = 0;
    explicit Printed(const QString &html)
    {
        const QRegularExpressionMatch rule = QRegularExpression(
            "(simple acceptance|guarded acceptance|non-binary statement) \\(w = (?:0|([0-9.]+)·U)\\)").match(html);
        kind = rule.captured(1).startsWith("simple") ? Kind::Simple
               : rule.captured(1).startsWith("guarded") ? Kind::Guarded : Kind::NonBinary;
        r1000 = fixed(rule.captured(2)).value_or(0) / 10000000;
        const QRegularExpressionMatch t = QRegularExpression(
            "<b>Tolerance</b></td><td width='32%'>± ([0-9.]+) (?:°C|% of span \\(± ([0-9.]+) °C\\))").match(html);
        tolerance = fixed(t.captured(t.captured(2).isEmpty() ? 1 : 2)).value_or(-1);
        headerU = fixed(captured(html, "<b>Expanded uncertainty</b></td><td width='32%'>± ([0-9.]+) °C")).value_or(0);
        currentTolerance = fixed(captured(html, "own tolerance \\(± ([0-9.]+) mA")).value_or(0);
    }
};

struct Count {
    long points = 0, checks = 0, broken = 0;
};

// Re-judges every row of the certificate's one check from its printed cells, then its statements.
void rejudge(const QString &html, Count &count)
{
    const Printed terms(html);
    int worst = 0;
    static const QRegularExpression row("<tr>((?:<td align='center'>[^<]*</td>)+)</tr>");
    static const QRegularExpression cell("<td align='center'>([^<]*)</td>");
    for (auto rows = row.globalMatch(html); rows.hasNext();) {
        QStringList cells;
        for (auto c = cell.globalMatch(rows.next().captured(1)); c.hasNext();)
            cells << c.next().captured(1);
        const bool uColumn = cells.size() == 9;
        const auto e = fixed(cells.value(2));
        const auto u = uColumn ? fixed(cells.value(7).section(' ', 0, 0)) : std::optional<Fixed>(terms.headerU);
        QString want = e && u ? judged(terms.kind, terms.r1000, *e, terms.tolerance, *u) : QString();
        const QStringList current = cells.value(6).split(QStringLiteral(" ± "));
        const auto ce = fixed(current.value(0)), cu = fixed(current.value(1).section(' ', 0, 0));
        if (current.size() == 2 && ce && cu) {
            const QString c = judged(terms.kind, terms.r1000, *ce, terms.currentTolerance, *cu);
            want = kDecisions.indexOf(c) > kDecisions.indexOf(want) ? c : want;
        }
        ++count.points;
        const QString printed = cells.value(uColumn ? 8 : 7);
        if (printed != want && ++count.broken <= 10)
            qWarning().noquote() << "row" << cells.join(" | ") << "printed" << printed << "want" << want;
        worst = std::max(worst, int(kDecisions.indexOf(printed)));
    }
    ++count.checks;
    const QString verdict = captured(html, "Verdict: ([^<]*)</b>");
    const QString overall = captured(html, "Statement of conformity: ([^<]*)</h3>");
    if ((verdict != kStatements[worst] || overall != kStatements[worst]) && ++count.broken <= 10)
        qWarning().noquote() << "statement" << verdict << overall << "want" << kStatements[worst];
}

// Errors at, just inside and just beyond each of `limits`, by powers of ten
// down to 10^-10 and by half a last digit; TCAL_SWEEP=full takes every power.
QVector<double> errorsAround(const QVector<double> &limits)
{
    static const bool full = qgetenv("TCAL_SWEEP") == "full";
    static const QVector<int> powers = full ? QVector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10} : QVector<int>{1, 3, 5, 9, 10};
    static const QVector<int> halves = full ? QVector<int>{1, 2, 3, 4, 5, 6} : QVector<int>{2, 4};
    QVector<double> errors;
    for (double limit : limits)
        for (double sign : {1.0, -1.0}) {
            errors << sign * limit;
            for (int k : powers)
                errors << sign * (limit + std::pow(10.0, -k)) << sign * (limit - std::pow(10.0, -k));
            for (int k : halves)
                errors << sign * (limit + 0.5 * std::pow(10.0, -k));
        }
    return errors;
}

// One check at 100 °C per error: of the reading, or of the loop current with the reading exact.
Record sweepRecord(const Header &h, const QVector<double> &errors, bool current, std::optional<PointUncertainty> u)
{
    Record r = newRecord(h, Stage::AsLeft, {}, QDateTime(QDate(2026, 12, 7), QTime(9, 0), Qt::UTC));
    for (double e : errors) {
        Point p{100.0, Point::Status::Recorded, current ? 100.0 : 100.0 + e, std::nullopt, r.started, u};
        if (current)
            p.currentMa = expectedCurrentMa(100.0, h.range) + e;
        r.points << p;
    }
    return r;
}

} // namespace

class TestCertificateSweep : public QObject
{
    Q_OBJECT
private slots:
    void noPrintedVerdictContradictsItsNumbers();
};

void TestCertificateSweep::noPrintedVerdictContradictsItsNumbers()
{
    Count count;
    const QVector<metrology::DecisionRule> rules{{Kind::Simple, 1.0}, {Kind::Guarded, 0.0}, {Kind::Guarded, 0.5},
                                                 {Kind::Guarded, 1.0}, {Kind::Guarded, 2.0}, {Kind::NonBinary, 0.5},
                                                 {Kind::NonBinary, 1.0}, {Kind::NonBinary, 1.5}};
    const QVector<Tolerance> tolerances{{Tolerance::Kind::Degrees, 0.1}, {Tolerance::Kind::Degrees, 0.5},
                                        {Tolerance::Kind::Degrees, 2.0}, {Tolerance::Kind::PercentOfSpan, 0.25}};
    int variant = 0;
    for (double resolution : {1.0, 0.1, 0.01, 0.001, 0.0001})
        for (const Tolerance &tolerance : tolerances)
            for (double u : {0.0, 0.0123, 0.113, 0.62, 2.5})
                for (const metrology::DecisionRule &rule : rules)
                    for (bool current : {false, true}) {
                        Header h;
                        h.serial = "SN-1";
                        h.range = {0.0, 500.0};
                        h.tolerance = tolerance;
                        h.resolution = resolution;
                        h.decisionRule = rule;
                        const bool perPoint = u > 0 && ++variant % 2 == 0;
                        if (u > 0 && !perPoint)
                            h.uncertainty = u;
                        // Its own tolerance or the temperature's over the span; the run's own
                        // current U, or a meter's terms in the header.
                        std::optional<PointUncertainty> own;
                        if (perPoint)
                            own = PointUncertainty{u, 2.03, 12.0, std::nullopt, 2.1};
                        if (current && variant % 3 == 0)
                            h.currentToleranceMa = 0.016;
                        if (current && perPoint)
                            own->currentExpandedMa = 0.0021 + 0.01 * (variant % 4);
                        else if (current)
                            h.currentMeter = MeterTerms{0.01, 0.001, 0.0001, 0.0004, 2.0};
                        const PointFigures f = figures(sweepRecord(h, {0.0}, current, own).points[0], h);
                        const double t = current ? f.currentToleranceMa : f.tolerance;
                        const double w = rule.kind == Kind::Simple ? 0.0 : rule.guardFactor
                                             * (current ? f.currentExpandedMa : f.expanded).value_or(0.0);
                        CertificateContent c;
                        c.language = 2;
                        c.asLeft = sweepRecord(h, errorsAround({t - w, t, t + w}), current, own);
                        rejudge(certificateHtml(c), count);
                    }
    qInfo("certificate sweep: %ld checks, %ld points re-judged from their printed figures, %ld contradictions",
          count.checks, count.points, count.broken);
    QVERIFY(count.points > 50000);
    QCOMPARE(count.broken, 0L);
}

QTEST_GUILESS_MAIN(TestCertificateSweep)
#include "test_certificate_sweep.moc"
