// Log lines carry text from outside (SIP headers, user names). Control bytes
// in them could forge line breaks in the log file or drive the terminal
// that shows it (ESC sequences), so they are written as visible escapes.
#pragma once

#include <string>

// text with every byte below 0x20 and 0x7F written as "\xNN" (lower-case
// hexadecimal); other bytes unchanged.
std::string LLogEscape(const char *text);
