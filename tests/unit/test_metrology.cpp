// Sensor reference functions and GUM budgets against published numbers.

#include "metrology/point_budget.h"
#include "metrology/reference_functions.h"
#include "metrology/sensor.h"
#include "metrology/uncertainty.h"

#include <QtTest>

#include <cmath>

using namespace metrology;
Q_DECLARE_METATYPE(metrology::Thermocouple)

class TestMetrology : public QObject
{
    Q_OBJECT
private slots:
    void nistTables_data();
    void nistTables();
    void outsideTheRangeIsRefused();
    void inverseAgreesOverTheWholeRange();
    void seebeckIsTheSlope();
    void pt100Table();
    void sensorCodesAndTerminalSignal();
    void typeAOfGumH2();
    void gumEndGauge();
    void eaWeightCalibration();
    void studentTable();
    void thermocouplePointBudget();
    void budgetRefusesWhatItCannotDo();
};

void TestMetrology::nistTables_data()
{
    QTest::addColumn<Thermocouple>("type");
    QTest::addColumn<double>("celsius");
    QTest::addColumn<double>("mv");
    // NIST ITS-90 thermocouple tables (NIST SRD 60, Monograph 175), mV, three decimals.
    const struct { Thermocouple t; double c, mv; } rows[] = {
        {Thermocouple::K, -270, -6.458}, {Thermocouple::K, -100, -3.554}, {Thermocouple::K, 100, 4.096},
        {Thermocouple::K, 1372, 54.886}, {Thermocouple::S, -50, -0.236}, {Thermocouple::S, 1000, 9.587},
        {Thermocouple::S, 1500, 15.582}, {Thermocouple::S, 1768, 18.693}, {Thermocouple::R, -50, -0.226},
        {Thermocouple::R, 500, 4.471}, {Thermocouple::R, 1500, 17.451}, {Thermocouple::R, 1768.1, 21.103},
        {Thermocouple::B, 1000, 4.834}, {Thermocouple::B, 1500, 10.099}, {Thermocouple::B, 1820, 13.820},
        {Thermocouple::N, -270, -4.345}, {Thermocouple::N, 1000, 36.256}, {Thermocouple::N, 1300, 47.513},
        {Thermocouple::E, -270, -9.835}, {Thermocouple::E, -100, -5.237}, {Thermocouple::E, 1000, 76.373},
        {Thermocouple::J, -210, -8.095}, {Thermocouple::J, 500, 27.393}, {Thermocouple::J, 1000, 57.953},
        {Thermocouple::J, 1200, 69.553}, {Thermocouple::T, -270, -6.258}, {Thermocouple::T, -200, -5.603},
        {Thermocouple::T, -100, -3.379}, {Thermocouple::T, 400, 20.872},
    };
    for (const auto &r : rows)
        QTest::addRow("%c %g", "KSRBNEJT"[int(r.t)], r.c) << r.t << r.c << r.mv;
}

void TestMetrology::nistTables()
{
    QFETCH(Thermocouple, type);
    QFETCH(double, celsius);
    QFETCH(double, mv);
    const auto emf = emfMillivolts(type, celsius);
    QVERIFY(emf);
    QVERIFY2(std::abs(*emf - mv) <= 0.0005 + 1e-9, qPrintable(QString::number(*emf, 'f', 5)));
}

void TestMetrology::outsideTheRangeIsRefused()
{
    QVERIFY(!emfMillivolts(Thermocouple::K, 1372.1));
    QVERIFY(!emfMillivolts(Thermocouple::T, -270.1));
    QVERIFY(!emfMillivolts(Thermocouple::S, 1768.2));
    QVERIFY(!emfMillivolts(Thermocouple::B, -0.1));
    QVERIFY(!emfMillivolts(Thermocouple::J, std::nan("")));
    QVERIFY(!celsiusFromEmf(Thermocouple::T, 21.0));   // beyond 400 degC
    QVERIFY(!seebeckMillivoltsPerKelvin(Thermocouple::E, 1000.5));
}

