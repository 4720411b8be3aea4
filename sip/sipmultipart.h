// multipart/mixed bodies (RFC 2046 section 5.1): each typed part becomes a
// content part of the message; the outer body is not kept.
#pragma once

#include <cstddef>

class LSipMessage;

// The boundary parameter of a Content-Type value (name without case, pairs
// separated by '&', ';' or ' '), with one pair of surrounding quotes removed.
// False when there is none.
bool LSipFindBoundary(const char *contentType, char *out, size_t capacity);

// Splits body[0..length) at the boundary of contentType and adds each part
// that has a type to message. Without a boundary nothing is added.
void LSipLoadMultipart(LSipMessage &message, const char *contentType, const char *body,
                       size_t length);
