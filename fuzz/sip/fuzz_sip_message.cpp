// Parses arbitrary datagrams and checks that what the writer produces parses
// back to the same first line, fields and body.
#include "../fuzz_check.h"
#include "platform/hashtable.h"
#include "sip/sip_request.h"
#include "sip/sipmessage.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace
{
void CheckSameFields(LSipMessage &written, const LSipMessage &again)
{
    Check(again.GetFieldCount() == written.GetFieldCount());
    for (size_t i = 0; i < written.GetFieldCount(); i++) {
        Check(!strcmp(again.GetFieldAt(i).GetFieldName(), written.GetFieldAt(i).GetFieldName()));
        Check(!strcmp(again.GetFieldAt(i).GetFieldData(), written.GetFieldAt(i).GetFieldData()));
    }
}

void CheckRoundTrip(LSipMessage &message)
{
    std::string out;
    message.Reconstruct(out);
    LSipMessage again;
    size_t position = 0;
    Check(again.LoadPacket(out.data(), out.size(), position));
    Check(again.IsRequest() == message.IsRequest());
    Check(again.GetResponseStatusCode() == message.GetResponseStatusCode());
    Check(!strcmp(again.GetRequest(), message.GetRequest()));
    Check(!strcmp(again.GetRequestURI(), message.GetRequestURI()));
    CheckSameFields(message, again);
    if (message.GetContentCount() == 0 || message.GetContentAt(0).body.empty())
        return;
    const LSipMessage::ContentData &first = message.GetContentAt(0);
    if (strcasecmp(first.contentType, "multipart/mixed") == 0)
        return;
    Check(again.GetContentCount() == 1);
    Check(again.GetContentAt(0).body == first.body);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *text = reinterpret_cast<const char *>(data);
    size_t position = 0;
    // A buffer may hold several messages; each parse must make progress.
    for (int round = 0; round < 4 && position < size; round++) {
        LSipMessage message;
        size_t before = position;
        bool ok = message.LoadPacket(text, size, position);
        Check(position <= size);
        if (!ok)
            break;
        Check(position > before);
        for (size_t i = 0; i < message.GetFieldCount(); i++) {
            Check(strlen(message.GetFieldAt(i).GetFieldName()) < 32);
            Check(strlen(message.GetFieldAt(i).GetFieldData()) < 260);
        }
        CheckRoundTrip(message);
        // A challenge is answered only when an MD5 digest can answer it.
        LHashTable challenge;
        if (message.IsResponse() && LSipDecodeDigestChallenge(message, challenge))
            Check(!strcasecmp(challenge.GetParm("algorithm", "MD5"), "MD5"));
    }
    return 0;
}
