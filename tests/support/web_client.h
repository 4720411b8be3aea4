// HTTP clients for tests of the control panel: curl for requests and
// chromium driven by playwright-core, both real programs started by PID.
#pragma once

#include <string>
#include <vector>

namespace vtest
{
// Runs `curl -s -i --max-time 20 <args>`; the answer with its headers, or ""
// when curl could not be run.
std::string Curl(const std::vector<std::string> &args);

// The value of a header line of an answer ("" when absent).
std::string HttpHeader(const std::string &answer, const char *name);

// Posts the log-on fields to base + "/logon" and returns "sess=<id>" from
// its Set-Cookie header, or "" when the log-on was refused.
std::string WebLogOn(const std::string &base, const char *fields);

// The anti-forgery token of the first form of a page ("" when none).
std::string WebFormToken(const std::string &page);

// Runs a node script that drives Debian's chromium through playwright-core
// (installed by npm under tests/support/browser). output receives what the
// script prints; true when it exited with 0.
bool Playwright(const std::string &script, const std::vector<std::string> &args,
                std::string *output);
} // namespace vtest
