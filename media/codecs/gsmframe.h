// The parameters of one GSM 06.10 full-rate frame and its 33-byte packing.
#pragma once

#include <cstdint>

// One 5 ms sub-frame: long-term predictor lag and gain, RPE grid position,
// block maximum and the 13 pulses.
struct LGSMSubFrame {
    int16_t Nc;
    int16_t bc;
    int16_t Mc;
    int16_t xmaxc;
    int16_t xMc[13];
};

// One 20 ms frame: 8 log-area ratios and 4 sub-frames.
struct LGSMFrame {
    int16_t LARc[8];
    LGSMSubFrame sub[4];

    // The RTP packing (RFC 3551): the 0xD signature nibble, then every
    // parameter most significant bit first.
    void PackNormal(unsigned char *out33) const;
    void UnpackNormal(const unsigned char *in33);
};
