#include "media/dtmf_filters.h"

#include <algorithm>
#include <cmath>

const double *LSineTable::Get()
{
    static const double *table = [] {
        static double values[kSize];
        for (int i = 0; i < kSize; i++)
            values[i] = sin(2 * M_PI * i / kSize);
        return values;
    }();
    return table;
}

LDTMFFreqLineSimple::LDTMFFreqLineSimple(int frequency, int rate)
    : table_(LSineTable::Get()), step_((frequency * LSineTable::kSize + rate / 2) / rate)
{
}

void LDTMFFreqLineSimple::Clear()
{
    s_ = c_ = 0;
    phase_ = 0;
}

LDTMFFreqLineCompensated::LDTMFFreqLineCompensated(int frequency, int rate)
    : line_(frequency, rate), half_(frequency / 2, rate), third_((frequency + 1) / 3, rate)
{
}

void LDTMFFreqLineCompensated::Clear()
{
    line_.Clear();
    half_.Clear();
    third_.Clear();
}

void LDTMFFreqLineCompensated::NewFrame()
{
    line_.NewFrame();
    half_.NewFrame();
    third_.NewFrame();
}

double LDTMFFreqLineCompensated::Level() const
{
    return std::max(0.0, line_.Level() - 0.45 * half_.Level() - 0.35 * third_.Level());
}

double LDTMFBufferedSignal::Level()
{
    double sum = Store();
    for (int k = 1; k <= 5; k++)
        sum += Back(k);
    return 0.166 * sum;
}

double LDTMFBufferedLine::Level()
{
    double current = Store();
    double held = std::min({current, Back(1), Back(2)});
    return std::max(0.0, held - 0.15 * (Back(3) + Back(4) + Back(5)));
}
