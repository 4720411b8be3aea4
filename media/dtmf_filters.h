// The meters of the in-band DTMF detector: single-frequency correlators
// against a sine table, a signal-energy sum, and their buffered forms that
// keep the levels of the last eight frames. Every meter halves its sums when
// a new frame starts, so a level follows the last few frames, not the whole
// call.
#pragma once

#include <cstdint>

// 4096 samples of one sine period, built once on first use.
class LSineTable
{
  public:
    static constexpr int kSize = 4096;
    static const double *Get();
};

class LDTMFFreqLineSimple
{
  public:
    LDTMFFreqLineSimple(int frequency, int rate);
    void Clear();
    void Add(double x)
    {
        s_ += x * table_[phase_];
        c_ += x * table_[(phase_ + LSineTable::kSize / 4) & (LSineTable::kSize - 1)];
        phase_ = (phase_ + step_) & (LSineTable::kSize - 1);
    }
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

// A line with the energy of its first and second sub-harmonic taken off, so
// that the harmonics of a lower tone (speech, music) do not pass for it.
class LDTMFFreqLineCompensated
{
  public:
    LDTMFFreqLineCompensated(int frequency, int rate);
    void Clear();
    void Add(double x)
    {
        line_.Add(x);
        half_.Add(x);
        third_.Add(x);
    }
    void NewFrame();
    double Level() const;

  private:
    LDTMFFreqLineSimple line_, half_, third_;
};

class LDTMFSignalSum
{
  public:
    void Clear() { e_ = 0; }
    void Add(double x) { e_ += x * x; }
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
    void Add(double x) { meter_.Add(x); }
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