void TestMetrology::inverseAgreesOverTheWholeRange()
{
    for (int i = 0; i < 8; ++i) {
        const auto type = Thermocouple(i);
        const TemperatureRange r = rangeOf(type);
        // B's EMF falls to a minimum near 21 degC: one-to-one only above it.
        const double from = type == Thermocouple::B ? 25.0 : r.lowest;
        for (double t = from; t <= r.highest; t += 0.37) {
            const auto back = celsiusFromEmf(type, *emfMillivolts(type, t));
            QVERIFY2(back && std::abs(*back - t) < 0.0005, qPrintable(QString("%1 %2").arg(i).arg(t)));
        }
    }
    QVERIFY(*celsiusFromEmf(Thermocouple::B, *emfMillivolts(Thermocouple::B, 10.0)) > 20.0);
}

void TestMetrology::seebeckIsTheSlope()
{
    const struct { Thermocouple t; double c; } points[] = {
        {Thermocouple::K, -200}, {Thermocouple::K, 126.9686 + 30}, {Thermocouple::K, 800},
        {Thermocouple::S, 1300}, {Thermocouple::R, 1700}, {Thermocouple::B, 300}, {Thermocouple::J, 900},
        {Thermocouple::T, -150}, {Thermocouple::N, 600}, {Thermocouple::E, -50}};
    for (const auto &p : points) {
        const double h = 0.01;
        const double slope = (*emfMillivolts(p.t, p.c + h) - *emfMillivolts(p.t, p.c - h)) / (2 * h);
        QVERIFY(std::abs(*seebeckMillivoltsPerKelvin(p.t, p.c) - slope) < 1e-6);
    }
    // NIST K table around 25 degC: (E(26) - E(24)) / 2 = (1.041 - 0.960) / 2 mV/K.
    QVERIFY(std::abs(*seebeckMillivoltsPerKelvin(Thermocouple::K, 25.0) - 0.0405) < 0.0005);
}

void TestMetrology::pt100Table()
{
    // IEC 60751 (ITS-90, A = 3.9083e-3, B = -5.775e-7, C = -4.183e-12) table values.
    const double table[][2] = {{-200, 18.5201}, {-100, 60.2558}, {0, 100.0}, {100, 138.5055}, {850, 390.4811}};
    for (const auto &row : table) {
        QVERIFY(std::abs(pt100Ohms(row[0]) - row[1]) < 1e-4);
        QVERIFY(std::abs(*pt100Celsius(row[1]) - row[0]) < 5e-4);
    }
    QVERIFY(!pt100Celsius(18.0));
    QVERIFY(!pt100Celsius(391.0));
    for (double t : {-150.0, -20.0, 300.0}) {
        const double slope = (pt100Ohms(t + 0.01) - pt100Ohms(t - 0.01)) / 0.02;
        QVERIFY(std::abs(pt100OhmsPerKelvin(t) - slope) < 1e-7);
    }
    QVERIFY(std::abs(cu50Ohms(100.0) - 71.4) < 1e-9);
    QVERIFY(std::abs(*cu50Celsius(71.4) - 100.0) < 1e-9);
    QVERIFY(!cu50Celsius(39.0) && !cu50Celsius(83.0));   // its table runs -50..150 degC: 39.3..82.1 ohm
}

void TestMetrology::sensorCodesAndTerminalSignal()
{
    const Thermocouple order[] = {Thermocouple::K, Thermocouple::S, Thermocouple::R, Thermocouple::B,
                                  Thermocouple::N, Thermocouple::E, Thermocouple::J, Thermocouple::T};
    for (uint16_t code = 0; code < 8; ++code)
        QVERIFY(sensorForInputType(code)->type == order[code] && isThermocouple(*sensorForInputType(code)));
    QVERIFY(sensorForInputType(32)->kind == Sensor::Kind::Pt100);
    QVERIFY(sensorForInputType(33)->kind == Sensor::Kind::Cu50);
    for (uint16_t code : {8, 9, 10, 31, 34})
        QVERIFY(!sensorForInputType(code));
    QCOMPARE(signalUnit(*sensorForInputType(0)), "mV");
    QCOMPARE(signalUnit(*sensorForInputType(32)), "ohm");

    // NIST K: E(500) = 20.644, E(25) = 1.000 -> the terminals see 19.644 mV.
    const Sensor k = *sensorForInputType(0);
    QVERIFY(std::abs(*signalFor(k, 500.0, 25.0) - 19.644) < 0.001);
    QVERIFY(std::abs(*celsiusFor(k, 19.644, 25.0) - 500.0) < 0.03);
    QVERIFY(!signalFor(k, 1400.0, 25.0));
    const Sensor pt = *sensorForInputType(32);
    QVERIFY(std::abs(*signalFor(pt, 100.0, 99.0) - 138.5055) < 1e-4);   // no cold junction
    QVERIFY(!sensitivity(pt, 851.0));
}

