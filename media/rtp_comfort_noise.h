// The low noise played while the peer sends nothing (silence suppression,
// before the first packet, after concealment ran out): a listener hears a
// live line rather than a dead one. About +-255 in the shared scale.
#pragma once

#include <cstdint>

class LRtpComfortNoise
{
  public:
    void CreateComfortNoise(int *out, int count);

  private:
    void Init();

    bool initialised_ = false;
    uint32_t index_ = 0;
    uint32_t counter_ = 0;
    uint8_t key_ = 0;
    uint8_t table_[128];
    int32_t previous_ = 0;
};
