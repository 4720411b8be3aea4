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
// frequencies, laid out so that the compiler runs them side by side.
class LDTMFGoertzelBank
{
  public:
    static constexpr int kLanes = 24;
    void SetStep(int lane, int step);
    void Clear();
    // The states stay in registers over the block.
    void AddBlock(const float *x, int count)
    {
        float k[kLanes], s1[kLanes], s2[kLanes];
        for (int j = 0; j < kLanes; j++)
            k[j] = k_[j], s1[j] = s1_[j], s2[j] = s2_[j];
        for (int i = 0; i < count; i++)
            for (int j = 0; j < kLanes; j++) {
                float s0 = x[i] + k[j] * s1[j] - s2[j];
                s2[j] = s1[j];
                s1[j] = s0;
            }
        for (int j = 0; j < kLanes; j++)
            s1_[j] = s1[j], s2_[j] = s2[j];
    }
    // The frame's sums of x[n] e^(j n w) per lane, after samples samples;
    // starts the next frame.
    void EndFrame(int samples, double *re, double *im);

  private:
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
