// Speech-like 16-bit test material: voiced stretches (a pitch pulse train
// through formant resonators), unvoiced noise, silence, a tone and hard
// clipping, so that codecs meet both quiet and full-scale passages.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

inline std::vector<int16_t> MakeSpeechSignal(int samples, unsigned seed)
{
    std::vector<int16_t> out(samples);
    double y1[3] = {0, 0, 0}, y2[3] = {0, 0, 0};
    const double formants[3] = {700, 1200, 2600};
    for (int n = 0; n < samples; n++) {
        seed = seed * 1103515245u + 12345u;
        double noise = static_cast<int>((seed >> 8) & 0xFFFF) - 32768.0;
        int phase = (n / 4000) % 5; // half-second stretches
        double pitch = 80 + 40 * std::sin(n / 3000.0);
        double excitation = 0;
        if (phase == 0 || phase == 3)
            excitation = (std::fmod(n, 8000.0 / pitch) < 1.0) ? 30000 : 0;
        else if (phase == 1)
            excitation = noise * 0.05;
        double value = 0;
        for (int f = 0; f < 3; f++) {
            double r = 0.97, w = 2 * M_PI * formants[f] * (1 + 0.1 * phase) / 8000;
            double y = excitation + 2 * r * std::cos(w) * y1[f] - r * r * y2[f];
            y2[f] = y1[f];
            y1[f] = y;
            value += y / (4 << f);
        }
        if (phase == 2)
            value = (n % 8000 < 4000) ? 0 : 12000 * std::sin(n * 2 * M_PI * 1004 / 8000);
        if (phase == 3)
            value *= 3; // clipped
        if (phase == 4)
            value = noise * ((n % 800) / 800.0);
        value = std::round(value);
        out[n] = static_cast<int16_t>(value > 32767 ? 32767 : (value < -32768 ? -32768 : value));
    }
    return out;
}
