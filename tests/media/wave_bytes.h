// Wave files built byte by byte, for the tests that read them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::string;

inline Bytes LE(uint32_t v, int bytes)
{
    Bytes b;
    for (int i = 0; i < bytes; i++)
        b += (char)(v >> (8 * i));
    return b;
}

struct WaveSpec {
    int tag = 1, channels = 1, rate = 8000, bits = 16;
    uint32_t fmtSize = 16;
    Bytes data{};
    Bytes before{}, after{}; // extra chunks around the data chunk
    long riffSize = -1;
};

inline Bytes MakeWave(const WaveSpec &w)
{
    int frameBytes = w.channels * ((w.bits + 7) / 8);
    Bytes body = "WAVEfmt " + LE(w.fmtSize, 4) + LE(w.tag, 2) + LE(w.channels, 2) + LE(w.rate, 4) +
                 LE(w.rate * frameBytes, 4) + LE(frameBytes, 2) + LE(w.bits, 2) +
                 Bytes(w.fmtSize > 16 ? w.fmtSize - 16 : 0, '\0') + w.before + "data" +
                 LE((uint32_t)w.data.size(), 4) + w.data + w.after;
    return "RIFF" + LE(w.riffSize >= 0 ? uint32_t(w.riffSize) : uint32_t(body.size()), 4) + body;
}

inline Bytes Samples16(std::vector<int> values)
{
    Bytes b;
    for (int v : values)
        b += LE(static_cast<uint32_t>(v), 2);
    return b;
}
