// A UPnP Internet Gateway Device client: SSDP search, device description,
// control link and the SOAP commands that map one port on the router.
#pragma once

#include "platform/socket.h"
#include "sip/sip_nat.h"

#include <cstddef>
#include <string>

constexpr int kUpnpTextMax = 8191; // SSDP answer and device description

// Where a service of the device is controlled: "host[:port]" and the
// control path from the description.
struct LUPNPNATControlLink {
    LUPNPNATControlLink(const char *host, const char *service, const char *description);
    bool IsValid() const { return path[0] != 0; }
    char host[260] = {0};
    char service[64] = {0};
    char path[260] = {0};
};

// The description URL of an SSDP answer: "LOCATION:" is matched in any case
// but the URL keeps its own (device paths are case-sensitive). False when
// the header is missing or empty.
bool LUpnpFindLocation(const char *answer, std::string &url);

// The HTTP request of one SOAP action (SOAP 1.1, one-line envelope).
std::string LUpnpSoapRequest(const LUPNPNATControlLink &link, const char *action,
                             const char *arguments);

// The text after startMark up to endMark (at most outSize - 1 characters);
// false, with out emptied, when startMark is missing.
bool FindTextField(const char *text, const char *startMark, const char *endMark, char *out,
                   size_t outSize);

struct LUpnpMapRequest {
    const char *internalIP;
    int internalPort;
    int externalPort;
    bool udp;
};

namespace LUpnpSteps
{
LProcessResult SendCommand(LStopTest stop, void *process, const LUPNPNATControlLink &link,
                           const char *action, const char *arguments, std::string &reply,
                           uint32_t ms);
LProcessResult MapPortService(LStopTest stop, void *process, const char *host,
                              const char *description, const char *service,
                              const LUpnpMapRequest &request, char *externalIP, size_t capacity,
                              bool &refused);
LProcessResult GetDeviceDescription(LStopTest stop, void *process, const char *answer,
                                    std::string &host, std::string &description);
// The search goes out from a socket of its own, so that the traffic of the
// socket being mapped is neither read nor dropped meanwhile (the mapping
// names its internal port in the request).
LProcessResult MapPort(LStopTest stop, void *process, const LUpnpMapRequest &request,
                       char *externalIP, size_t capacity, bool &refused,
                       const char *ssdpAddress = "239.255.255.250:1900");
} // namespace LUpnpSteps

template <class P>
LProcessResult ProcessUPNPMapPort(P &process, const LUpnpMapRequest &request, char *externalIP,
                                  size_t capacity, bool &refused)
{
    return LUpnpSteps::MapPort(LStopTestOf<P>, &process, request, externalIP, capacity, refused);
}

// The NAT resolution's UPnP method (UDP mappings); stop is asked during
// every wait.
class LUpnpPortMapper : public LSipNatPortMapper
{
  public:
    LUpnpPortMapper(LStopTest stop, void *process) : m_Stop(stop), m_Process(process) {}
    LProcessResult MapPort(const char *internalIP, int internalPort, char *externalIP,
                           size_t capacity, int externalPort, bool &refused) override
    {
        LUpnpMapRequest request{internalIP, internalPort, externalPort, true};
        return LUpnpSteps::MapPort(m_Stop, m_Process, request, externalIP, capacity, refused);
    }

  private:
    LStopTest m_Stop;
    void *m_Process;
};
