// Small text helpers shared by the SDP model, decoder and writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Every SDP text field holds at most this many characters; longer input is
// cut, never rejected, so a hostile line cannot grow our state without bound.
constexpr size_t kSDPTextMax = 259;

// Copies text into a field, cut at kSDPTextMax characters.
std::string LSDPFieldText(std::string_view text);

bool LSDPEqualNoCase(std::string_view a, std::string_view b);

// A cursor over one SDP line value. Reading stops at the given stop
// characters; CR, LF and NUL always end a line.
class LSDPCursor
{
  public:
    explicit LSDPCursor(std::string_view text) : text_(text) {}

    bool AtEnd() const { return pos_ >= text_.size(); }
    // Text up to (not including) the first of `stops`, CR or LF.
    std::string_view GetUpTo(std::string_view stops);
    // Text up to white space (any byte below 33).
    std::string_view GetToken();
    void SkipAny(std::string_view chars);
    void SkipWhite();
    // The rest of the line.
    std::string_view GetRest();

  private:
    std::string_view text_;
    size_t pos_ = 0;
};

// Reads a decimal number (optional sign) at the start of text. Saturates
// instead of overflowing; returns false when no digit is present.
bool LSDPParseInt(std::string_view text, long &value);

// A port: 1..65535 written in decimal, else 0 ("no port"). A number out of
// range must not wrap to some other, valid-looking port.
uint16_t LSDPParsePort(std::string_view text);
