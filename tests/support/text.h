// Whether a page, log or message holds a part: the one check most tests make.
#pragma once

#include <string>

namespace vtest
{
inline bool Has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}
} // namespace vtest
