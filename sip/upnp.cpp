#include "sip/upnp.h"

#include "platform/ipaddress.h"
#include "platform/log.h"
#include "platform/signal.h"
#include "platform/strings.h"
#include "platform/tick.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <sys/socket.h>

namespace
{
constexpr int kSearches = 10;
constexpr uint32_t kSearchWaitMs = 1000;
constexpr uint32_t kCommandMs = 3000;
constexpr size_t kReplyCapacity = 8192;
constexpr size_t kBodyMax = 4095;
constexpr size_t kArgumentsMax = 1023;

const char *kSearch = "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: "
                      "\"ssdp:discover\"\r\nMX: 2\r\nST: "
                      "urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n\r\n";

void CopyText(char *out, size_t capacity, const char *from, size_t length)
{
    length = length < capacity - 1 ? length : capacity - 1;
    memcpy(out, from, length);
    out[length] = 0;
}

bool Contains(const char *text, const char *part)
{
    return strstr(text, part) != nullptr;
}
} // namespace

bool FindTextField(const char *text, const char *startMark, const char *endMark, char *out,
                   size_t outSize)
{
    out[0] = 0;
    const char *start = text ? strstr(text, startMark) : nullptr;
    if (start == nullptr)
        return false;
    start += strlen(startMark);
    const char *end = strstr(start, endMark);
    CopyText(out, outSize, start, end ? (size_t)(end - start) : strlen(start));
    return true;
}

LUPNPNATControlLink::LUPNPNATControlLink(const char *deviceHost, const char *serviceName,
                                         const char *description)
{
    snprintf(host, sizeof(host), "%s", deviceHost);
    snprintf(service, sizeof(service), "%s", serviceName);
    std::string mark = std::string("<serviceType>urn:schemas-upnp-org:service:") + serviceName;
    const char *found = description ? strstr(description, mark.c_str()) : nullptr;
    if (found != nullptr)
        FindTextField(found, "<controlURL>", "<", path, sizeof(path));
}

bool LUpnpFindLocation(const char *answer, std::string &url)
{
    static const char kMark[] = "LOCATION:";
    size_t markLength = sizeof(kMark) - 1;
    for (const char *p = answer; p && *p; p++) {
        if (strncasecmp(p, kMark, markLength) != 0)
            continue;
        const char *start = p + markLength;
        while (*start == ' ' || *start == '\t')
            start++;
        size_t length = strcspn(start, "\r\n");
        while (length > 0 && (start[length - 1] == ' ' || start[length - 1] == '\t'))
            length--;
        url.assign(start, length);
        return !url.empty();
    }
    return false;
}

std::string LUpnpSoapRequest(const LUPNPNATControlLink &link, const char *action,
                             const char *arguments)
{
    char body[kBodyMax + 1];
    snprintf(body, sizeof(body),
             "<?xml version=\"1.0\"?><s:Envelope "
             "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
             "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><u:%s "
             "xmlns:u=\"urn:schemas-upnp-org:service:%s\">%s</u:%s></s:Body></s:Envelope>",
             action, link.service, arguments, action);
    char head[1024];
    snprintf(head, sizeof(head),
             "POST %s HTTP/1.1\r\nHost: %s\r\nCONTENT-LENGTH: %d\r\nCONTENT-TYPE: text/xml; "
             "charset=\"utf-8\"\r\nSOAPACTION: \"urn:schemas-upnp-org:service:%s#%s\"\r\n\r\n",
             link.path, link.host, (int)strlen(body), link.service, action);
    return std::string(head) + body;
}

LProcessResult LUpnpSteps::SendCommand(LStopTest stop, void *process,
                                       const LUPNPNATControlLink &link, const char *action,
                                       const char *arguments, std::string &reply, uint32_t ms)
{
    reply.clear();
    LIPAddressWithPort device;
    if (!device.SetFromText(link.host, 80))
        return LProcessFailed;
    LTcpSocket socket;
    LProcessResult r = LSocketSteps::Connect(stop, process, socket, device, ms);
    if (r != LProcessSuccess)
        return r;
    std::string request = LUpnpSoapRequest(link, action, arguments);
    r = LSocketSteps::Send(stop, process, socket, request.data(), (int)request.size(), ms);
    LStringLong text;
    if (r == LProcessSuccess)
        r = LSocketSteps::RecvToEnd(stop, process, socket, text, (int)kReplyCapacity - 1, ms);
    if (r != LProcessStopped)
        LSocketSteps::Disconnect(stop, process, socket, ms);
    if (!text.IsEmpty())
        reply = text.GetString();
    // An empty or cut reply is left to the caller's checks.
    return r == LProcessStopped ? r : LProcessSuccess;
}

