// The call log's CSV line from party texts a caller chooses (the display
// name and user of a From header): whatever they hold, the line is one
// RFC 4180 record of six cells ending in CR LF, within the line limit, and
// no cell reads as a spreadsheet formula.
#include "../fuzz_check.h"
#include "logs/call_log.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace
{
// The cells of one CSV record (quoted cells undoubled), or empty when the
// text is not one well-formed record.
std::vector<std::string> ReadRecord(const std::string &line)
{
    std::vector<std::string> cells(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); i++) {
        char c = line[i];
        if (quoted) {
            if (c != '"')
                cells.back() += c;
            else if (i + 1 < line.size() && line[i + 1] == '"')
                cells.back() += line[++i];
            else
                quoted = false;
        } else if (c == '"' && cells.back().empty())
            quoted = true;
        else if (c == ',')
            cells.emplace_back();
        else if (c == '"' || c == '\r' || c == '\n')
            return {};
        else
            cells.back() += c;
    }
    return quoted ? std::vector<std::string>() : cells;
}

// The part of the input up to the first zero byte, at most 259 bytes.
std::string Party(const uint8_t *data, size_t size)
{
    size_t n = strnlen(reinterpret_cast<const char *>(data), size);
    return std::string(reinterpret_cast<const char *>(data), n < 259 ? n : 259);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    size_t split = 1 + data[0] % (size - 1);
    std::string from = Party(data + 1, split - 1), to = Party(data + split, size - split);
    LCallLogEntry entry;
    LCallLogEntrySet(entry, 1700000000, data[1] & 1 ? 1700000007 : 0, from.c_str(), to.c_str());
    char out[kCallLogLineMax + 1];
    size_t n = LCallLogFormatLine(out, sizeof out, entry, 1700000000 + data[0] * 100);
    Check(n > 2 && n <= kCallLogLineMax && strlen(out) == n);
    std::string line(out, n);
    Check(line.compare(n - 2, 2, "\r\n") == 0);
    std::vector<std::string> cells = ReadRecord(line.substr(0, n - 2));
    Check(cells.size() == 6);
    for (size_t i = 4; i < 6; i++)
        Check(cells[i].empty() || !strchr("=+-@", cells[i][0]));
    return 0;
}
