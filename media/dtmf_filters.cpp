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

// The bank's sum counts phase from the frame's first sample; the line's own
// phase at that sample turns it into the running correlation.
void LDTMFFreqLineSimple::AddFrame(double re, double im, int samples)
{
    double sine = table_[phase_];
    double cosine = table_[(phase_ + LSineTable::kSize / 4) & (LSineTable::kSize - 1)];
    c_ += re * cosine - im * sine;
    s_ += re * sine + im * cosine;
    phase_ = (int)((phase_ + (long)samples * step_) & (LSineTable::kSize - 1));
}

void LDTMFGoertzelBank::SetStep(int lane, int step)
{
    step_[lane] = step;
    k_[lane] = (float)(2 * cos(2 * M_PI * step / LSineTable::kSize));
}

void LDTMFGoertzelBank::Clear()
{
    for (int j = 0; j < kLanes; j++)
        s1_[j] = s2_[j] = 0;
}

// With s1, s2 the last two states, the sum of x[n] e^(j n w) over n < N is
// e^(j w (N-1)) s1 - e^(j w N) s2.
void LDTMFGoertzelBank::EndFrame(int samples, double *re, double *im)
{
    const double *table = LSineTable::Get();
    for (int j = 0; j < kLanes; j++) {
        int last = (int)(((long)(samples - 1) * step_[j]) & (LSineTable::kSize - 1));
        int end = (int)(((long)samples * step_[j]) & (LSineTable::kSize - 1));
        auto cosine = [&](int p) {
            return table[(p + LSineTable::kSize / 4) & (LSineTable::kSize - 1)];
        };
        re[j] = cosine(last) * s1_[j] - cosine(end) * s2_[j];
        im[j] = table[last] * s1_[j] - table[end] * s2_[j];
        s1_[j] = s2_[j] = 0;
    }
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

void LDTMFFreqLineCompensated::SetLanes(LDTMFGoertzelBank &bank, int first) const
{
    bank.SetStep(first, line_.GetStep());
    bank.SetStep(first + 1, half_.GetStep());
    bank.SetStep(first + 2, third_.GetStep());
}

void LDTMFFreqLineCompensated::AddFrame(const double *re, const double *im, int samples)
{
    line_.AddFrame(re[0], im[0], samples);
    half_.AddFrame(re[1], im[1], samples);
    third_.AddFrame(re[2], im[2], samples);
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
