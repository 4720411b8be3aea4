#include "platform/random.h"

#include "platform/log.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

namespace
{
bool ReadUrandom(unsigned char *out, size_t count)
{
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < count) {
        ssize_t got = read(fd, out + done, count - done);
        if (got <= 0 && errno != EINTR)
            break;
        if (got > 0)
            done += (size_t)got;
    }
    close(fd);
    return done == count;
}

// Last resort so callers still get varying values; logged as an error.
void WeakFill(unsigned char *out, size_t count)
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t x = (uint64_t)ts.tv_nsec ^ ((uint64_t)ts.tv_sec << 32) ^ (uint64_t)getpid() ^
                 (uint64_t)(uintptr_t)out;
    for (size_t i = 0; i < count; i++) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        out[i] = (unsigned char)(x >> 24);
    }
}
} // namespace

bool LRandomBytes(void *buffer, size_t count)
{
    unsigned char *out = (unsigned char *)buffer;
    size_t done = 0;
    while (done < count) {
        ssize_t got = getrandom(out + done, count - done, 0);
        if (got > 0) {
            done += (size_t)got;
            continue;
        }
        if (errno == EINTR)
            continue;
        if (ReadUrandom(out + done, count - done))
            return true;
        LOGERRORTEXT("Random source unavailable: ", strerror(errno));
        WeakFill(out + done, count - done);
        return false;
    }
    return true;
}

uint32_t LRandom32()
{
    uint32_t value = 0;
    LRandomBytes(&value, sizeof value);
    return value;
}

uint32_t LRandomBelow(uint32_t bound)
{
    if (bound == 0)
        return 0;
    // Reject the top values that would favour the low results.
    uint32_t limit = (uint32_t)(0x100000000ull - (0x100000000ull % bound));
    for (;;) {
        uint32_t value = LRandom32();
        if (limit == 0 || value < limit)
            return value % bound;
    }
}

void LRandomLetters(char *out, int count, const char *alphabet)
{
    if (!out || count < 0)
        return;
    size_t size = alphabet ? strlen(alphabet) : 0;
    for (int i = 0; i < count; i++)
        out[i] = size ? alphabet[LRandomBelow((uint32_t)size)] : 'a';
    out[count] = 0;
}
