// In-band DTMF detection: per 12.5 ms frame, the seven tone lines are
// measured against the signal's own energy and a fixed floor, and the
// strongest column/row pair above a common score is the key. Owner hears
// DTMFNotifyDetect(char) once when a key starts.
#pragma once

#include "media/dtmf_filters.h"

#include <algorithm>
#include <cmath>

template <class Owner> class LDTMFDetect
{
  public:
    // sensitivity 0..100: higher accepts weaker and less clean tones.
    LDTMFDetect(Owner &owner, int rate, int sensitivity)
        : owner_(owner), signal_(), lines_{{1209, rate}, {1336, rate}, {1477, rate}, {697, rate},
                                           {770, rate},  {852, rate},  {941, rate}},
          frameLength_(std::clamp(rate / 80, 1, kMaxFrame)), alpha_(1 - exp(-1884.9555921 / rate))
    {
        int s = std::clamp(sensitivity, 0, 100);
        for (int i = 0; i < kLines; i++)
            lines_[i].GetMeter().SetLanes(bank_, i * LDTMFFreqLineCompensated::kLanes);
        ratio_ = (100 - s) * 0.0008 + 0.17;
        floor_ = frameLength_ * 32761.0 * (145 - s) / 95.0;
        Clear();
    }

    void Clear()
    {
        signal_.Clear();
        for (LDTMFBufferedLine &line : lines_)
            line.Clear();
        bank_.Clear();
        left_ = frameLength_;
        highPass_ = 0;
        current_ = 0;
    }

    // step: distance between two samples of the channel listened to.
    void Write(const int *samples, int count, int step)
    {
        double filtered[kMaxFrame];
        while (count > 0) {
            int n = std::min(count, left_);
            double h = highPass_, alpha = alpha_;
            bank_.AddSamples(n, [&](int i) {
                // The floor is set for 16-bit values: the shared scale is 16
                // times that, and would put it 24 dB lower (line noise would
                // pass for tones). Removing what lies below about 300 Hz
                // keeps hum and the low-frequency bulk of speech out of the
                // energy reference.
                double d = *samples / 16.0 - h;
                samples += step;
                h += alpha * d;
                filtered[i] = d;
                return (float)d;
            });
            highPass_ = h;
            // Summed apart from the filter: four sums side by side instead
            // of one chain of additions, and off the filter's own chain.
            double energy[4] = {0, 0, 0, 0};
            for (int i = 0; i < n; i++)
                energy[i & 3] += filtered[i] * filtered[i];
            signal_.AddSum(energy[0] + energy[1] + energy[2] + energy[3]);
            count -= n;
            left_ -= n;
            if (left_ == 0)
                EndFrame();
        }
    }

    char GetCurrentChar() const { return current_; }

  private:
    static constexpr int kLines = 7;
    static constexpr int kMaxFrame = 1200;     // 12.5 ms at 96 kHz
    static constexpr double kRelativePeak = 4; // 6 dB

    void EndFrame()
    {
        double re[LDTMFGoertzelBank::kLanes], im[LDTMFGoertzelBank::kLanes];
        bank_.EndFrame(frameLength_, re, im);
        for (int i = 0; i < kLines; i++)
            lines_[i].AddFrame(re + i * LDTMFFreqLineCompensated::kLanes,
                               im + i * LDTMFFreqLineCompensated::kLanes, frameLength_);
        double reference = (signal_.Level() * ratio_ + floor_) * frameLength_;
        // A key already held only has to stay, not to start: hysteresis
        // against a tone flickering at the threshold.
        if (current_ != 0)
            reference *= 0.3;
        double level[kLines], p[kLines];
        for (int i = 0; i < kLines; i++) {
            level[i] = lines_[i].Level();
            p[i] = std::min(1.0, level[i] / reference);
        }
        static const char keys[3][4] = {
            {'1', '4', '7', '*'}, {'2', '5', '8', '0'}, {'3', '6', '9', '#'}};
        double best = 0.35;
        char key = 0;
        int bestColumn = 0, bestRow = 0;
        for (int column = 0; column < 3; column++)
            for (int row = 0; row < 4; row++)
                if (p[column] * p[3 + row] > best) {
                    best = p[column] * p[3 + row];
                    key = keys[column][row];
                    bestColumn = column;
                    bestRow = 3 + row;
                }
        if (key != 0 && (!IsPeak(level, bestColumn, 0, 3) || !IsPeak(level, bestRow, 3, kLines)))
            key = 0;
        DetectChar(key);
        signal_.NewFrame();
        for (LDTMFBufferedLine &line : lines_)
            line.NewFrame();
        left_ = frameLength_;
    }

    // A key sounds one tone per group (Q.23): a vowel whose harmonics fill
    // two lines of a group at once is speech, whatever its score.
    static bool IsPeak(const double *level, int line, int from, int to)
    {
        for (int i = from; i < to; i++)
            if (i != line && level[i] * kRelativePeak > level[line])
                return false;
        return true;
    }

    void DetectChar(char key)
    {
        if (key == current_)
            return;
        if (key != 0)
            owner_.DTMFNotifyDetect(key);
        current_ = key;
    }

    Owner &owner_;
    LDTMFBufferedSignal signal_;
    LDTMFBufferedLine lines_[kLines];
    LDTMFGoertzelBank bank_;
    int frameLength_;
    int left_ = 0;
    double highPass_ = 0;
    double alpha_;
    double ratio_ = 0;
    double floor_ = 0;
    char current_ = 0;
};
