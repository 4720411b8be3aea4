// RTP datagrams built byte by byte, as a peer would send them.
#pragma once

#include "media/codecs/sampleformats.h"
#include "media/rtp_dtmf.h"
#include "support/tone.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

inline std::string RtpPacket(uint16_t seq, uint32_t ts, uint32_t ssrc, uint8_t pt,
                             const std::string &payload, uint8_t byte0 = 0x80)
{
    std::string p(12, '\0');
    p[0] = (char)byte0;
    p[1] = (char)pt;
    p[2] = (char)(seq >> 8), p[3] = (char)seq;
    for (int i = 0; i < 4; i++) {
        p[4 + i] = (char)(ts >> (24 - 8 * i));
        p[8 + i] = (char)(ssrc >> (24 - 8 * i));
    }
    return p + payload;
}

inline LRtpHeader ToRtpHeader(const std::string &datagram)
{
    LRtpHeader header;
    std::copy(datagram.begin(), datagram.end(), header.data);
    header.payloadBytes = (uint32_t)datagram.size() - LRtpHeader::kHeaderSize;
    return header;
}

// 20 ms of a tone in mu-law, its phase continuing from the packet number;
// the level steps a little with it, so that every packet differs.
inline std::string UlawTone(int packet, double hz = 437, double amplitude = 0)
{
    if (amplitude == 0)
        amplitude = 7000 + 10 * (packet % 200);
    std::string out(160, '\0');
    for (int i = 0; i < 160; i++) {
        double t = (packet * 160 + i) / 8000.0;
        out[i] = (char)LG711::LinearToUlaw((int)(amplitude * sin(2 * M_PI * hz * t)) * 16);
    }
    return out;
}

inline std::vector<int> DecodeUlaw(const std::string &payload)
{
    std::vector<int> out(payload.size());
    ConvertSamplesIn(out.data(), (const LSFULAW *)payload.data(), (int)payload.size());
    return out;
}

inline double ToneShare(const std::vector<int> &x, double hz)
{
    return vtest::ToneShare(x.data(), (int)x.size(), hz);
}

// n bytes at at, in network order.
inline uint32_t RtpWord(const std::string &packet, int at, int n)
{
    uint32_t v = 0;
    for (int k = 0; k < n; k++)
        v = v << 8 | (uint8_t)packet[at + k];
    return v;
}

struct KeysHeard : LRtpDTMFNotify {
    std::string heard;
    void DetectDTMFEvent(char key) override { heard += key; }
    void DialDTMFComplete() override {}
};
