#include "sip/sip_engine.h"

#include "platform/log.h"
#include "platform/tick.h"
#include "sip/sip_graveyard.h"
#include "sip/sip_udp_batch.h"
#include "sip/upnp.h"

#include <algorithm>
#include <cstring>
#include <unistd.h>

namespace
{
constexpr uint32_t kNoNetworkWaitMs = 20000;
constexpr uint32_t kMaxLoopWaitMs = 20000;
constexpr uint32_t kHostCheckMs = 1000;
constexpr uint32_t kWaitSliceMs = 200;
constexpr uint32_t kNatCheckMs = 600000;
constexpr uint32_t kKeepAliveMs = 49000;
constexpr uint32_t kKeepAliveSlackMs = 1000;
constexpr uint32_t kLongAgoMs = 3600000;
constexpr int kStunPort = 3478;
constexpr int kLastPort = 65534;

const char *HostName(char *out, size_t capacity)
{
    if (gethostname(out, capacity) != 0)
        out[0] = 0;
    out[capacity - 1] = 0;
    return out;
}

const char *ComputerName()
{
    static char name[kSipLongText];
    return HostName(name, sizeof(name));
}
} // namespace

struct LSipEngine::LoopState {
    char lastLoggedIP[kSipLongText] = {0};
    int lastLoggedPort = 0;
    char localHost[kSipLongText] = {0};
    bool rebindNeeded = true;
    bool justBound = false;
    bool natPending = false;   // a check waits for a STUN server's name
    bool addressKnown = false; // a check has found the public address
    bool readySignalled = false;
    uint32_t lastNatCheck = 0;
    uint32_t lastKeepAlive = 0;
    bool hostChecked = false;
    uint32_t lastHostCheck = 0;
};

LSipEngine::LSipEngine(LSipGraveyard &graveyard, const LClock &clock)
    : m_Graveyard(graveyard), m_Clock(clock), m_Identifiers((int)getpid(), ComputerName())
{
}

LSipEngine::~LSipEngine()
{
    StopThreadNow();
}

void LSipEngine::Start()
{
    StopThreadNow();
    {
        LLockScope hold(m_AddressLock);
        m_PublicSipPort = 0;
    }
    SetReady(false);
    LThread::Start(StartNormal);
}

void LSipEngine::Stop()
{
    StopThreadNow();
    SetReady(false);
}

void LSipEngine::Restart()
{
    m_RestartRequested.store(true);
    m_Wake.Signal();
}

void LSipEngine::LogStatus()
{
    if (!m_Running.load())
        return;
    {
        LLockScope hold(m_AddressLock);
        SIPLOGF("SIP Private IP is: %s:%d", m_PrivateIP, m_PrivateSipPort);
        SIPLOGF("SIP Public IP is: %s:%d", m_PublicIP, m_PublicSipPort);
    }
    if (LSipNewMessageHandler *handler = m_NewHandler.load())
        handler->LogAddress();
}

void LSipEngine::ThreadFunction()
{
    m_Running.store(true);
    m_Graveyard.StartGraveyard(LThread::StartBelowNormal);
    LoopState state;
    uint32_t now = m_Clock.Tick();
    state.lastNatCheck = now - kLongAgoMs;
    state.lastKeepAlive = now - kLongAgoMs;
    // The wake signal stays readable until it is reset, so only a pass after
    // a wait that something other than a datagram ended needs to reset it;
    // under load most passes follow a datagram, and the read would be wasted.
    bool resetWake = true;
    while (!IsToStop()) {
        // Set by Restart or a new line: either is served by this pass.
        if (resetWake)
            m_Wake.Reset();
        resetWake = true;
        if (!PrepareSocket(state))
            continue;
        if (IsToStop())
            break;
        CheckPublicAddress(state);
        // The lines' Contact names the public address: none before it is known.
        uint32_t wait = state.addressKnown ? m_Lines.TimerPass(kMaxLoopWaitMs) : kMaxLoopWaitMs;
        if (!state.readySignalled) {
            SetReady(true);
            state.readySignalled = true;
        }
        wait = std::min(wait, KeepAliveWait(state));
        if (WaitReadable(wait)) {
            DrainSocket();
            resetWake = false;
        }
    }
    // The socket is still bound here, so the providers learn that the
    // bindings are gone.
    if (m_PrivateSipPort)
        m_Lines.UnregisterAllOnStop();
    m_Graveyard.StopGraveyard();
    CloseSocket();
    m_Running.store(false);
}

