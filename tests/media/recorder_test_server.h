// A small recording server for the tests: speaks the recorder client's
// protocol on a loopback port and keeps what each connection sent.
#pragma once

#include "media/codecs/gsm.h"
#include "support/process.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

struct RecordingReceived {
    std::string logon;               // the 66 bytes as sent
    std::string fileName;            // from the file-name packet
    std::vector<std::string> frames; // 33-byte GSM frames, in order
    bool badPacket = false;          // a packet that breaks the framing
    bool closed = false;             // the client closed the connection
};

class RecordingServer
{
  public:
    // The answer to the log-on: "<" and a code, or any two bytes.
    std::string answer = std::string("<\0", 2);
    int answerDelayMs = 0;
    bool answerAtAll = true;

    RecordingServer()
    {
        listen_ = vtest::BoundLoopbackSocket(SOCK_STREAM, port_);
        listen(listen_, 4);
        thread_ = std::thread([this] { Serve(); });
    }
    ~RecordingServer()
    {
        stop_ = true;
        thread_.join();
        close(listen_);
    }
    std::string Entry() const { return "127.0.0.1:" + std::to_string(port_); }

    // Waits until the n-th connection has closed; false after ms.
    bool WaitClosed(size_t n, int ms)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms),
                                 [&] { return received_.size() >= n && received_[n - 1].closed; });
    }
    RecordingReceived Get(size_t i)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return i < received_.size() ? received_[i] : RecordingReceived();
    }
    // Frames received so far over all connections.
    int FramesSoFar() const { return frames_.load(); }
    size_t Connections()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_.size();
    }

    // The samples the server hears in the frames, decoded.
    static std::vector<int> Decode(const std::vector<std::string> &frames)
    {
        LGSMDecoder decoder;
        std::vector<int> out(frames.size() * 160);
        for (size_t i = 0; i < frames.size(); i++)
            decoder.DecodeFrameNormal((const unsigned char *)frames[i].data(), &out[i * 160]);
        return out;
    }

  private:
    bool ReadExactly(int fd, std::string &out, size_t n)
    {
        out.clear();
        while (out.size() < n && !stop_) {
            pollfd p{fd, POLLIN, 0};
            char buffer[256];
            if (poll(&p, 1, 50) != 1)
                continue;
            ssize_t got = recv(fd, buffer, std::min(sizeof buffer, n - out.size()), 0);
            if (got <= 0)
                return false;
            out.append(buffer, (size_t)got);
        }
        return out.size() == n;
    }
    void Serve()
    {
        while (!stop_) {
            pollfd p{listen_, POLLIN, 0};
            if (poll(&p, 1, 50) != 1)
                continue;
            int fd = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            std::unique_lock<std::mutex> lock(mutex_);
            size_t index = received_.size();
            received_.emplace_back();
            lock.unlock();
            RecordingReceived r = ServeOne(fd);
            close(fd);
            lock.lock();
            received_[index] = r;
            changed_.notify_all();
        }
    }
    RecordingReceived ServeOne(int fd)
    {
        RecordingReceived r;
        std::string head, packet;
        if (ReadExactly(fd, r.logon, 66) && answerAtAll) {
            usleep((useconds_t)answerDelayMs * 1000);
            send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
        }
        if (ReadExactly(fd, head, 2) && (unsigned char)head[0] == 255) {
            ReadExactly(fd, r.fileName, (unsigned char)head[1]);
            while (ReadExactly(fd, packet, 35)) {
                r.badPacket = r.badPacket || (unsigned char)packet[0] != 128 || packet[1] != 33;
                r.frames.push_back(packet.substr(2));
                ++frames_;
            }
            // A partial packet left at the close also breaks the framing.
            r.badPacket = r.badPacket || !packet.empty();
        }
        r.closed = true;
        return r;
    }

    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> frames_{0};
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<RecordingReceived> received_;
};
