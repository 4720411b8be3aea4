// A SIP message parsed from test text, as the engine parses a datagram.
#pragma once

#include "sip/sipmessage.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace vtest
{
inline std::unique_ptr<LSipMessage> ParseSip(const std::string &text)
{
    auto message = std::make_unique<LSipMessage>();
    size_t position = 0;
    EXPECT_TRUE(message->LoadPacket(text.data(), text.size(), position)) << text;
    return message;
}
} // namespace vtest
