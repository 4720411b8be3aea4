// The meters of the in-band DTMF detector: single-frequency correlators
// against a sine table, a signal-energy sum, and their buffered forms that
// keep the levels of the last eight frames. Every meter halves its sums when
// a new frame starts, so a level follows the last few frames, not the whole
// call.
#pragma once

#include <cstdint>
#include <utility>

// 4096 samples of one sine period, built once on first use.
class LSineTable
{
  public:
    static constexpr int kSize = 4096;
    static const double *Get();
};

// A correlator against sine and cosine at one frequency, its phase running
// on across frames. The per-sample work is done by LDTMFGoertzelBank for all
// lines at once; the line takes in the bank's sum for each frame.
class LDTMFFreqLineSimple
{
  public:
    LDTMFFreqLineSimple(int frequency, int rate);
    // The table step per sample: the frequency as the table can hold it.
    int GetStep() const { return step_; }
    void Clear();
    // re + j im = sum of x[n] e^(j n w) over the frame's samples, n from 0.
    void AddFrame(double re, double im, int samples);
    void NewFrame()
    {
        s_ *= 0.5;
        c_ *= 0.5;
    }
    double Level() const { return s_ * s_ + c_ * c_; }

  private:
    const double *table_;
    double s_ = 0, c_ = 0;
    int phase_ = 0;
    int step_;
};

// Goertzel recurrences (one multiply per sample and line) for up to kLanes
// frequencies, four lanes to a vector register.
class LDTMFGoertzelBank
{
  public:
    static constexpr int kLanes = 24;
    void SetStep(int lane, int step);
    void Clear();
    void AddBlock(const float *x, int count)
    {
        AddSamples(count, [x](int i) { return x[i]; });
    }
    // next(i) gives sample i of the block. Taking the samples as they are
    // made lets the caller's own per-sample chain (a filter) overlap with
    // the recurrences instead of running before them.
    template <class Next> void AddSamples(int count, Next next)
    {
        // The states are named vectors, not arrays indexed in a loop: that
        // keeps all twelve in registers instead of going through memory on
        // every sample, which made the recurrences wait on store-to-load
        // forwarding. The arithmetic per lane is the scalar one, in the
        // same order (x + k s1 - s2).
        Vec s1[kVectors], s2[kVectors];
        Load(s1, s1_);
        Load(s2, s2_);
        Vec k[kVectors];
        Load(k, k_);
        // Two samples per turn, the newest state written over the oldest:
        // no register moves between turns.
        int i = 0;
        for (; i + 1 < count; i += 2) {
            Step(s2, s1, k, next(i));
            Step(s1, s2, k, next(i + 1));
        }
        if (i < count) {
            Step(s2, s1, k, next(i));
#pragma GCC unroll 6
            for (int j = 0; j < kVectors; j++)
                std::swap(s1[j], s2[j]);
        }
        Store(s1_, s1);
        Store(s2_, s2);
    }
    // The frame's sums of x[n] e^(j n w) per lane, after samples samples;
    // starts the next frame.
    void EndFrame(int samples, double *re, double *im);

  private:
    typedef float Vec __attribute__((vector_size(16)));
    static constexpr int kVectors = kLanes / 4;
    // older becomes x + k newer - older, the next state of each lane.
    static void Step(Vec *older, const Vec *newer, const Vec *k, float v)
    {
        Vec x = {v, v, v, v};
#pragma GCC unroll 6
        for (int j = 0; j < kVectors; j++)
            older[j] = x + k[j] * newer[j] - older[j];
    }
    static void Load(Vec *to, const float *from)
    {
#pragma GCC unroll 6
        for (int j = 0; j < kVectors; j++)
            __builtin_memcpy(&to[j], from + 4 * j, sizeof(Vec));
    }
    static void Store(float *to, const Vec *from)
    {
#pragma GCC unroll 6
        for (int j = 0; j < kVectors; j++)
            __builtin_memcpy(to + 4 * j, &from[j], sizeof(Vec));
    }

    // Single precision: a frame is only 100 samples, and four lanes fit in
    // one vector register instead of two.
    float k_[kLanes] = {};
    float s1_[kLanes] = {};
    float s2_[kLanes] = {};
    int step_[kLanes] = {};
};

// A line with the energy of its first and second sub-harmonic taken off, so
// that the harmonics of a lower tone (speech, music) do not pass for it.
class LDTMFFreqLineCompensated
{
  public:
    static constexpr int kLanes = 3; // the line, its half and its third
    LDTMFFreqLineCompensated(int frequency, int rate);
    void Clear();
    void SetLanes(LDTMFGoertzelBank &bank, int first) const;
    void AddFrame(const double *re, const double *im, int samples);
    void NewFrame();
    double Level() const;

  private:
    LDTMFFreqLineSimple line_, half_, third_;
};

class LDTMFSignalSum
{
  public:
    void Clear() { e_ = 0; }
    void AddSum(double squares) { e_ += squares; }
    void AddFrame(const double *, const double *, int) {}
    void NewFrame() { e_ *= 0.5; }
    double Level() const { return e_; }

  private:
    double e_ = 0;
};

template <class Meter> class LDTMFBufferedLevel
{
  public:
    static constexpr int kFrames = 8;
    template <class... Args> explicit LDTMFBufferedLevel(Args... args) : meter_(args...) {}
    void Clear()
    {
        meter_.Clear();
        for (double &level : ring_)
            level = 0;
        index_ = 0;
    }
    void AddSum(double squares) { meter_.AddSum(squares); }
    void AddFrame(const double *re, const double *im, int samples)
    {
        meter_.AddFrame(re, im, samples);
    }
    const Meter &GetMeter() const { return meter_; }
    void NewFrame()
    {
        meter_.NewFrame();
        index_ = (index_ + 1) % kFrames;
    }

  protected:
    // Records this frame's level in the ring and returns it.
    double Store()
    {
        ring_[index_] = meter_.Level();
        return ring_[index_];
    }
    double Back(int frames) const { return ring_[(index_ + kFrames - frames) % kFrames]; }

  private:
    Meter meter_;
    double ring_[kFrames] = {};
    int index_ = 0;
};

// Mean signal energy over the last six frames.
class LDTMFBufferedSignal : public LDTMFBufferedLevel<LDTMFSignalSum>
{
  public:
    double Level();
};

// A tone must stand in three consecutive frames and rise above what the
// line held a few frames before (a steady hum does not count).
class LDTMFBufferedLine : public LDTMFBufferedLevel<LDTMFFreqLineCompensated>
{
  public:
    LDTMFBufferedLine(int frequency, int rate)
        : LDTMFBufferedLevel<LDTMFFreqLineCompensated>(frequency, rate)
    {
    }
    double Level();
};
