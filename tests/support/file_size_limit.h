// A full disk for the test's own process: while it lives, no file grows past
// bytes (RLIMIT_FSIZE); a write across the limit is cut short and the next
// one fails with EFBIG, as a write on a full disk fails with ENOSPC.
#pragma once

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace vtest
{
class FileSizeLimit
{
  public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        // The default action of SIGXFSZ would end the test program.
        signal(SIGXFSZ, SIG_IGN);
        EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &mWas), 0);
        rlimit full = mWas;
        full.rlim_cur = bytes;
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
    }
    ~FileSizeLimit() { EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &mWas), 0); }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

  private:
    rlimit mWas{};
};
} // namespace vtest