LProcessResult LUpnpSteps::MapPortService(LStopTest stop, void *process, const char *host,
                                          const char *description, const char *service,
                                          const LUpnpMapRequest &request, char *externalIP,
                                          size_t capacity, bool &refused)
{
    LUPNPNATControlLink link(host, service, description);
    if (!link.IsValid())
        return LProcessFailed;
    std::string reply;
    char field[64];
    LProcessResult r =
        SendCommand(stop, process, link, "GetConnectionTypeInfo", "", reply, kCommandMs);
    if (r == LProcessStopped)
        return r;
    if (FindTextField(reply.c_str(), "<NewConnectionType", "</", field, sizeof(field)) &&
        Contains(field, "Unconfigured"))
        return LProcessFailed;
    if ((r = SendCommand(stop, process, link, "GetNATRSIPStatus", "", reply, kCommandMs)) ==
        LProcessStopped)
        return r;
    if (FindTextField(reply.c_str(), "<NewNATEnabled", "</", field, sizeof(field)) &&
        (Contains(field, ">0") || Contains(field, ">F") || Contains(field, ">f")))
        return LProcessFailed;
    if ((r = SendCommand(stop, process, link, "GetExternalIPAddress", "", reply, kCommandMs)) ==
        LProcessStopped)
        return r;
    const char *mark = strstr(reply.c_str(), "<NewExternalIPAddress");
    const char *open = mark ? strchr(mark, '>') : nullptr;
    // A reply without the closing tag is cut, not trusted.
    const char *close = open ? strchr(open + 1, '<') : nullptr;
    if (close == nullptr)
        return LProcessFailed;
    CopyText(externalIP, capacity, open + 1, (size_t)(close - open - 1));
    const char *protocol = request.udp ? "UDP" : "TCP";
    char arguments[kArgumentsMax + 1];
    snprintf(arguments, sizeof(arguments),
             "<NewRemoteHost></NewRemoteHost><NewExternalPort>%d</"
             "NewExternalPort><NewProtocol>%s</NewProtocol><NewInternalPort>%d</"
             "NewInternalPort><NewInternalClient>%s</NewInternalClient><NewEnabled>1</"
             "NewEnabled><NewPortMappingDescription>Vela %s "
             "Redirection</NewPortMappingDescription><NewLeaseDuration>0</NewLeaseDuration>",
             request.externalPort, protocol, request.internalPort, request.internalIP, protocol);
    if ((r = SendCommand(stop, process, link, "AddPortMapping", arguments, reply, kCommandMs)) ==
        LProcessStopped)
        return r;
    if (reply.empty() || Contains(reply.c_str(), "<faultstring>")) {
        refused = Contains(reply.c_str(), "<faultstring>");
        return LProcessFailed;
    }
    return LProcessSuccess;
}

LProcessResult LUpnpSteps::GetDeviceDescription(LStopTest stop, void *process, const char *answer,
                                                std::string &host, std::string &description)
{
    std::string url;
    char hostPart[260], path[260];
    if (!LUpnpFindLocation(answer, url) || !LHTTPSplitURL(url.c_str(), hostPart, path))
        return LProcessFailed;
    host = hostPart;
    LStringLong reply;
    LProcessResult r =
        LSocketSteps::HTTPGet(stop, process, url.c_str(), reply, kUpnpTextMax, kCommandMs);
    if (r == LProcessSuccess)
        description = reply.GetString();
    return r;
}

LProcessResult LUpnpSteps::MapPort(LStopTest stop, void *process, const LUpnpMapRequest &request,
                                   char *externalIP, size_t capacity, bool &refused,
                                   const char *ssdpAddress)
{
    externalIP[0] = 0;
    refused = false;
    LIPAddressWithPort group;
    if (request.externalPort < 1 || request.externalPort > 65535 ||
        !group.SetFromText(ssdpAddress, 1900))
        return LProcessFailed;
    // Searching from the SIP socket read the SIP traffic as answers and
    // dropped it; and as each datagram started the wait anew, a router that
    // stayed silent held the engine thread for as long as phones kept
    // sending.
    LUdpSocket own;
    if (!own.Bind(0))
        return LProcessFailed;
    int socket = own.GetHandle();
    // Strays may still reach this socket: answers without a usable LOCATION
    // are counted and logged once, not line by line.
    int unusable = 0;
    for (int search = 0; search < kSearches;) {
        if (stop(process))
            return LProcessStopped;
        sendto(socket, kSearch, strlen(kSearch), 0, group.GetSockAddr(),
               LIPAddressWithPort::GetSockAddrLength());
        search++;
        uint64_t sent = LMonotonicMs();
        for (;;) {
            int ready = -1;
            for (uint64_t waited = LMonotonicMs() - sent; waited < kSearchWaitMs && ready != 0;
                 waited = LMonotonicMs() - sent) {
                if (stop(process))
                    return LProcessStopped;
                uint64_t slice = std::min<uint64_t>(kSearchWaitMs - waited, LProcessPollMs);
                ready = LWaitReadable(&socket, 1, (uint32_t)slice);
            }
            if (ready != 0)
                break; // time-out: search again
            char answer[kUpnpTextMax + 1];
            ssize_t got = recv(socket, answer, kUpnpTextMax, MSG_DONTWAIT);
            if (got <= 0)
                continue;
            answer[got] = 0;
            std::string host, description;
            LProcessResult r = GetDeviceDescription(stop, process, answer, host, description);
            if (r == LProcessStopped)
                return r;
            if (r != LProcessSuccess) {
                unusable++;
                continue;
            }
            r = MapPortService(stop, process, host.c_str(), description.c_str(),
                               "WANIPConnection:1", request, externalIP, capacity, refused);
            uint32_t parsed = 0;
            if (r == LProcessSuccess && LIPParseDotted(externalIP, parsed))
                return r;
            if (r == LProcessStopped)
                return r;
            r = MapPortService(stop, process, host.c_str(), description.c_str(),
                               "WANPPPConnection:1", request, externalIP, capacity, refused);
            if (r != LProcessFailed)
                return r;
        }
    }
    if (unusable > 0)
        SIPLOGERRORF("uPNP: %d answers without a usable device description", unusable);
    return LProcessFailed;
}
