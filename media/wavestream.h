// Byte streams wave files are read from: a file or a memory block.
#pragma once

#include <cstddef>
#include <cstdio>

class LWaveStream
{
  public:
    virtual ~LWaveStream() = default;
    // Reads up to bytes bytes; returns how many were read.
    virtual size_t Read(void *buffer, size_t bytes) = 0;
    virtual bool SeekTo(long long offset) = 0;
    virtual long long Size() const = 0;
};

class LWaveFileStream : public LWaveStream
{
  public:
    explicit LWaveFileStream(FILE *file);
    ~LWaveFileStream() override;
    size_t Read(void *buffer, size_t bytes) override;
    bool SeekTo(long long offset) override;
    long long Size() const override { return size; }

  private:
    FILE *file;
    long long size = 0;
};

class LWaveMemoryStream : public LWaveStream
{
  public:
    LWaveMemoryStream(const unsigned char *data, size_t size) : data(data), size(size) {}
    size_t Read(void *buffer, size_t bytes) override;
    bool SeekTo(long long offset) override;
    long long Size() const override { return static_cast<long long>(size); }

  private:
    const unsigned char *data;
    size_t size;
    size_t position = 0;
};
