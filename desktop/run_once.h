// One desktop window per user: the first instance listens on the socket
// ".Vela.runonce" in the user's data folder; a later start hands its
// arguments to it there and exits.
#pragma once

#include <string>

// The listening socket when this is the first instance; -1 when the running
// instance took the arguments (exit now); -2 when neither worked (run on).
int VLRunOnceClaim(const std::string &path, int argc, char **argv);

// Accepts one hand-over on the listening socket: the arguments, separated by
// spaces (at most 4096 bytes are read).
std::string VLRunOnceTake(int listenFd);
