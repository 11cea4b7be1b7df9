// Every edge of every decision rule: an error swept across the tolerance and
// its guard bands, for U below, at and above the tolerance. The zones are
// written here from ILAC-G8 as intervals on an integer grid (exact in a
// double), independently of decide(); then the same grid scaled to decimals.

#include "metrology/decision_rule.h"

#include <QtTest>

#include <cmath>
#include <limits>

using namespace metrology;
using Kind = DecisionRule::Kind;

namespace {

// ILAC-G8:09/2019 4.2: the zones of |e| for tolerance T and guard band w.
Decision expected(Kind kind, double r, long e, long t, long u)
{
    const long a = std::labs(e);
    const double w = kind == Kind::Simple ? 0.0 : r * double(u);
    const bool uncertaintyTooLarge = u > 0 && u >= t;
    if (kind == Kind::NonBinary) {
        if (!uncertaintyTooLarge && double(a) <= double(t) - w && double(t) - w > 0)
            return Decision::Pass;
        if (a <= t)
            return Decision::ConditionalPass;
        return double(a) <= double(t) + w ? Decision::ConditionalFail : Decision::Fail;
    }
    const double limit = double(t) - w;
    if (!uncertaintyTooLarge && limit > 0 && double(a) <= limit)
        return Decision::Pass;
    return (uncertaintyTooLarge || limit <= 0) && a <= t ? Decision::CannotPass : Decision::Fail;
}

} // namespace

class TestDecisionRule : public QObject
{
    Q_OBJECT
private slots:
    void everyEdgeOfEveryRule();
    void decimalEdgesMeetExactly();
    void whatCannotBeJudgedFails();
    void keysRoundTrip();
};

void TestDecisionRule::everyEdgeOfEveryRule()
{
    int tried = 0, broken = 0, passesWithLargeU = 0;
    for (Kind kind : {Kind::Simple, Kind::Guarded, Kind::NonBinary})
        for (double r : {0.0, 0.5, 1.0, 2.0})
            for (long t = 1; t <= 12; ++t)
                for (long u = 0; u <= 14; ++u)
                    for (long e = -40; e <= 40; ++e) {
                        // Units of 1/4 so r*U lands on the grid and every edge is hit.
                        const double scale = 0.25;
                        const Decision got = decide({kind, r}, e * scale, t * scale, u * scale);
                        const Decision want = expected(kind, r, e, t, u);
                        ++tried;
                        if (got != want) {
                            if (++broken <= 10)
                                qWarning("%s r=%g e=%ld T=%ld U=%ld: got %s, want %s", ruleKey(kind).c_str(), r,
                                         e, t, u, decisionKey(got).c_str(), decisionKey(want).c_str());
                        }
                        if (u >= t && u > 0 && conforms(got))
                            ++passesWithLargeU;
                    }
    qInfo("decision rules: %d cases tried, %d broke, %d passed with U >= T", tried, broken, passesWithLargeU);
    QCOMPARE(broken, 0);
    QCOMPARE(passesWithLargeU, 0);
}

void TestDecisionRule::decimalEdgesMeetExactly()
{
    // Decimal figures that a double cannot hold exactly still meet at the edge,
    // and the unrounded error decides: 0.5004 beyond 0.5 fails although it prints +0.5.
    int tried = 0, broken = 0;
    for (int t = 1; t <= 200; ++t)
        for (int u = 0; u < t; ++u) {
            const double T = t / 100.0, U = u / 100.0;
            const double limit = T - U;
            ++tried;
            const bool ok = decide({Kind::Guarded, 1.0}, limit, T, U) == Decision::Pass
                && decide({Kind::Guarded, 1.0}, -limit, T, U) == Decision::Pass
                && decide({Kind::Guarded, 1.0}, limit + 1e-4, T, U) == Decision::Fail
                && decide({Kind::Simple, 1.0}, T, T, U) == Decision::Pass
                && decide({Kind::Simple, 1.0}, T + 1e-4, T, U) == Decision::Fail
                // The stated grid: 0.4e-9 above the limit is at it, 0.6e-9 beyond it.
                && decide({Kind::Guarded, 1.0}, limit + 0.4e-9, T, U) == Decision::Pass
                && decide({Kind::Guarded, 1.0}, limit + 0.6e-9, T, U) == Decision::Fail
                && acceptanceLimit({Kind::Guarded, 1.0}, T, U).has_value();
            broken += ok ? 0 : 1;
        }
    qInfo("decimal edges: %d cases tried, %d broke", tried, broken);
    QCOMPARE(broken, 0);
    QCOMPARE(decide({Kind::Guarded, 1.0}, 0.5004, 0.5, 0.0), Decision::Fail);
    // The reported faults: T = 0.001 with U = 0.29; a mA tolerance of 0.0096 with U = 0.018.
    QCOMPARE(decide({Kind::Guarded, 1.0}, 0.0, 0.001, 0.29), Decision::CannotPass);
    QCOMPARE(decide({Kind::Guarded, 1.0}, 0.004, 0.0096, 0.018), Decision::CannotPass);
    QVERIFY(!acceptanceLimit({Kind::Guarded, 1.0}, 0.001, 0.29));
}

void TestDecisionRule::whatCannotBeJudgedFails()
{
    const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
    int tried = 0, broken = 0;
    for (Kind kind : {Kind::Simple, Kind::Guarded, Kind::NonBinary})
        for (double bad : {nan, inf, -inf}) {
            const Decision ds[] = {decide({kind, 1.0}, bad, 1.0, 0.1), decide({kind, 1.0}, 0.0, bad, 0.1),
                                   decide({kind, 1.0}, 0.0, 1.0, bad), decide({kind, bad}, 0.0, 1.0, 0.1),
                                   decide({kind, 1.0}, 0.0, 0.0, 0.0), decide({kind, 1.0}, 0.0, -1.0, 0.0),
                                   decide({kind, 1.0}, 0.0, 1.0, -0.1), decide({kind, -1.0}, 0.0, 1.0, 0.1)};
            for (Decision d : ds) {
                ++tried;
                broken += d == Decision::Fail ? 0 : 1;
            }
        }
    qInfo("unjudgeable inputs: %d cases tried, %d broke", tried, broken);
    QCOMPARE(broken, 0);
}

void TestDecisionRule::keysRoundTrip()
{
    for (Kind kind : {Kind::Simple, Kind::Guarded, Kind::NonBinary})
        QCOMPARE(*ruleKind(ruleKey(kind)), kind);
    QVERIFY(!ruleKind("guarded"));
    QCOMPARE(QString::fromStdString(decisionKey(Decision::CannotPass)), QStringLiteral("cannot pass"));
}

QTEST_GUILESS_MAIN(TestDecisionRule)
#include "test_decision_rule.moc"