void TestMetrology::typeAOfGumH2()
{
    // JCGM 100:2008 Table H.2: five observations of V, I and phi, their means
    // and experimental standard deviations of the mean.
    const auto v = typeA({5.007, 4.994, 5.005, 4.990, 4.999});
    QVERIFY(std::abs(v->mean - 4.9990) < 5e-5 && std::abs(v->standardUncertainty - 0.0032) < 5e-5);
    QCOMPARE(v->degreesOfFreedom, 4.0);
    const auto i = typeA({19.663, 19.639, 19.640, 19.685, 19.678});
    QVERIFY(std::abs(i->mean - 19.6610) < 5e-5 && std::abs(i->standardUncertainty - 0.0095) < 5e-5);
    const auto phi = typeA({1.0456, 1.0438, 1.0468, 1.0428, 1.0433});
    QVERIFY(std::abs(phi->mean - 1.04446) < 5e-6 && std::abs(phi->standardUncertainty - 0.00075) < 5e-6);
    QVERIFY(!typeA({1.0}));
    QVERIFY(!typeA({1.0, std::nan("")}));
}

void TestMetrology::gumEndGauge()
{
    // JCGM 100:2008 H.1 (Table H.1): u_c(l) = 32 nm, nu_eff = 16 (16.7 truncated),
    // t_99(16) = 2.92, U_99 = 93 nm.
    const std::vector<Contribution> budget = {
        {"standard", 25, 18}, {"difference", 9.7, 25.6}, {"expansion difference", 2.9, 50},
        {"temperature difference", 16.6, 2}};
    const Combined c = combine(budget, 0.99);
    QCOMPARE(std::round(c.standardUncertainty), 32.0);
    QCOMPARE(std::floor(c.effectiveDegreesOfFreedom), 16.0);
    QVERIFY(std::abs(coverageFactor(16, 0.99) - 2.92) < 0.005);
    QCOMPARE(std::round(coverageFactor(16, 0.99) * std::round(c.standardUncertainty)), 93.0);
    // Non-integer nu lies between its neighbours.
    QVERIFY(c.coverageFactor < coverageFactor(16, 0.99) && c.coverageFactor > coverageFactor(17, 0.99));
}

void TestMetrology::eaWeightCalibration()
{
    // EA-4/02 M:2022 (and 2013) example S2, a 10 kg weight, mg: standard 45 mg at k = 2,
    // drift +-15 mg, comparator s = 25 mg over 3 readings, eccentricity and buoyancy
    // +-10 mg each; u(m_X) = 29.3 mg, U = 59 mg at k = 2.
    const std::vector<Contribution> budget = {{"standard", 45.0 / 2}, {"drift", rectangular(15)},
                                              {"comparator", 25.0 / std::sqrt(3.0)},
                                              {"eccentricity", rectangular(10)}, {"buoyancy", rectangular(10)}};
    const Combined c = combine(budget);
    QVERIFY(std::abs(c.standardUncertainty - 29.3) < 0.05);
    QVERIFY(std::isinf(c.effectiveDegreesOfFreedom));
    QCOMPARE(std::round(c.expanded), 59.0);
}

