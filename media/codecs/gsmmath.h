// The 16- and 32-bit saturating fixed-point operations GSM 06.10 is defined
// in; every step of the coder is written in them so that frames are bit-exact.
#pragma once

#include <cstdint>

namespace LGSMMath
{
constexpr int kMinWord = -32768;
constexpr int kMaxWord = 32767;

inline int16_t Saturate(int32_t value)
{
    return static_cast<int16_t>(value < kMinWord ? kMinWord
                                                 : (value > kMaxWord ? kMaxWord : value));
}
inline int16_t Add(int a, int b)
{
    return Saturate(a + b);
}
inline int16_t Sub(int a, int b)
{
    return Saturate(a - b);
}
inline int16_t Mult(int a, int b)
{
    if (a == kMinWord && b == kMinWord)
        return kMaxWord;
    return static_cast<int16_t>((a * b) >> 15);
}
inline int16_t MultR(int a, int b)
{
    if (a == kMinWord && b == kMinWord)
        return kMaxWord;
    return static_cast<int16_t>((a * b + 16384) >> 15);
}
inline int16_t Abs(int a)
{
    return a < 0 ? (a == kMinWord ? kMaxWord : -a) : a;
}

// Left shifts that bring a non-zero value to the form 01xx.. or 10xx..
inline int Norm(int32_t a)
{
    if (a < 0) {
        if (a <= -1073741824)
            return 0;
        a = ~a;
    }
    return a == 0 ? 31 : __builtin_clz(static_cast<uint32_t>(a)) - 1;
}

// num / denum as a 15-bit fraction, for 0 <= num <= denum.
inline int16_t Div(int num, int denum)
{
    if (num == 0)
        return 0;
    int32_t remainder = num;
    int result = 0;
    for (int k = 0; k < 15; k++) {
        result <<= 1;
        remainder <<= 1;
        if (remainder >= denum) {
            remainder -= denum;
            result++;
        }
    }
    return static_cast<int16_t>(result);
}

inline int16_t Asr(int a, int n)
{
    if (n >= 16)
        return static_cast<int16_t>(-(a < 0));
    if (n <= -16)
        return 0;
    if (n < 0)
        return static_cast<int16_t>(a << -n);
    return static_cast<int16_t>(a >> n);
}
inline int16_t Asl(int a, int n)
{
    if (n >= 16)
        return 0;
    if (n <= -16)
        return static_cast<int16_t>(-(a < 0));
    if (n < 0)
        return Asr(a, -n);
    return static_cast<int16_t>(a << n);
}
} // namespace LGSMMath
