#include "config/hold_server.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace
{

constexpr const char *kListenState = "0A"; // TCP_LISTEN in include/net/tcp_states.h

// Addresses in the tables are the raw bytes in hex, IPv4 in host (little
// endian) order: 127.x.x.x ends in "7F", ::1 is 01 in its last byte.
bool ReachableFromLocalhost(const std::string &address)
{
    if (address.find_first_not_of('0') == std::string::npos)
        return true;
    if (address.size() == 8)
        return address.compare(6, 2, "7F") == 0;
    if (address.size() != 32)
        return false;
    if (address == "00000000000000000000000001000000")
        return true;
    // ::ffff:127.x.x.x
    return address.compare(0, 24, "0000000000000000FFFF0000") == 0 &&
           address.compare(30, 2, "7F") == 0;
}

} // namespace

bool LTcpTableHasListener(const char *table, int port)
{
    const char *line = table;
    while (line && *line) {
        const char *end = strchr(line, '\n');
        std::string text(line, end ? (size_t)(end - line) : strlen(line));
        line = end ? end + 1 : nullptr;
        char local[64], remote[64], state[8];
        unsigned localPort = 0;
        // "  0: 0100007F:025E 00000000:0000 0A ..."
        if (sscanf(text.c_str(), " %*[0-9]: %63[0-9A-Fa-f]:%x %63s %7s", local, &localPort, remote,
                   state) != 4)
            continue;
        if (localPort == (unsigned)port && strcmp(state, kListenState) == 0 &&
            ReachableFromLocalhost(local))
            return true;
    }
    return false;
}

bool LHoldServerListening(int port)
{
    for (const char *path : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        FILE *file = fopen(path, "r");
        if (!file)
            continue;
        std::string table;
        char buffer[4096];
        size_t got;
        while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
            table.append(buffer, got);
        fclose(file);
        if (LTcpTableHasListener(table.c_str(), port))
            return true;
    }
    return false;
}
