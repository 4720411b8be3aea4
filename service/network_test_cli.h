// "vela -network-test": the setup wizard's network test in a terminal.
#pragma once

// Runs the test against this machine and the shared settings, printing each
// status line; returns the exit status (0 when the test ran to its end).
int VLRunNetworkTest();
