// A chain of sources and silences played one after the other at one rate
// and channel count: the queue's announcement, then hold music, then
// ringing. After the last item only zeros follow.
#pragma once

#include "media/soundsource.h"

#include <cstddef>
#include <vector>

class LSoundSourceCat
{
  public:
    void AddSource(const LSoundSource &source);
    void AddSilence(LSoundTime length);
    bool IsEmpty() const { return items.empty(); }
    // The chain as a source; items in error are skipped.
    LSoundSource OpenSource(int rate, int channels) const;

    struct Item {
        LSoundSource source; // not valid: a silence of the given length
        LSoundTime silence;
    };

  private:
    std::vector<Item> items;
};

class LSSRCCat : public LSoundSourceBase
{
  public:
    LSSRCCat(std::vector<LSoundSourceCat::Item> items, int rate, int channels, int peak);
    int Read(int *samples, int frames) override;
    int GetPositionSample() override { return position; }
    // The position plus what the current item and every later one still
    // hold; each source counts as long as it is when its turn comes.
    int GetEndSample() override;

  private:
    bool BeginItem();
    long long ItemLength(LSoundSourceCat::Item &item) const;

    std::vector<LSoundSourceCat::Item> items;
    size_t next = 0;      // the item that starts when the current one ends
    LSoundSource current; // converted; not valid while a silence plays
    long long left = 0;   // frames the current item still gives
    bool started = false;
    int position = 0;
};
