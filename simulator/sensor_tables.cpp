#include "sensor_tables.h"

#include <cmath>
#include <vector>

namespace sim {
namespace tables {

namespace {

// One temperature segment of a reference function: E = sum c[i] * t^i.
struct Segment {
    double from, to;
    std::vector<double> c;
};

struct Thermocouple {
    uint16_t code;
    std::vector<Segment> segments;
};

// NIST ITS-90 thermocouple reference functions (NIST Monograph 175).
const std::vector<Thermocouple> &thermocouples()
{
    static const std::vector<Thermocouple> list = {
        {0, {{-270.0, 0.0, {0.0, 0.394501280250e-01, 0.236223735980e-04, -0.328589067840e-06,
                            -0.499048287770e-08, -0.675090591730e-10, -0.574103274280e-12,
                            -0.310888728940e-14, -0.104516093650e-16, -0.198892668780e-19,
                            -0.163226974860e-22}},
             {0.0, 1372.0, {-0.176004136860e-01, 0.389212049750e-01, 0.185587700320e-04,
                            -0.994575928740e-07, 0.318409457190e-09, -0.560728448890e-12,
                            0.560750590590e-15, -0.320207200030e-18, 0.971511471520e-22,
                            -0.121047212750e-25}}}},                                          // K
        {1, {{-50.0, 1064.18, {0.0, 0.540313308631e-02, 0.125934289740e-04, -0.232477968689e-07,
                               0.322028823036e-10, -0.331465196389e-13, 0.255744251786e-16,
                               -0.125068871393e-19, 0.271443176145e-23}}}},                   // S
        {2, {{-50.0, 1064.18, {0.0, 0.528961729765e-02, 0.139166589782e-04, -0.238855693017e-07,
                               0.356916001063e-10, -0.462347666298e-13, 0.500777441034e-16,
                               -0.373105886191e-19, 0.157716482367e-22, -0.281038625251e-26}}}}, // R
        {3, {{0.0, 630.615, {0.0, -0.246508183460e-03, 0.590404211710e-05, -0.132579316360e-08,
                             0.156682919010e-11, -0.169445292400e-14, 0.629903470940e-18}},
             {630.615, 1820.0, {-0.389381686210e+01, 0.285717474700e-01, -0.848851047850e-04,
                                0.157852801640e-06, -0.168353448640e-09, 0.111097940130e-12,
                                -0.445154310330e-16, 0.989756408210e-20, -0.937913302890e-24}}}}, // B
        {4, {{-270.0, 0.0, {0.0, 0.261591059620e-01, 0.109574842280e-04, -0.938411115540e-07,
                            -0.464120397590e-10, -0.263033577160e-11, -0.226534380030e-13,
                            -0.760893007910e-16, -0.934196678350e-19}},
             {0.0, 1300.0, {0.0, 0.259293946010e-01, 0.157101418800e-04, 0.438256272370e-07,
                            -0.252611697940e-09, 0.643118193390e-12, -0.100634715190e-14,
                            0.997453389920e-18, -0.608632456070e-21, 0.208492293390e-24,
                            -0.306821961510e-28}}}},                                          // N
        {5, {{-270.0, 0.0, {0.0, 0.586655087080e-01, 0.454109771240e-04, -0.779980486860e-06,
                            -0.258001608430e-07, -0.594525830570e-09, -0.932140586670e-11,
                            -0.102876055340e-12, -0.803701236210e-15, -0.439794973910e-17,
                            -0.164147763550e-19, -0.396736195160e-22, -0.558273287210e-25,
                            -0.346578420130e-28}},
             {0.0, 1000.0, {0.0, 0.586655087100e-01, 0.450322755820e-04, 0.289084072120e-07,
                            -0.330568966520e-09, 0.650244032700e-12, -0.191974955040e-15,
                            -0.125366004970e-17, 0.214892175690e-20, -0.143880417820e-23,
                            0.359608994810e-27}}}},                                           // E
        {6, {{-210.0, 760.0, {0.0, 0.503811878150e-01, 0.304758369300e-04, -0.856810657200e-07,
                              0.132281952950e-09, -0.170529583370e-12, 0.209480906970e-15,
                              -0.125383953360e-18, 0.156317256970e-22}}}},                    // J
        {7, {{0.0, 400.0, {0.0, 0.387481063640e-01, 0.332922278800e-04, 0.206182434040e-06,
                           -0.218822568460e-08, 0.109968809280e-10, -0.308157587720e-13,
                           0.454791352900e-16, -0.275129016730e-19}}}},                        // T (0..400)
    };
    return list;
}

const Thermocouple *find(uint16_t code)
{
    for (const Thermocouple &t : thermocouples())
        if (t.code == code)
            return &t;
    return nullptr;
}

double polynomial(const std::vector<double> &c, double t)
{
    double sum = 0.0;
    for (auto it = c.rbegin(); it != c.rend(); ++it)
        sum = sum * t + *it;
    return sum;
}

constexpr uint16_t kTypeK = 0;
constexpr uint16_t kPt100 = 32, kCu50 = 33;
constexpr double kA = 3.9083e-3, kB = -5.775e-7, kC = -4.183e-12;
constexpr double kCu50Alpha = 0.00428;

} // namespace

bool hasStandardCurve(uint16_t inputType)
{
    return find(inputType) || inputType == kPt100 || inputType == kCu50;
}

std::optional<double> emfMv(uint16_t inputType, double celsius)
{
    const Thermocouple *tc = find(inputType);
    if (!tc)
        return std::nullopt;
    for (const Segment &s : tc->segments) {
        if (celsius < s.from || celsius > s.to)
            continue;
        double e = polynomial(s.c, celsius);
        if (inputType == kTypeK && celsius > 0.0)   // K's exponential term above 0 degC
            e += 0.118597600000 * std::exp(-0.118343200000e-03 * std::pow(celsius - 126.9686, 2));
        return e;
    }
    return std::nullopt;
}

std::optional<double> celsiusFromEmf(uint16_t inputType, double mv)
{
    const Thermocouple *tc = find(inputType);
    if (!tc)
        return std::nullopt;
    double low = tc->segments.front().from, high = tc->segments.back().to;
    if (mv < *emfMv(inputType, low) || mv > *emfMv(inputType, high))
        return std::nullopt;
    for (int i = 0; i < 60; ++i) {
        const double mid = (low + high) / 2.0;
        (*emfMv(inputType, mid) < mv ? low : high) = mid;
    }
    return (low + high) / 2.0;
}

double pt100Ohms(double t)
{
    double r = 1.0 + kA * t + kB * t * t;
    if (t < 0.0)
        r += kC * (t - 100.0) * t * t * t;
    return 100.0 * r;
}

double pt100Celsius(double ohms)
{
    double low = -200.0, high = 850.0;
    for (int i = 0; i < 60; ++i) {
        const double mid = (low + high) / 2.0;
        (pt100Ohms(mid) < ohms ? low : high) = mid;
    }
    return (low + high) / 2.0;
}

double cu50Ohms(double celsius) { return 50.0 * (1.0 + kCu50Alpha * celsius); }
double cu50Celsius(double ohms) { return (ohms / 50.0 - 1.0) / kCu50Alpha; }

} // namespace tables
} // namespace sim
