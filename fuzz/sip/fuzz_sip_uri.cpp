// Parses arbitrary text as a URI, a name-address, a comma list, percent
// coding, a digest challenge and a "Replaces" value; the encoder and decoder
// must be inverse where nothing was cut, and our answer to a provider's
// challenge, whatever it holds, must give back its realm and nonce.
#include "../fuzz_check.h"
#include "platform/hashtable.h"
#include "sip/commalist.h"
#include "sip/sip_call.h"
#include "sip/sip_request.h"
#include "sip/sipnameaddr.h"
#include "sip/sipuri.h"
#include "sip/uricoding.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace
{
void FuzzCoding(const char *text)
{
    char coded[260];
    char decoded[260];
    size_t codedLength = LURIEncode(coded, text);
    Check(codedLength < 260 && strlen(coded) == codedLength);
    size_t consumed = LURIDecode(decoded, sizeof(decoded), coded);
    Check(consumed == codedLength);
    if (strlen(text) * 3 < 260)
        Check(strcmp(decoded, text) == 0);
    LURIDecode(decoded, sizeof(decoded), text, ";=");
    Check(strlen(decoded) < 260);
}

void FuzzNameAddr(const char *text)
{
    LSipNameAddr name(text);
    Check(strlen(name.GetDisplayName()) < 260 && strlen(name.GetSipURI()) < 260);
    Check(strchr(name.GetSipURI(), ':') != nullptr);
    std::string out;
    name.ReconstructWithoutHeaders(out);
    name.GetHeaderField("tag", "");
    name.PrependCID("0049");
    Check(strlen(name.GetSipURI()) < 260);
    out.clear();
    LSipNameAddr::Expand(text, "10.0.0.1", out);
}

void FuzzHeaderValues(const char *text)
{
    LHashTable challenge;
    if (LSipAuthenticationDecodeDigest(text, challenge)) {
        std::string answer = LSipDigestAnswer(challenge, "101", "pw", "REGISTER", "sip:pbx");
        LHashTable back;
        Check(LSipAuthenticationDecodeDigest(answer.c_str(), back));
        for (const char *name : {"realm", "nonce", "opaque"})
            Check(strcmp(back.GetParm(name), challenge.GetParm(name)) == 0);
    }
    LHashTable replaces;
    LSipReadReplacesTags(text, replaces);
    for (LHashTable::Iterator i(replaces); i.IsValid(); i.Next())
        Check(!strpbrk(i.GetParm(), "ABCDEFGHIJKLMNOPQRSTUVWXYZ;") && !strchr(i.GetData(), ';'));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size < 1024 ? size : 1024);
    const char *c = text.c_str();
    LSipURI uri(c);
    std::string out;
    uri.Reconstruct(out);
    out.clear();
    uri.ReconstructWithoutParameters(out);
    uri.TestParameterExists("lr");
    FuzzNameAddr(c);
    FuzzCoding(c);
    FuzzHeaderValues(c);
    LCommaSeparatedListIteratorTemplate<char> it(c);
    for (int items = 0; it.Next(); items++) {
        Check(strlen(it.GetItem()) < 260);
        Check(items <= (int)size);
    }
    return 0;
}