void LSipEngine::CloseSocket()
{
    m_SocketGate.RequestStop();
    m_SocketGate.WaitIdle();
    m_Socket.Close();
}

// Steps 1 to 3 of a pass: watch the local address, honour a restart and
// (re)bind. False when the pass has to start again after a wait.
bool LSipEngine::PrepareSocket(LoopState &state)
{
    // The address comes from a host-name look-up (files, maybe DNS); under
    // load a pass runs for every datagram, so it is looked up at most once
    // a second.
    uint32_t now = m_Clock.Tick();
    if (!state.hostChecked || LTickInterval(now, state.lastHostCheck) >= kHostCheckMs) {
        char host[kSipLongText];
        if (!LIPGetLocalHostIPPublic(host, sizeof(host)) || !host[0]) {
            state.hostChecked = false;
            SetReady(true);
            Wait(kNoNetworkWaitMs);
            return false;
        }
        state.hostChecked = true;
        state.lastHostCheck = now;
        if (strcmp(host, state.localHost) != 0) {
            LSipCopy(state.localHost, host);
            state.rebindNeeded = true;
        }
    }
    if (m_RestartRequested.exchange(false))
        state.rebindNeeded = true;
    if (!state.rebindNeeded)
        return true;
    if (Rebind(state))
        return true;
    SetReady(true);
    Wait(kNoNetworkWaitMs);
    return false;
}

bool LSipEngine::Rebind(LoopState &state)
{
    SetReady(false);
    m_Wake.Reset();
    state.readySignalled = false;
    int port = GetSettingInt(LSipKeys::Port.key, LSipKeys::Port.def);
    if (port < 1 || port > kLastPort)
        port = kDefaultPort;
    CloseSocket();
    LSipBindResult result = m_Socket.Bind(port);
    while (result == LSipBindResult::PortInUse && port < kLastPort)
        result = m_Socket.Bind(++port);
    if (result == LSipBindResult::Bound)
        m_SocketGate.Reopen();
    else {
        LLockScope hold(m_AddressLock);
        m_PrivateSipPort = 0;
        SIPLOGERRORF("Unable to bind the SIP port %d", port);
        return false;
    }
    state.rebindNeeded = false;
    state.justBound = true;
    uint32_t privateAddress;
    char privateIP[kSipLongText];
    if (GetLocalHostPrivateIP(privateAddress))
        LIPAddressWithPort(privateAddress, 0).ToHostString(privateIP);
    else
        LSipCopy(privateIP, state.localHost);
    LLockScope hold(m_AddressLock);
    LSipCopy(m_PrivateIP, privateIP);
    m_PrivateSipPort = port;
    if (strcmp(privateIP, state.lastLoggedIP) != 0 || port != state.lastLoggedPort) {
        LSipCopy(state.lastLoggedIP, privateIP);
        state.lastLoggedPort = port;
        SIPLOGF("SIP Private IP is: %s:%d", privateIP, port);
    }
    return true;
}

// Runs on the receive thread: STUN answers arrive on the SIP socket itself,
// and the SIP datagrams read meanwhile are kept in held, for the caller to
// handle once the address is known. A UPnP search goes out from a socket of
// its own; SIP waits in the SIP socket's buffer until it ends.
void LSipEngine::ResolvePublicAddress(char *publicIP, int &publicPort, HeldDatagrams &held)
{
    LSipNatSettings settings;
    settings.isStatic = GetSettingBool(LSipKeys::Static.key, LSipKeys::Static.def);
    GetSettingString(LSipKeys::StaticPublicIp.key, settings.staticPublicIP);
    settings.stun = GetSettingBool(LSipKeys::Stun.key, LSipKeys::Stun.def);
    settings.active = GetSettingBool(LSipKeys::Active.key, LSipKeys::Active.def);
    settings.upnp = GetSettingBool(LSipKeys::Upnp.key, LSipKeys::Upnp.def);
    GetSettingString(LSipKeys::StunServer1.key, settings.stunServer1);
    GetSettingString(LSipKeys::StunServer2.key, settings.stunServer2);
    if (m_Settings.setBool) {
        auto setBool = m_Settings.setBool;
        settings.writeBool = [setBool](const char *key, bool value) {
            setBool(LSipKeys::kSection, key, value);
        };
    }
    LSipNatSocket local;
    char privateIP[kSipLongText];
    {
        LLockScope hold(m_AddressLock);
        LSipCopy(privateIP, m_PrivateIP);
        local.localPort = m_PrivateSipPort;
    }
    local.localIP = privateIP;
    local.socket = m_Socket.GetHandle();
    local.portStride = 1;
    local.staticPublicBase =
        GetSettingInt(LSipKeys::StaticSipPort.key, LSipKeys::StaticSipPort.def);
    local.localBase = GetSettingInt(LSipKeys::Port.key, LSipKeys::Port.def);
    LUpnpPortMapper upnp(LStopTestOf<LSipEngine>, this);
    LSipNatContext context{m_Stun, m_Clock, &upnp, &m_Names};
    context.strays = [&held](const char *bytes, size_t length, const LIPAddressWithPort &from) {
        // A flood cannot make this grow without bound; its sender repeats.
        if (held.size() < kMaxHeldDatagrams)
            held.emplace_back(std::string(bytes, length), from);
    };
    LSipNatAddress found;
    ProcessSipNat(*this, context, settings, local, found);
    LSipCopyText(publicIP, kSipLongText, found.publicIP);
    publicPort = found.publicPort;
}

