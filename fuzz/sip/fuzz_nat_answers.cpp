// What answers the search for the public address: a STUN server's Binding
// Response, and a LAN device's SSDP answer, HTTP reply and device
// description (anything on the LAN may answer a UPnP search).
#include "../fuzz_check.h"
#include "platform/socket.h"
#include "sip/stun.h"
#include "sip/upnp.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace
{
void FuzzStun(const uint8_t *data, size_t size)
{
    uint8_t request[64];
    size_t length = LStunMakeBindingRequest(request, 0x01020304, false);
    Check(length <= sizeof request);
    // The answer to that request: its transaction, then the fuzzed attributes.
    std::string answer(reinterpret_cast<const char *>(request), length < 20 ? length : 20);
    answer[0] = 0x01, answer[1] = 0x01;
    answer.append(reinterpret_cast<const char *>(data), size);
    LIPAddressWithPort address;
    LStunCheckMappedAddress(reinterpret_cast<const uint8_t *>(answer.data()), answer.size(),
                            0x01020304, address);
    LStunCheckMappedAddress(data, size, 0x01020304, address);
}

void FuzzUpnp(const char *text)
{
    std::string url;
    if (LUpnpFindLocation(text, url)) {
        Check(!url.empty() && url.find_first_of("\r\n") == std::string::npos);
        char host[260], path[260];
        if (LHTTPSplitURL(url.c_str(), host, path))
            Check(strlen(host) < sizeof host && strlen(path) < sizeof path);
    }
    const char *body = nullptr;
    int status = LHTTPReplyStatus(text, &body);
    Check(status == 0 || (status >= 100 && status <= 999));
    Check(body >= text && body <= text + strlen(text));
    LUPNPNATControlLink link("192.168.1.1:5000", "WANIPConnection:1", text);
    Check(strlen(link.path) < sizeof link.path);
    std::string request = LUpnpSoapRequest(link, "GetExternalIPAddress", "");
    Check(request.compare(0, 5, "POST ") == 0);
    char field[64];
    FindTextField(text, "<NewExternalIPAddress>", "</", field, sizeof field);
    Check(strlen(field) < sizeof field);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > kUpnpTextMax)
        return 0;
    FuzzStun(data, size);
    FuzzUpnp(std::string(reinterpret_cast<const char *>(data), size).c_str());
    return 0;
}
