#include "metrology/reference_functions.h"

#include "metrology/rtd_ranges.h"

#include <cmath>
#include <functional>
#include <vector>

namespace metrology {

namespace {

// One temperature segment of a reference function: E = sum c[i] * t^i (mV, degC).
struct Segment {
    double from, to;
    std::vector<double> c;
};

// NIST ITS-90 reference functions (NIST SRD 60, allcoeff.tab; NIST Monograph 175).
const std::vector<Segment> &segmentsOf(Thermocouple type)
{
    static const std::vector<Segment> k = {
        {-270.0, 0.0, {0.0, 0.394501280250e-01, 0.236223735980e-04, -0.328589067840e-06,
                       -0.499048287770e-08, -0.675090591730e-10, -0.574103274280e-12,
                       -0.310888728940e-14, -0.104516093650e-16, -0.198892668780e-19,
                       -0.163226974860e-22}},
        {0.0, 1372.0, {-0.176004136860e-01, 0.389212049750e-01, 0.185587700320e-04,
                       -0.994575928740e-07, 0.318409457190e-09, -0.560728448890e-12,
                       0.560750590590e-15, -0.320207200030e-18, 0.971511471520e-22,
                       -0.121047212750e-25}}};
    static const std::vector<Segment> s = {
        {-50.0, 1064.18, {0.0, 0.540313308631e-02, 0.125934289740e-04, -0.232477968689e-07,
                          0.322028823036e-10, -0.331465196389e-13, 0.255744251786e-16,
                          -0.125068871393e-19, 0.271443176145e-23}},
        {1064.18, 1664.5, {0.132900444085e+01, 0.334509311344e-02, 0.654805192818e-05,
                           -0.164856259209e-08, 0.129989605174e-13}},
        {1664.5, 1768.1, {0.146628232636e+03, -0.258430516752e+00, 0.163693574641e-03,
                          -0.330439046987e-07, -0.943223690612e-14}}};
    static const std::vector<Segment> r = {
        {-50.0, 1064.18, {0.0, 0.528961729765e-02, 0.139166589782e-04, -0.238855693017e-07,
                          0.356916001063e-10, -0.462347666298e-13, 0.500777441034e-16,
                          -0.373105886191e-19, 0.157716482367e-22, -0.281038625251e-26}},
        {1064.18, 1664.5, {0.295157925316e+01, -0.252061251332e-02, 0.159564501865e-04,
                           -0.764085947576e-08, 0.205305291024e-11, -0.293359668173e-15}},
        {1664.5, 1768.1, {0.152232118209e+03, -0.268819888545e+00, 0.171280280471e-03,
                          -0.345895706453e-07, -0.934633971046e-14}}};
    static const std::vector<Segment> b = {
        {0.0, 630.615, {0.0, -0.246508183460e-03, 0.590404211710e-05, -0.132579316360e-08,
                        0.156682919010e-11, -0.169445292400e-14, 0.629903470940e-18}},
        {630.615, 1820.0, {-0.389381686210e+01, 0.285717474700e-01, -0.848851047850e-04,
                           0.157852801640e-06, -0.168353448640e-09, 0.111097940130e-12,
                           -0.445154310330e-16, 0.989756408210e-20, -0.937913302890e-24}}};
    static const std::vector<Segment> n = {
        {-270.0, 0.0, {0.0, 0.261591059620e-01, 0.109574842280e-04, -0.938411115540e-07,
                       -0.464120397590e-10, -0.263033577160e-11, -0.226534380030e-13,
                       -0.760893007910e-16, -0.934196678350e-19}},
        {0.0, 1300.0, {0.0, 0.259293946010e-01, 0.157101418800e-04, 0.438256272370e-07,
                       -0.252611697940e-09, 0.643118193390e-12, -0.100634715190e-14,
                       0.997453389920e-18, -0.608632456070e-21, 0.208492293390e-24,
                       -0.306821961510e-28}}};
    static const std::vector<Segment> e = {
        {-270.0, 0.0, {0.0, 0.586655087080e-01, 0.454109771240e-04, -0.779980486860e-06,
                       -0.258001608430e-07, -0.594525830570e-09, -0.932140586670e-11,
                       -0.102876055340e-12, -0.803701236210e-15, -0.439794973910e-17,
                       -0.164147763550e-19, -0.396736195160e-22, -0.558273287210e-25,
                       -0.346578420130e-28}},
        {0.0, 1000.0, {0.0, 0.586655087100e-01, 0.450322755820e-04, 0.289084072120e-07,
                       -0.330568966520e-09, 0.650244032700e-12, -0.191974955040e-15,
                       -0.125366004970e-17, 0.214892175690e-20, -0.143880417820e-23,
                       0.359608994810e-27}}};
    static const std::vector<Segment> j = {
        {-210.0, 760.0, {0.0, 0.503811878150e-01, 0.304758369300e-04, -0.856810657200e-07,
                         0.132281952950e-09, -0.170529583370e-12, 0.209480906970e-15,
                         -0.125383953360e-18, 0.156317256970e-22}},
        {760.0, 1200.0, {0.296456256810e+03, -0.149761277860e+01, 0.317871039240e-02,
                         -0.318476867010e-05, 0.157208190040e-08, -0.306913690560e-12}}};
    static const std::vector<Segment> t = {
        {-270.0, 0.0, {0.0, 0.387481063640e-01, 0.441944343470e-04, 0.118443231050e-06,
                       0.200329735540e-07, 0.901380195590e-09, 0.226511565930e-10,
                       0.360711542050e-12, 0.384939398830e-14, 0.282135219250e-16,
                       0.142515947790e-18, 0.487686622860e-21, 0.107955392700e-23,
                       0.139450270620e-26, 0.797951539270e-30}},
        {0.0, 400.0, {0.0, 0.387481063640e-01, 0.332922278800e-04, 0.206182434040e-06,
                      -0.218822568460e-08, 0.109968809280e-10, -0.308157587720e-13,
                      0.454791352900e-16, -0.275129016730e-19}}};
    switch (type) {
    case Thermocouple::K: return k;
    case Thermocouple::S: return s;
    case Thermocouple::R: return r;
    case Thermocouple::B: return b;
    case Thermocouple::N: return n;
    case Thermocouple::E: return e;
    case Thermocouple::J: return j;
    case Thermocouple::T: return t;
    }
    return k;
}

// Type K above 0 degC carries a0 * exp(a1 * (t - a2)^2) for the magnetic
// ordering of its negative leg; without it the table is off by up to 0.1 mV.
constexpr double kExpA0 = 0.118597600000e+00;
constexpr double kExpA1 = -0.118343200000e-03;
constexpr double kExpA2 = 0.126968600000e+03;

const Segment *segmentFor(Thermocouple type, double celsius)
{
    for (const Segment &s : segmentsOf(type))
        if (celsius >= s.from && celsius <= s.to)   // false for NaN as well
            return &s;
    return nullptr;
}

double polynomial(const std::vector<double> &c, double t)
{
    double sum = 0.0;
    for (auto it = c.rbegin(); it != c.rend(); ++it)
        sum = sum * t + *it;
    return sum;
}

double polynomialDerivative(const std::vector<double> &c, double t)
{
    double sum = 0.0;
    for (std::size_t i = c.size() - 1; i >= 1; --i)
        sum = sum * t + static_cast<double>(i) * c[i];
    return sum;
}

bool hasExponentialTerm(Thermocouple type, double celsius)
{
    return type == Thermocouple::K && celsius > 0.0;
}

// The t in [low, high] where the increasing f(t) reaches target, by bisection.
double solveIncreasing(const std::function<double(double)> &f, double low, double high, double target)
{
    for (int i = 0; i < 200 && high - low > 1e-12; ++i) {
        const double mid = (low + high) / 2.0;
        (f(mid) < target ? low : high) = mid;
    }
    return (low + high) / 2.0;
}

// Where the inverse starts: the range's bottom, except for type B whose EMF
// falls from 0 degC to a minimum near 21 degC before it rises.
double lowestInvertible(Thermocouple type)
{
    if (type != Thermocouple::B)
        return rangeOf(type).lowest;
    static const double bMinimum = solveIncreasing(
        [](double t) { return *seebeckMillivoltsPerKelvin(Thermocouple::B, t); }, 0.0, 100.0, 0.0);
    return bMinimum;
}

constexpr double kPtA = 3.9083e-3, kPtB = -5.775e-7, kPtC = -4.183e-12;
constexpr double kPtLowest = detail::kPt100Range.lowest, kPtHighest = detail::kPt100Range.highest;
// The copper RTD table (W100 = 1.4280): R0 (1 + A t + B t^2 + C t^3).
constexpr double kCuA = 4.28899e-3, kCuB = -2.133e-7, kCuC = 1.233e-9;
constexpr double kCuLowest = detail::kCu50Range.lowest, kCuHighest = detail::kCu50Range.highest;

} // namespace

TemperatureRange rangeOf(Thermocouple type)
{
    const auto &segments = segmentsOf(type);
    return {segments.front().from, segments.back().to};
}

std::optional<double> emfMillivolts(Thermocouple type, double celsius)
{
    const Segment *s = segmentFor(type, celsius);
    if (!s)
        return std::nullopt;
    double e = polynomial(s->c, celsius);
    if (hasExponentialTerm(type, celsius))
        e += kExpA0 * std::exp(kExpA1 * (celsius - kExpA2) * (celsius - kExpA2));
    return e;
}

std::optional<double> celsiusFromEmf(Thermocouple type, double millivolts)
{
    const double low = lowestInvertible(type), high = rangeOf(type).highest;
    const auto f = [type](double t) { return *emfMillivolts(type, t); };
    if (!(millivolts >= f(low) && millivolts <= f(high)))
        return std::nullopt;
    return solveIncreasing(f, low, high, millivolts);
}

std::optional<double> seebeckMillivoltsPerKelvin(Thermocouple type, double celsius)
{
    const Segment *s = segmentFor(type, celsius);
    if (!s)
        return std::nullopt;
    double d = polynomialDerivative(s->c, celsius);
    if (hasExponentialTerm(type, celsius)) {
        const double x = celsius - kExpA2;
        d += kExpA0 * std::exp(kExpA1 * x * x) * 2.0 * kExpA1 * x;
    }
    return d;
}

double pt100Ohms(double celsius)
{
    const double t = celsius;
    double r = 1.0 + kPtA * t + kPtB * t * t;
    if (t < 0.0)
        r += kPtC * (t - 100.0) * t * t * t;
    return 100.0 * r;
}

std::optional<double> pt100Celsius(double ohms)
{
    if (!(ohms >= pt100Ohms(kPtLowest) && ohms <= pt100Ohms(kPtHighest)))
        return std::nullopt;
    return solveIncreasing(pt100Ohms, kPtLowest, kPtHighest, ohms);
}

double pt100OhmsPerKelvin(double celsius)
{
    const double t = celsius;
    double d = kPtA + 2.0 * kPtB * t;
    if (t < 0.0)
        d += kPtC * (4.0 * t * t * t - 300.0 * t * t);
    return 100.0 * d;
}

double cu50Ohms(double celsius)
{
    const double t = celsius;
    return 50.0 * (1.0 + t * (kCuA + t * (kCuB + t * kCuC)));
}

std::optional<double> cu50Celsius(double ohms)
{
    if (!(ohms >= cu50Ohms(kCuLowest) && ohms <= cu50Ohms(kCuHighest)))
        return std::nullopt;
    return solveIncreasing(cu50Ohms, kCuLowest, kCuHighest, ohms);
}

double cu50OhmsPerKelvin(double celsius)
{
    const double t = celsius;
    return 50.0 * (kCuA + t * (2.0 * kCuB + t * 3.0 * kCuC));
}

} // namespace metrology
