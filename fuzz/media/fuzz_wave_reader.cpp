// Wave-file parsing and reading over arbitrary bytes, including seeking and
// the conversions a player puts behind a file.
#include "media/convertrate.h"
#include "media/peaklimit.h"
#include "media/wavefile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    LSoundSource source = LWaveFile::OpenSourceFromMemory(data, size);
    if (!source)
        return 0;
    int frames = source.GetEndSample();
    if (frames > 20000 || source.GetChannels() > 8)
        return 0; // keep each run short
    static int buffer[4096 * 8];
    source.Seek(frames / 2);
    source.Read(buffer, 4096);
    source.Seek(0);
    LSoundSource limited = LSPPeakLimit(0x7FFF0).OpenSource(source);
    LSPConvertSourceRateChannels(8000, 1, limited);
    // A file of a few hertz becomes millions of samples at 8000 Hz; a few
    // hundred reads cover every state of the converters.
    for (int reads = 0; reads < 256 && limited.Read(buffer, 4096) > 0; reads++) {
    }
    return 0;
}
