// UDP and TCP sockets and the blocking network steps that can be stopped.
// Every Process* step takes a process object first (anything with a
// `bool IsToStop()`: LThread, a progress dialog, LProcessInterfaceVoid) and
// looks at its stop test at least every 200 ms.
#pragma once

#include "platform/ipaddress.h"
#include "platform/strings.h"
#include "platform/types.h"

#include <sys/socket.h>

// A process object that is never stopped (for callers with no thread).
class LProcessInterfaceVoid
{
  public:
    bool IsToStop() const { return false; }
};

class LSocket
{
  public:
    LSocket() = default;
    ~LSocket() { Close(); }
    LSocket(const LSocket &) = delete;
    LSocket &operator=(const LSocket &) = delete;

    bool IsValid() const { return m_fd >= 0; }
    int GetHandle() const { return m_fd; }
    void Close();
    // Gives up the descriptor without closing it.
    int Detach();
    void Attach(int fd);
    bool GetLocalAddress(LIPAddressWithPort &address) const;
    bool SetNonBlocking(bool on);

  protected:
    bool OpenKind(int type);
    int m_fd = -1;
};

class LUdpSocket : public LSocket
{
  public:
    bool Open() { return OpenKind(SOCK_DGRAM); }
    // Opens if needed and binds (address 0 binds to all interfaces).
    bool Bind(int port, uint32_t address = 0);
    // Bytes sent, -1 on error (logged by the caller as it sees fit).
    int SendTo(const void *data, int length, const LIPAddressWithPort &to);
    // Bytes received (0..length), -1 when nothing is waiting or on error.
    int RecvFrom(void *buffer, int length, LIPAddressWithPort &from);
};

class LTcpSocket : public LSocket
{
  public:
    bool Open() { return OpenKind(SOCK_STREAM); }
    // Opens, binds (address reuse on) and listens.
    bool Listen(int port, uint32_t address = 0, int backlog = 16);
    // Takes a waiting connection (non-blocking listener: false when none).
    bool Accept(LTcpSocket &connection, LIPAddressWithPort *peer = nullptr);
};

// The stop test behind the templates, so the steps are written once.
using LStopTest = bool (*)(void *process);
template <class P> bool LStopTestOf(void *process)
{
    return static_cast<P *>(process)->IsToStop();
}

namespace LSocketSteps
{
LProcessResult Connect(LStopTest stop, void *process, LTcpSocket &socket,
                       const LIPAddressWithPort &to, uint32_t ms);
LProcessResult Send(LStopTest stop, void *process, LSocket &socket, const void *data, int length,
                    uint32_t ms);
LProcessResult RecvReady(LStopTest stop, void *process, LSocket &socket, uint32_t ms);
LProcessResult RecvAll(LStopTest stop, void *process, LSocket &socket, void *buffer, int length,
                       uint32_t ms);
LProcessResult RecvToEnd(LStopTest stop, void *process, LSocket &socket, LStringLong &out,
                         int maxBytes, uint32_t ms);
LProcessResult WaitForPacket(LStopTest stop, void *process, LUdpSocket &socket, uint32_t ms);
LProcessResult Disconnect(LStopTest stop, void *process, LTcpSocket &socket, uint32_t ms);
LProcessResult HTTPGet(LStopTest stop, void *process, const char *url, LStringLong &reply,
                       int maxBytes, uint32_t ms);
} // namespace LSocketSteps

// Opens the socket if needed and connects within ms. A refused or
// unreachable peer fails at once.
template <class P>
LProcessResult ProcessConnect(P &process, LTcpSocket &socket, const LIPAddressWithPort &to,
                              uint32_t ms)
{
    return LSocketSteps::Connect(LStopTestOf<P>, &process, socket, to, ms);
}

// Sends all length bytes; ms bounds the whole send.
template <class P>
LProcessResult ProcessSend(P &process, LSocket &socket, const void *data, int length, uint32_t ms)
{
    return LSocketSteps::Send(LStopTestOf<P>, &process, socket, data, length, ms);
}

template <class P>
LProcessResult ProcessSendString(P &process, LSocket &socket, const char *text, uint32_t ms)
{
    int length = 0;
    while (text && text[length])
        length++;
    return LSocketSteps::Send(LStopTestOf<P>, &process, socket, text, length, ms);
}

// Waits until the socket has something to read (or the peer closed).
template <class P> LProcessResult ProcessRecvReady(P &process, LSocket &socket, uint32_t ms)
{
    return LSocketSteps::RecvReady(LStopTestOf<P>, &process, socket, ms);
}

// Receives exactly length bytes; ms bounds each wait for more. A peer that
// closes early fails.
template <class P>
LProcessResult ProcessRecvAll(P &process, LSocket &socket, void *buffer, int length, uint32_t ms)
{
    return LSocketSteps::RecvAll(LStopTestOf<P>, &process, socket, buffer, length, ms);
}

// Appends everything until the peer closes or maxBytes have arrived (both
// success); ms bounds each wait for more.
template <class P>
LProcessResult ProcessRecvToEnd(P &process, LSocket &socket, LStringLong &out, int maxBytes,
                                uint32_t ms)
{
    return LSocketSteps::RecvToEnd(LStopTestOf<P>, &process, socket, out, maxBytes, ms);
}

// Waits until a datagram can be read from the socket.
template <class P> LProcessResult ProcessWaitForPacket(P &process, LUdpSocket &socket, uint32_t ms)
{
    return LSocketSteps::WaitForPacket(LStopTestOf<P>, &process, socket, ms);
}

// Ends the sending side, drains what the peer still sends until it closes
// (or ms passes), and closes the socket in any case.
template <class P> LProcessResult ProcessDisconnect(P &process, LTcpSocket &socket, uint32_t ms)
{
    return LSocketSteps::Disconnect(LStopTestOf<P>, &process, socket, ms);
}

// HTTP/1.0 GET of "http://host[:port]/path": reply receives everything the
// server sends, headers included, up to maxBytes; ms bounds connecting,
// sending and each receive. Success means a reply arrived (check its status
// with LHTTPReplyStatus).
template <class P>
LProcessResult ProcessHTTPGet(P &process, const char *url, LStringLong &reply, int maxBytes = 8191,
                              uint32_t ms = 3000)
{
    return LSocketSteps::HTTPGet(LStopTestOf<P>, &process, url, reply, maxBytes, ms);
}

// The status code of an HTTP reply's first line, 0 when it has none; body
// (optional) points after the blank line that ends the headers, or at the end.
int LHTTPReplyStatus(const char *reply, const char **body = nullptr);
// Splits "http://host[:port]/path" into "host[:port]" and "/path".
bool LHTTPSplitURL(const char *url, char (&host)[260], char (&path)[260]);
