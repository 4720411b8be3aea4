// Coded sample formats and their conversion to and from the sound chain's
// shared scale (a 16-bit linear sample times 16, in an int).
#pragma once

// G.711 mu-law, one byte per sample (RTP payload type 0).
struct LSFULAW {
    unsigned char code;
};

// G.711 A-law, one byte per sample (RTP payload type 8).
struct LSFALAW {
    unsigned char code;
};

// 16-bit signed little-endian linear PCM, as wave files hold it.
struct LSF16 {
    unsigned char low;
    unsigned char high;
};

// Unsigned 8-bit linear PCM (128 is silence), as wave files hold it.
struct LSFU8 {
    unsigned char value;
};

// Decodes count coded samples into the shared scale.
template <class T> void ConvertSamplesIn(int *out, const T *in, int count);
// Encodes count shared-scale samples; values beyond the coded range saturate.
template <class T> void ConvertSamplesOut(T *out, const int *in, int count);

template <> void ConvertSamplesIn<LSFULAW>(int *out, const LSFULAW *in, int count);
template <> void ConvertSamplesOut<LSFULAW>(LSFULAW *out, const int *in, int count);
template <> void ConvertSamplesIn<LSFALAW>(int *out, const LSFALAW *in, int count);
template <> void ConvertSamplesOut<LSFALAW>(LSFALAW *out, const int *in, int count);
template <> void ConvertSamplesIn<LSF16>(int *out, const LSF16 *in, int count);
template <> void ConvertSamplesOut<LSF16>(LSF16 *out, const int *in, int count);
template <> void ConvertSamplesIn<LSFU8>(int *out, const LSFU8 *in, int count);
template <> void ConvertSamplesOut<LSFU8>(LSFU8 *out, const int *in, int count);

namespace LG711
{
// Single-sample forms, shared scale on the linear side.
int UlawToLinear(unsigned char code);
unsigned char LinearToUlaw(int sample);
int AlawToLinear(unsigned char code);
unsigned char LinearToAlaw(int sample);
} // namespace LG711

// The 16-bit value a shared-scale sample is written as: rounded, saturated.
inline int SampleTo16(int sample)
{
    long long v = (static_cast<long long>(sample) + 8) >> 4;
    if (v > 32767)
        return 32767;
    if (v < -32768)
        return -32768;
    return static_cast<int>(v);
}
