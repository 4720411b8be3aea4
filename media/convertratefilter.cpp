#include "media/convertrate.h"

#include <cmath>

namespace
{
// Zeroth-order modified Bessel function of the first kind (power series).
double BesselI0(double x)
{
    double sum = 1, term = 1;
    for (int k = 1; k < 50 && term > sum * 1e-17; k++) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
    }
    return sum;
}

long RoundAway(double value)
{
    return std::lround(value);
}
} // namespace

LConvertRateBase::LConvertRateBase(int inRate, int outRate, int tapCount, bool sharp)
    : taps(tapCount < 1 ? 1 : tapCount)
{
    double r = static_cast<double>(inRate) / outRate;
    double best = r;
    for (int n = 1; n <= 255; n++) {
        double e = std::fabs(r - RoundAway(n * r) / static_cast<double>(n));
        if (e < best) {
            best = e;
            phases = n;
        }
        if (e < 0.001)
            break;
    }
    step = static_cast<int>(RoundAway(phases * r));
    if (step < 1)
        step = 1;

    double fc, beta;
    if (outRate <= inRate) {
        fc = static_cast<double>(outRate) / inRate - (sharp ? 0.09375 : 0.046875);
        beta = 4.538;
    } else {
        fc = 0.975;
        beta = 2.12;
    }
    double half = taps / 2;
    double i0Beta = BesselI0(beta);
    coefficients.resize(static_cast<size_t>(phases) * taps);
    for (int p = 0; p < phases; p++) {
        for (int t = 0; t < taps; t++) {
            double x = (t - taps / 2) - static_cast<double>(p) / phases;
            double h;
            if (x != 0) {
                double window = 1 - x * x / ((half + 1) * (half + 1));
                double arg = M_PI * fc * x;
                h = BesselI0(beta * std::sqrt(window > 0 ? window : 0)) / i0Beta * std::sin(arg) /
                    arg * fc * 65536;
            } else {
                h = fc * 65536;
            }
            coefficients[static_cast<size_t>(p) * taps + t] = static_cast<int>(RoundAway(h));
        }
    }
}