void TestMetrology::studentTable()
{
    // EA-4/02 Annex E (Table E.1) and JCGM 100:2008 Table G.2, k for p = 95.45 %.
    const double table[][2] = {{1, 13.97}, {2, 4.53}, {5, 2.65}, {10, 2.28}, {50, 2.05}};
    for (const auto &row : table)
        QVERIFY2(std::abs(coverageFactor(row[0]) - row[1]) < 0.005, qPrintable(QString::number(row[0])));
    QVERIFY(std::abs(coverageFactor(std::numeric_limits<double>::infinity()) - 2.00) < 0.005);
    QVERIFY(std::abs(coverageFactor(std::numeric_limits<double>::infinity(), 0.99) - 2.576) < 0.0005);
    QVERIFY(std::isnan(coverageFactor(0)));
}

void TestMetrology::thermocouplePointBudget()
{
    PointInputs in;
    in.sensor = *sensorForInputType(0);
    in.celsius = 500;
    in.coldJunctionCelsius = 25;
    in.reference = {0.02, 0.005, 0.001, false};
    in.readings = {500.1, 500.0, 499.9, 500.0};
    in.roomSensorLimit = 0.5;
    in.rangeLower = 0;
    in.rangeUpper = 1000;
    in.meter = {0.01, 0.001, 0.001, false};
    in.currentsMa = {12.001, 12.000, 11.999, 12.000};
    const auto b = pointBudget(in);
    QVERIFY(b);
    QStringList names;
    for (const Contribution &c : b->temperature)
        names << QString::fromStdString(c.name);
    QCOMPARE(names, QStringList({"reference", "reference resolution", "transmitter resolution", "repeatability",
                                 "cold junction"}));

    // From the NIST table: 19.644 mV sourced, +-(0.02 % + 0.005 mV) rectangular,
    // over S(500) = dE/dt by the table's neighbours.
    const auto slope = [](double t) {
        return (*emfMillivolts(Thermocouple::K, t + 0.5) - *emfMillivolts(Thermocouple::K, t - 0.5));
    };
    const double reference = (19.644 * 0.0002 + 0.005) / std::sqrt(3.0) / slope(500);
    QVERIFY(std::abs(b->temperature[0].standardUncertainty - reference) < 1e-3 * reference);
    const double junction = 0.5 / std::sqrt(3.0) * slope(25) / slope(500);
    QVERIFY(std::abs(b->temperature[4].standardUncertainty - junction) < 1e-3 * junction);
    QCOMPARE(b->temperature[3].degreesOfFreedom, 3.0);
    QVERIFY(std::isfinite(b->temperatureResult.effectiveDegreesOfFreedom));
    QVERIFY(b->temperatureResult.coverageFactor > 2.0);

    QCOMPARE(b->current[0].name, std::string("reference"));
    QVERIFY(std::abs(b->current[0].standardUncertainty - reference * 16 / 1000) < 1e-6);
    const auto meter = std::find_if(b->current.begin(), b->current.end(), [](const Contribution &c) { return c.name == "meter"; });
    QVERIFY(meter != b->current.end());
    QVERIFY(std::abs(meter->standardUncertainty - (12.0 * 0.0001 + 0.001) / std::sqrt(3.0)) < 1e-9);

    // A limit stated at k = 2 is halved, not divided by sqrt(3).
    in.reference.statedAtK2 = true;
    const double atK2 = pointBudget(in)->temperature[0].standardUncertainty;
    QVERIFY(std::abs(atK2 / b->temperature[0].standardUncertainty - std::sqrt(3.0) / 2) < 1e-9);
}

void TestMetrology::budgetRefusesWhatItCannotDo()
{
    PointInputs in;
    in.sensor = *sensorForInputType(32);
    in.celsius = 100;
    in.readings = {100.0, 100.1};
    in.currentsMa = {20.0, 20.0};
    const auto pt = pointBudget(in);
    QVERIFY(pt);
    QCOMPARE(pt->temperature.size(), size_t(4));   // no cold junction for a resistance input
    in.readings = {100.0};
    QVERIFY(!pointBudget(in));
    in.readings = {100.0, 100.1};
    in.rangeUpper = in.rangeLower;
    QVERIFY(!pointBudget(in));
    in.rangeUpper = 100;
    in.celsius = 900;   // beyond PT100's 850 degC
    QVERIFY(!pointBudget(in));
}

QTEST_APPLESS_MAIN(TestMetrology)
#include "test_metrology.moc"
