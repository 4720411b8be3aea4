// Static files of the control panel (style sheets, images, help pages).
#pragma once

#include <atomic>
#include <string>

// Content type by the lower-cased file extension.
const char *WebletContentType(const char *path);

// "Sun, 06 Dec 2026 20:10:49 GMT" style date of a time in GMT.
std::string WebletHttpDate(long seconds);

// Sends the file with its ETag and Last-Modified, or 304 when the client's
// copy is current, or 404 (the connection stays open in every case).
void LWebletServeFile(int fd, const std::atomic<bool> *stop, const char *path,
                      const char *if_none_match, const char *if_modified_since);
