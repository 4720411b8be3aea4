#include "media/rtp_comfort_noise.h"

#include <cstdlib>
#include <ctime>
#include <mutex>

void LRtpComfortNoise::Init()
{
    static std::once_flag seeded;
    std::call_once(seeded, [] { srand((unsigned)time(nullptr)); });
    for (uint8_t &value : table_)
        value = (uint8_t)rand();
    index_ = counter_ = 0;
    previous_ = 0;
    initialised_ = true;
}

void LRtpComfortNoise::CreateComfortNoise(int *out, int count)
{
    if (!initialised_)
        Init();
    for (int i = 0; i < count; i++) {
        if (index_ > 127) {
            key_ = table_[counter_];
            index_ = key_ & 63;
            counter_ = (counter_ + 1) & 127;
        }
        int32_t sample = (key_ ^ table_[index_]) + (previous_ >> 1) - 127;
        previous_ = sample;
        index_++;
        out[i] = sample;
    }
}
