// Tone checks on decoded audio.
#pragma once

#include <cmath>

namespace vtest
{
// Share of the power of n samples at 8000 Hz that lies at hz (Goertzel).
inline double ToneShare(const int *x, int n, double hz)
{
    double k = 2 * cos(2 * M_PI * hz / 8000), s1 = 0, s2 = 0, total = 0;
    for (int i = 0; i < n; i++) {
        double s0 = x[i] + k * s1 - s2;
        s2 = s1, s1 = s0;
        total += (double)x[i] * x[i];
    }
    return total == 0 ? 0 : 2 * (s1 * s1 + s2 * s2 - k * s1 * s2) / (total * n);
}
} // namespace vtest
