#include "web/weblet_file.h"

#include "config/settingslock.h"
#include "web/web_format.h"
#include "web/web_frame.h"
#include "web/weblet_io.h"

#include <cctype>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
constexpr int kSendTimeoutMs = 20000;

bool Send(int fd, const std::atomic<bool> *stop, const std::string &text)
{
    return WebletSendAll(fd, text.data(), text.size(), kSendTimeoutMs, stop);
}
} // namespace

const char *WebletContentType(const char *path)
{
    static const char *const types[][2] = {
        {"html", "text/html"}, {"css", "text/css"}, {"jpg", "image/jpeg"}, {"gif", "image/gif"}};
    const char *dot = strrchr(path, '.');
    const char *slash = strrchr(path, '/');
    if (dot && (!slash || dot > slash)) {
        for (const auto &t : types)
            if (strcasecmp(dot + 1, t[0]) == 0)
                return t[1];
    }
    return "application/octet-stream";
}

std::string WebletHttpDate(long seconds)
{
    static const char *const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    time_t t = (time_t)seconds;
    struct tm tm;
    gmtime_r(&t, &tm);
    // The whole year: a fixed "20" century would date older files into the future.
    return WebFormat("%s, %.2d %s %.4d %.2d:%.2d:%.2d GMT", days[tm.tm_wday], tm.tm_mday,
                     months[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

void LWebletServeFile(int fd, const std::atomic<bool> *stop, const char *path,
                      const char *if_none_match, const char *if_modified_since)
{
    int file = open(path, O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (file >= 0 && (fstat(file, &st) != 0 || !S_ISREG(st.st_mode))) {
        close(file);
        file = -1;
    }
    if (file < 0) {
        Send(fd, stop, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        return;
    }
    flocktimed(file, LOCK_SH, 1000);
    std::string tag = WebFormat("%d-%d", (int)st.st_mtime, (int)st.st_size);
    std::string date = WebletHttpDate((long)st.st_mtime);
    if (strstr(if_none_match, tag.c_str()) || strcasecmp(if_modified_since, date.c_str()) == 0) {
        Send(fd, stop, "HTTP/1.1 304 Not Modified\r\n\r\n");
        close(file);
        return;
    }
    std::string head =
        WebFormat("HTTP/1.1 200 OK\r\nContent-Length: %d\r\nContent-Type: "
                  "%s\r\nLast-Modified: %s\r\nETag: \"%s\"\r\n" VELA_WEB_NO_FRAMING "\r\n",
                  (int)st.st_size, WebletContentType(path), date.c_str(), tag.c_str());
    if (Send(fd, stop, head)) {
        char buf[1024];
        ssize_t n;
        while ((n = read(file, buf, sizeof buf)) > 0)
            if (!WebletSendAll(fd, buf, (size_t)n, kSendTimeoutMs, stop))
                break;
    }
    close(file);
}
