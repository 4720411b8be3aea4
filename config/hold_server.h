// Whether the on-hold music player a new group streams from by default runs
// on this machine.
#pragma once

// True when a TCP socket listens on port at a loopback or wildcard address.
// Read from the kernel's socket tables rather than by connecting: a
// connection would make the player start a stream for nobody.
bool LHoldServerListening(int port);

// The same test on the text of one table (/proc/net/tcp or /proc/net/tcp6).
bool LTcpTableHasListener(const char *table, int port);
