// A desktop window as the service sees it: the control channel's bytes,
// written and read by hand, so the tests check the wire and not our own
// window code.
#pragma once

#include "service/control_protocol.h"

#include <cerrno>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace vtest
{
class ControlClient
{
  public:
    ControlClient() = default;
    ~ControlClient()
    {
        if (mFd >= 0)
            close(mFd);
    }
    ControlClient(const ControlClient &) = delete;
    ControlClient &operator=(const ControlClient &) = delete;

    bool Connect(const std::string &path)
    {
        mFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        return connect(mFd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    }
    bool Send(uint16_t type, uint32_t code, uint32_t request, const std::string &payload = "",
              uint16_t magic = LControl::kMagic, int64_t sizeField = -1)
    {
        LControl::Header header;
        header.magic = magic;
        header.type = type;
        header.code = code;
        header.size = sizeField >= 0 ? static_cast<uint32_t>(sizeField)
                                     : static_cast<uint32_t>(payload.size());
        header.extra = request;
        std::string bytes = LControl::Encode(header, payload.data(), payload.size());
        return send(mFd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    // One whole message; false on the end of the connection or a time-out.
    bool Read(LControl::Header &header, std::string &payload, int timeoutMs)
    {
        if (!ReadExactly(&header, sizeof header, timeoutMs))
            return false;
        payload.assign(header.size, '\0');
        return ReadExactly(payload.data(), payload.size(), timeoutMs);
    }
    // The first reply (type 18), skipping log lines and notifications.
    bool ReadReply(LControl::Header &header, int timeoutMs)
    {
        std::string payload;
        while (Read(header, payload, timeoutMs))
            if (header.type == LControl::TypeReply)
                return true;
        return false;
    }
    // True when the service ends the connection within timeoutMs (whatever
    // it sent first is read and dropped).
    bool WaitClosed(int timeoutMs)
    {
        char buffer[4096];
        for (;;) {
            pollfd p{mFd, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0)
                return false;
            ssize_t n = recv(mFd, buffer, sizeof buffer, 0);
            if (n == 0 || (n < 0 && errno == ECONNRESET))
                return true;
            if (n < 0)
                return false;
        }
    }

  private:
    bool ReadExactly(void *into, size_t length, int timeoutMs)
    {
        char *at = static_cast<char *>(into);
        while (length > 0) {
            pollfd p{mFd, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0)
                return false;
            ssize_t n = recv(mFd, at, length, 0);
            if (n <= 0)
                return false;
            at += n;
            length -= static_cast<size_t>(n);
        }
        return true;
    }
    int mFd = -1;
};
} // namespace vtest
