#include "config/hold_server.h"
#include "support/process.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

// clang-format off
struct TableCase { const char *line; bool listening; };
const TableCase kTables[] = {
    {"   0: 00000000:025E 00000000:0000 0A 00000000:00000000 00:00000000 00000000", true},  // 0.0.0.0
    {"   1: 0100007F:025E 00000000:0000 0A 00000000:00000000 00:00000000 00000000", true},  // 127.0.0.1
    {"   2: 0100007F:025E 0100007F:9C40 01 00000000:00000000 00:00000000 00000000", false}, // connected, not listening
    {"   3: 0101A8C0:025E 00000000:0000 0A 00000000:00000000 00:00000000 00000000", false}, // 192.168.1.1 only
    {"   4: 0100007F:025F 00000000:0000 0A 00000000:00000000 00:00000000 00000000", false}, // other port
    {"   5: 00000000000000000000000001000000:025E 00000000000000000000000000000000:0000 0A 0", true},   // ::1
    {"   6: 0000000000000000FFFF00000100007F:025E 00000000000000000000000000000000:0000 0A 0", true},   // ::ffff:127.0.0.1
    {"   7: 20010DB8000000000000000000000001:025E 00000000000000000000000000000000:0000 0A 0", false},  // 2001:db8::1
    {"  sl  local_address rem_address   st tx_queue rx_queue", false},
    {"   8: zz:025E", false},
};
// clang-format on

TEST(HoldServer, TableRowsCountOnlyListenersReachableFromLocalhost)
{
    for (const TableCase &c : kTables) {
        std::string table = std::string("  sl  local_address rem_address\n") + c.line + "\n";
        EXPECT_EQ(LTcpTableHasListener(table.c_str(), 606), c.listening) << c.line;
    }
}

TEST(HoldServer, SeesARealListenerComeAndGo)
{
    int port = 0, fd = vtest::BoundLoopbackSocket(SOCK_STREAM, port);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(LHoldServerListening(port)); // bound, not yet listening
    ASSERT_EQ(listen(fd, 1), 0);
    EXPECT_TRUE(LHoldServerListening(port));
    close(fd);
    EXPECT_FALSE(LHoldServerListening(port));
}
