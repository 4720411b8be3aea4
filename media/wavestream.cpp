#include "media/wavestream.h"

#include <cstring>

LWaveFileStream::LWaveFileStream(FILE *f) : file(f)
{
    if (fseeko(file, 0, SEEK_END) == 0)
        size = ftello(file);
    fseeko(file, 0, SEEK_SET);
}

LWaveFileStream::~LWaveFileStream()
{
    fclose(file);
}

size_t LWaveFileStream::Read(void *buffer, size_t bytes)
{
    return fread(buffer, 1, bytes, file);
}

bool LWaveFileStream::SeekTo(long long offset)
{
    return offset >= 0 && offset <= size && fseeko(file, offset, SEEK_SET) == 0;
}

size_t LWaveMemoryStream::Read(void *buffer, size_t bytes)
{
    size_t available = size - position;
    size_t count = bytes < available ? bytes : available;
    if (count)
        memcpy(buffer, data + position, count);
    position += count;
    return count;
}

bool LWaveMemoryStream::SeekTo(long long offset)
{
    if (offset < 0 || offset > static_cast<long long>(size))
        return false;
    position = static_cast<size_t>(offset);
    return true;
}
