#include "media/codecs/gsmframe.h"

namespace
{
const int kLarBits[8] = {6, 6, 5, 5, 4, 4, 3, 3};

// Fields are at most 7 bits wide, so a 32-bit accumulator never holds
// more than 14 pending bits: whole bytes move at a time, not single bits.
class LBitWriter
{
  public:
    explicit LBitWriter(unsigned char *out) : out(out) {}
    void Put(int value, int bits)
    {
        pending = (pending << bits) | (static_cast<uint32_t>(value) & ((1u << bits) - 1));
        count += bits;
        while (count >= 8) {
            count -= 8;
            *out++ = static_cast<unsigned char>(pending >> count);
        }
    }

  private:
    unsigned char *out;
    uint32_t pending = 0;
    int count = 0;
};

class LBitReader
{
  public:
    explicit LBitReader(const unsigned char *in) : in(in) {}
    int16_t Get(int bits)
    {
        if (count < bits) {
            pending = (pending << 8) | *in++;
            count += 8;
        }
        count -= bits;
        return static_cast<int16_t>((pending >> count) & ((1u << bits) - 1));
    }

  private:
    const unsigned char *in;
    uint32_t pending = 0;
    int count = 0;
};
} // namespace

void LGSMFrame::PackNormal(unsigned char *out33) const
{
    LBitWriter writer(out33);
    writer.Put(0xD, 4);
    for (int i = 0; i < 8; i++)
        writer.Put(LARc[i], kLarBits[i]);
    for (const LGSMSubFrame &s : sub) {
        writer.Put(s.Nc, 7);
        writer.Put(s.bc, 2);
        writer.Put(s.Mc, 2);
        writer.Put(s.xmaxc, 6);
        for (int16_t pulse : s.xMc)
            writer.Put(pulse, 3);
    }
}

void LGSMFrame::UnpackNormal(const unsigned char *in33)
{
    LBitReader reader(in33);
    reader.Get(4); // signature; other decoders ignore it as well
    for (int i = 0; i < 8; i++)
        LARc[i] = reader.Get(kLarBits[i]);
    for (LGSMSubFrame &s : sub) {
        s.Nc = reader.Get(7);
        s.bc = reader.Get(2);
        s.Mc = reader.Get(2);
        s.xmaxc = reader.Get(6);
        for (int16_t &pulse : s.xMc)
            pulse = reader.Get(3);
    }
}