void LSipEngine::CheckPublicAddress(LoopState &state)
{
    uint32_t now = m_Clock.Tick();
    if (!state.justBound && !state.natPending &&
        LTickInterval(now, state.lastNatCheck) <= kNatCheckMs)
        return;
    // The answer of the look-up wakes this thread, and the check runs then.
    state.natPending = StunNamesPending();
    if (state.natPending)
        return;
    state.justBound = false;
    state.lastNatCheck = now;
    char publicIP[kSipLongText];
    int publicPort;
    HeldDatagrams held;
    ResolvePublicAddress(publicIP, publicPort, held);
    if (IsToStop())
        return;
    state.addressKnown = true;
    bool changed;
    {
        LLockScope hold(m_AddressLock);
        changed = strcmp(m_PublicIP, publicIP) != 0 || m_PublicSipPort != publicPort;
        LSipCopy(m_PublicIP, publicIP);
        m_PublicSipPort = publicPort;
    }
    if (changed) {
        SIPLOGF("SIP Public IP is: %s:%d", publicIP, publicPort);
        if (LSipNewMessageHandler *handler = m_NewHandler.load())
            handler->LogAddress();
        // Every line's Contact names the old address: register all anew.
        m_Lines.MarkAllDue();
    }
    for (const auto &[bytes, from] : held) {
        if (bytes.empty())
            continue;
        if (m_Settings.trace)
            m_Settings.trace(false, from, bytes.data(), bytes.size());
        ReceivePacket(bytes.data(), bytes.size(), from);
    }
}

// A STUN server's name not looked up yet would count as a failed server.
bool LSipEngine::StunNamesPending()
{
    if (!GetSettingBool(LSipKeys::Stun.key, LSipKeys::Stun.def))
        return false;
    char server[kSipLongText];
    LIPAddressWithPort address;
    for (const char *key : {LSipKeys::StunServer1.key, LSipKeys::StunServer2.key})
        if (GetSettingString(key, server)[0] &&
            m_Names.Lookup(server, kStunPort, address) == LNameLookup::Pending)
            return true;
    return false;
}

// The router's mapping of the SIP port is kept open by a 4-byte datagram to
// the STUN server every 49 s. The time is noted also when nothing is sent
// (keep-alive off or no server), or the loop would spin on a due timer.
uint32_t LSipEngine::KeepAliveWait(LoopState &state)
{
    uint32_t since = m_Clock.Since(state.lastKeepAlive);
    uint32_t remaining = since >= kKeepAliveMs ? 0 : kKeepAliveMs - since;
    if (remaining > kKeepAliveSlackMs)
        return remaining;
    state.lastKeepAlive = m_Clock.Tick();
    char server[kSipLongText];
    const char *key = m_Stun.backup.load() ? LSipKeys::StunServer2.key : LSipKeys::StunServer1.key;
    if (!GetSettingBool(LSipKeys::Stun.key, LSipKeys::Stun.def) ||
        !GetSettingString(key, server)[0])
        return kKeepAliveMs;
    LIPAddressWithPort address;
    if (m_Names.Lookup(server, kStunPort, address) == LNameLookup::Found) {
        static const char zeros[4] = {0, 0, 0, 0};
        m_Socket.SendTo(address, zeros, sizeof(zeros));
    }
    return kKeepAliveMs;
}

