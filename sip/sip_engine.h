// The single SIP endpoint of the process: one UDP socket, the receive thread
// that parses every datagram and hands it to its first taker (a live dialog,
// the answered cache, the handlers call control registered), the response
// sender and the identifier makers.
#pragma once

#include "platform/clock.h"
#include "platform/ipaddress.h"
#include "platform/lock.h"
#include "platform/signal.h"
#include "platform/sip_setting_keys.h"
#include "platform/stop_gate.h"
#include "platform/thread.h"
#include "sip/sip_answered_cache.h"
#include "sip/sip_handlers.h"
#include "sip/sip_line_register.h"
#include "sip/sip_nat.h"
#include "sip/sip_udp_socket.h"
#include "sip/sipidentifiers.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class LSipGraveyard;

constexpr uint32_t kSipReadyWaitMs = 10000;

class LSipEngine : public LThread, public LSipPacketSender, private LSipLineRegisterHost
{
  public:
    using LSipProxyRegisterItem = ::LSipProxyRegisterItem;
    static constexpr int kDefaultPort = LSipKeys::Port.def;
    static constexpr size_t kDatagramCapacity = 4096; // at most 4095 bytes are read

    // The engine runs graveyard for as long as its loop runs.
    LSipEngine(LSipGraveyard &graveyard, const LClock &clock);
    ~LSipEngine() override;

    // Stops a running loop, clears the public port and starts anew.
    void Start();
    void Stop();
    // The loop rebinds the socket on its next pass (port or lines changed).
    void Restart();
    void LogStatus();
    bool IsEngineRunning() const { return m_Running.load(); }
    LSignalObject &GetReadySignal() { return m_Ready; }

    // Installed by the layers above before Start; null restores the default.
    void SetSettings(const LSipEngineSettings &settings) { m_Settings = settings; }
    void SetNewMessageHandler(LSipNewMessageHandler *handler) { m_NewHandler.store(handler); }
    void SetSubscribeHandler(LSipSubscribeHandler *handler) { m_SubscribeHandler.store(handler); }

    // The address to advertise (copies, taken under the address lock).
    void GetPublicIP(char *out, size_t capacity);
    int GetPublicSipPort();
    void GetPrivateIP(char *out, size_t capacity);
    int GetPrivateSipPort();

    // Waits up to 10000 ms for a starting engine to be ready (not for a
    // stopped one), then lists the dialog (newest first).
    void RegisterCall(LSipDialogTaker *call);
    void UnregisterCall(const LSipDialogTaker *call);

    void SendPacketUDP(const LIPAddressWithPort &to, const std::string &text) override;
    // Composes the response to request, sends it to the request's source and
    // caches it. Every argument after reason may be null or false.
    void SendResponse(const LSipMessage &request, int status, const char *reason,
                      const char *toTag = nullptr, const char *contact = nullptr,
                      const char *contentType = nullptr, const char *content = nullptr,
                      bool allow = false, const char *extraHeaders = nullptr);
    void AddAnsweredMessage(const LSipMessage &answered, const LIPAddressWithPort &address,
                            std::string text);
    bool HandleAnsweredMessage(const LSipMessage &message);
    LSipAnsweredCache &GetAnsweredCache() { return m_Answered; }

    void CreateNewBranchID(char *out, size_t capacity) override;
    void CreateNewLocalTag(char *out, size_t capacity) override;
    void CreateNewCallId(char *out, size_t capacity) override;

    // External lines registered with their providers. Identical requests
    // are counted, not repeated; nothing is sent until the engine runs.
    void RegisterProxyRegister(const char *server, const char *proxy, const char *aor,
                               const char *lineID, const char *authID, const char *password, int q);
    void UnregisterProxyRegister(const char *server, const char *proxy, const char *aor,
                                 const char *lineID, const char *authID, const char *password);
    // The whole list at once, after the lines were edited (see ReplaceAll).
    void SetProxyRegisters(const std::vector<LSipLineRegistration> &lines);
    LSipLineStatusSource &GetLineStatusSource() { return m_Lines; }
    // The STUN transaction counter and backup flag, shared with the RTP
    // sockets' resolutions.
    LStunState &GetStunState() { return m_Stun; }

