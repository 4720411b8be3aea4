// The ';' parameters of URIs and name-addresses, read into the platform's
// ordered name/value table (newest first).
#pragma once

#include "platform/hashtable.h"

#include <string>

// Reads ";"-separated parameters (name[=value];...) from text, each side
// percent-decoded and cut at 259 characters; pairs with an empty name are
// skipped, a repeated name keeps its last value.
void LSipParseParameters(LHashTable &table, const char *text);

// Appends the table as "name=value&..." with both sides percent-coded.
void LSipSaveHTTPString(const LHashTable &table, std::string &out);