// True when the socket became readable; a stop request ends the wait at
// once (and is looked at between slices besides).
bool LSipEngine::WaitReadable(uint32_t ms)
{
    uint64_t end = LMonotonicMs() + ms;
    int fds[3] = {m_Socket.GetHandle(), m_Wake.GetHandle(), GetStopSignal().GetHandle()};
    while (!IsToStop()) {
        uint64_t now = LMonotonicMs();
        if (now >= end)
            return false;
        uint32_t slice = (uint32_t)std::min<uint64_t>(end - now, kWaitSliceMs);
        int ready = LWaitReadable(fds, 3, slice);
        if (ready == 0)
            return true;
        if (ready > 0)
            return false; // a restart (the next pass rebinds) or a stop
    }
    return false;
}

static_assert(LSipDatagramBatch::kCapacity == LSipEngine::kDatagramCapacity);

// A batch that comes back short has emptied the socket: the loop goes back
// to its wait without a read that would only find nothing.
void LSipEngine::DrainSocket()
{
    LSipDatagramBatch batch;
    while (!IsToStop()) {
        int count = batch.Receive(m_Socket.GetHandle());
        for (int i = 0; i < count && !IsToStop(); i++) {
            size_t got = batch.Length(i);
            if (got > 0 && m_Settings.trace)
                m_Settings.trace(false, batch.From(i), batch.Bytes(i), got);
            if (got > 0)
                ReceivePacket(batch.Bytes(i), got, batch.From(i));
        }
        if (count < LSipDatagramBatch::kCount)
            return;
    }
}

void LSipEngine::GetPublicIP(char *out, size_t capacity)
{
    LLockScope hold(m_AddressLock);
    LSipCopyText(out, capacity, m_PublicIP);
}

int LSipEngine::GetPublicSipPort()
{
    LLockScope hold(m_AddressLock);
    return m_PublicSipPort;
}

void LSipEngine::GetPrivateIP(char *out, size_t capacity)
{
    LLockScope hold(m_AddressLock);
    LSipCopyText(out, capacity, m_PrivateIP);
}

int LSipEngine::GetPrivateSipPort()
{
    LLockScope hold(m_AddressLock);
    return m_PrivateSipPort;
}

int LSipEngine::GetSettingInt(const char *key, int def)
{
    return m_Settings.getInt ? m_Settings.getInt(LSipKeys::kSection, key, def) : def;
}

bool LSipEngine::GetSettingBool(const char *key, bool def)
{
    return m_Settings.getBool ? m_Settings.getBool(LSipKeys::kSection, key, def) : def;
}

// The STUN servers default to none: the keep-alive goes out only to a server
// someone configured.
const char *LSipEngine::GetSettingString(const char *key, char *out)
{
    out[0] = 0;
    return m_Settings.getString ? m_Settings.getString(LSipKeys::kSection, key, "", out) : out;
}

void LSipEngine::RegisterProxyRegister(const char *server, const char *proxy, const char *aor,
                                       const char *lineID, const char *authID, const char *password,
                                       int q)
{
    m_Lines.Register(server, proxy, aor, lineID, authID, password, q);
    m_Wake.Signal(); // a new line is due now, not after the current wait
}

void LSipEngine::UnregisterProxyRegister(const char *server, const char *proxy, const char *aor,
                                         const char *lineID, const char *authID,
                                         const char *password)
{
    m_Lines.Unregister(server, proxy, aor, lineID, authID, password);
}

void LSipEngine::SetProxyRegisters(const std::vector<LSipLineRegistration> &lines)
{
    m_Lines.ReplaceAll(lines);
    m_Wake.Signal();
}

LNameLookup LSipEngine::ResolveServer(const char *text, int defaultPort, LIPAddressWithPort &to)
{
    return m_Names.Lookup(text, defaultPort, to);
}

void LSipEngine::SendRegisterPacket(const LIPAddressWithPort &to, const std::string &text)
{
    SendPacketUDP(to, text);
}

void LSipEngine::SendRegisterKeepAlive(const LIPAddressWithPort &to)
{
    static const char zeros[4] = {0, 0, 0, 0};
    m_Socket.SendTo(to, zeros, sizeof(zeros));
}

void LSipEngine::GetRegisterContact(char *ip, size_t capacity, int &port)
{
    LLockScope hold(m_AddressLock);
    LSipCopyText(ip, capacity, m_PublicIP);
    port = m_PublicSipPort;
}
