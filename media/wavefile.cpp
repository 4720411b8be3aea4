// RIFF/WAVE parsing. Every size in the file is checked against what the
// stream really holds; the data chunk's end is where playing stops, so
// chunks after it (lists, cue points) are never played as noise.
#include "media/wavefile.h"
#include "media/pcmfilesource.h"
#include "platform/log.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace
{
struct LChunk {
    char id[4];
    uint32_t size;
};

uint32_t Little32(const unsigned char *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}
uint16_t Little16(const unsigned char *p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

bool ReadChunk(LWaveStream &stream, LChunk &chunk)
{
    unsigned char header[8];
    if (stream.Read(header, 8) != 8)
        return false;
    memcpy(chunk.id, header, 4);
    chunk.size = Little32(header + 4);
    return true;
}

// Skips a chunk body, padded to an even size as RIFF requires. The sum is
// taken in 64 bits: in 32 a size near 4 GiB wraps to zero and the search
// would read the same chunk header for ever.
bool Skip(LWaveStream &stream, long long &offset, uint32_t size)
{
    offset += 8 + static_cast<long long>(size) + (size & 1);
    return offset <= stream.Size() && stream.SeekTo(offset);
}

// Finds the chunk with the given id from offset on; leaves the stream at
// its body.
bool FindChunk(LWaveStream &stream, long long &offset, const char *id, LChunk &chunk)
{
    while (ReadChunk(stream, chunk)) {
        if (memcmp(chunk.id, id, 4) == 0)
            return true;
        if (!Skip(stream, offset, chunk.size))
            return false;
    }
    return false;
}

bool FindWaveForm(LWaveStream &stream, long long &offset)
{
    LChunk chunk;
    while (ReadChunk(stream, chunk)) {
        char form[4];
        if (memcmp(chunk.id, "RIFF", 4) == 0 && chunk.size >= 4 && stream.Read(form, 4) == 4 &&
            memcmp(form, "WAVE", 4) == 0) {
            offset += 12;
            return true;
        }
        if (!Skip(stream, offset, chunk.size))
            return false;
    }
    return false;
}

struct LWaveFormat {
    int tag, channels, rate, bits;
};

LSoundSource Open(std::unique_ptr<LWaveStream> stream, const char *name)
{
    long long offset = 0;
    LChunk chunk;
    unsigned char fmt[16];
    if (!FindWaveForm(*stream, offset) || !FindChunk(*stream, offset, "fmt ", chunk) ||
        chunk.size < 16 || chunk.size > 8192 || stream->Read(fmt, 16) != 16 ||
        !Skip(*stream, offset, chunk.size) || !FindChunk(*stream, offset, "data", chunk)) {
        LOGERRORTEXT("Wave file has a broken structure: ", name);
        return LSoundSource(new LSoundSourceError(LSoundErrorStructure));
    }
    LWaveFormat format = {Little16(fmt), Little16(fmt + 2), static_cast<int>(Little32(fmt + 4)),
                          Little16(fmt + 14)};
    if (format.tag != 1 || format.bits < 1 || format.bits > 16 || format.channels < 1 ||
        format.channels > 255 || format.rate < 1 || format.rate > 196000) {
        LOGERRORTEXT("Wave file format not supported: ", name);
        return LSoundSource(new LSoundSourceError(LSoundErrorFormat));
    }
    long long dataStart = offset + 8;
    long long available = stream->Size() - dataStart;
    long long bytes = chunk.size < available ? chunk.size : available;
    int frameBytes = format.channels * (format.bits > 8 ? 2 : 1);
    long long frames = bytes / frameBytes;
    if (frames > INT32_MAX)
        frames = INT32_MAX;
    if (format.bits > 8)
        return LSoundSource(new LSRCPCMFile<LSF16>(std::move(stream), format.rate, format.channels,
                                                   dataStart, int(frames)));
    return LSoundSource(new LSRCPCMFile<LSFU8>(std::move(stream), format.rate, format.channels,
                                               dataStart, int(frames)));
}
} // namespace

namespace LWaveFile
{
LSoundSource OpenSource(const char *path)
{
    FILE *file = fopen(path, "rb");
    if (!file) {
        LOGERRORTEXT("Cannot open wave file: ", path);
        return LSoundSource(new LSoundSourceError(LSoundErrorFile));
    }
    return Open(std::make_unique<LWaveFileStream>(file), path);
}

LSoundSource OpenSourceFromMemory(const unsigned char *data, size_t size)
{
    return Open(std::make_unique<LWaveMemoryStream>(data, size), "(memory)");
}
} // namespace LWaveFile
