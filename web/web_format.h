// printf-style formatting with the control panel's two extra conversions:
// "%H" inserts a string HTML-encoded, "%U" inserts it URL-encoded.
#pragma once

#include <cstdarg>
#include <string>

void WebFormatV(std::string &out, const char *format, va_list args);
std::string WebFormat(const char *format, ...);
