#include "media/codecs/gsmframe.h"

namespace
{
const int kLarBits[8] = {6, 6, 5, 5, 4, 4, 3, 3};

class LBitWriter
{
  public:
    explicit LBitWriter(unsigned char *out) : out(out) {}
    void Put(int value, int bits)
    {
        for (int b = bits - 1; b >= 0; b--) {
            if (position % 8 == 0)
                out[position / 8] = 0;
            if ((value >> b) & 1)
                out[position / 8] |= static_cast<unsigned char>(0x80 >> (position % 8));
            position++;
        }
    }

  private:
    unsigned char *out;
    int position = 0;
};

class LBitReader
{
  public:
    explicit LBitReader(const unsigned char *in) : in(in) {}
    int16_t Get(int bits)
    {
        int value = 0;
        for (int b = 0; b < bits; b++, position++)
            value = (value << 1) | ((in[position / 8] >> (7 - position % 8)) & 1);
        return static_cast<int16_t>(value);
    }

  private:
    const unsigned char *in;
    int position = 0;
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