    // Parses one datagram and dispatches it (the receive thread's work);
    // dropped once the engine has closed its socket.
    void ReceivePacket(const char *bytes, size_t length, const LIPAddressWithPort &from);
    void HandleNewMessage(LPtr<LSipMessage> &message);

  protected:
    void ThreadFunction() override;

  private:
    void SetReady(bool ready);
    struct LoopState;
    bool PrepareSocket(LoopState &state);
    bool Rebind(LoopState &state);
    void CheckPublicAddress(LoopState &state);
    using HeldDatagrams = std::vector<std::pair<std::string, LIPAddressWithPort>>;
    static constexpr size_t kMaxHeldDatagrams = 256;
    void ResolvePublicAddress(char *publicIP, int &publicPort, HeldDatagrams &held);
    bool StunNamesPending();
    uint32_t KeepAliveWait(LoopState &state);
    bool WaitReadable(uint32_t ms);
    void DrainSocket();
    void CloseSocket();
    bool OfferToCalls(LPtr<LSipMessage> &message);
    // The dialogs registered under callId, newest first (call-list lock held).
    const std::vector<LSipDialogTaker *> *FindCalls(const char *callId) const;
    void DispatchRequest(LPtr<LSipMessage> &message);
    bool OfferReplaces(LPtr<LSipMessage> &message, const char *replaces);
    int GetSettingInt(const char *key, int def);
    bool GetSettingBool(const char *key, bool def);
    const char *GetSettingString(const char *key, char *out);
    void SendRegisterPacket(const LIPAddressWithPort &to, const std::string &text) override;
    void SendRegisterKeepAlive(const LIPAddressWithPort &to) override;
    LNameLookup ResolveServer(const char *text, int defaultPort, LIPAddressWithPort &to) override;
    void GetRegisterContact(char *ip, size_t capacity, int &port) override;

    LSipGraveyard &m_Graveyard;
    const LClock &m_Clock;
    std::atomic<bool> m_Running{false};
    std::atomic<bool> m_RestartRequested{false};
    LIPSocketUDP m_Socket;
    // Every use of the socket from outside the receive loop's own steps (a
    // send from any thread, the dispatch of a datagram) holds a pass. Closing
    // or rebinding closes the gate and waits for them, so no send reaches a
    // closed or reused descriptor and nothing is dispatched once the engine
    // has stopped; a bound socket opens it again.
    LStopGate m_SocketGate;
    LSignalObject m_Ready;
    // Mirrors m_Ready, so that registering a dialog on a running engine
    // costs no wait on the signal.
    std::atomic<bool> m_ReadyUp{false};
    LSignalObject m_Wake; // ends the socket wait early (Restart)
    LLockObject m_AddressLock;
    char m_PublicIP[kSipLongText] = {0};
    int m_PublicSipPort = 0;
    char m_PrivateIP[kSipLongText] = {0};
    int m_PrivateSipPort = 0;
    LSipIdentifierMaker m_Identifiers;
    LLockObject m_CallListLock;
    // Live dialogs by Call-ID, each bucket newest first: a message is offered
    // only to the dialogs of its own Call-ID, in registration order.
    // Looked up by a message's Call-ID text without a copy into a string.
    struct LCallIdHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const
        {
            return std::hash<std::string_view>{}(text);
        }
    };
    std::unordered_map<std::string, std::vector<LSipDialogTaker *>, LCallIdHash, std::equal_to<>>
        m_Calls;
    LSipAnsweredCache m_Answered{m_Clock};
    LSipEngineSettings m_Settings;
    std::atomic<LSipNewMessageHandler *> m_NewHandler{nullptr};
    std::atomic<LSipSubscribeHandler *> m_SubscribeHandler{nullptr};
    // Registrars' and the STUN keep-alive's names, looked up without
    // holding up this thread.
    LNameCache m_Names{m_Clock, [this] { m_Wake.Signal(); }};
    LSipLineRegistrations m_Lines{*this, m_Clock};
    LStunState m_Stun;
};
