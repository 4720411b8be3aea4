// PCM wave files as sound sources.
#pragma once

#include "media/soundsource.h"

#include <cstddef>

namespace LWaveFile
{
// Opens a RIFF/WAVE file of 8- or 16-bit PCM. Failures give a source in
// error: 4 the file could not be opened, 3 a broken structure, 5 a format
// other than PCM of at most 16 bits.
LSoundSource OpenSource(const char *path);
// The same over a wave file held in memory, which must outlive the source.
LSoundSource OpenSourceFromMemory(const unsigned char *data, size_t size);
} // namespace LWaveFile
