// A temporary settings tree (SettingsTest), a responder that keeps the answers instead of
// sending them, and REGISTER/INVITE texts for the registrar tests.
#pragma once

#include "callcontrol/digest.h"
#include "callcontrol/new_invite.h"
#include "callcontrol/new_request_responder.h"
#include "callcontrol/registry_map.h"
#include "callcontrol/request_guards.h"
#include "config/pbx_extension.h"
#include "config/pbx_external_line.h"
#include "config/settings_fixture.h"
#include "platform/md5.h"
#include "platform/tick.h"
#include "support/sip_parse.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

struct Answer {
    int status;
    std::string reason;
    std::string extra;
};

class CapturingResponder : public LNewRequestResponder
{
  public:
    void Respond(const LSipMessage &, int status, const char *reason, const char *extra) override
    {
        answers.push_back(Answer{status, reason, extra ? extra : ""});
    }
    bool IsOwnSipAddress(const LIPAddressWithPort &address) override
    {
        return own.IsSameAs(address);
    }
    // Takes every call unless told there is no call thread to take it.
    bool StartCall(const LSipMessage &, const LPBXCallStart &call) override
    {
        if (!acceptCalls)
            return false;
        started.push_back(call);
        return true;
    }
    // Status 0 when nothing was answered (a call taken by its thread).
    const Answer &Last() const
    {
        static const Answer none{0, "", ""};
        return answers.empty() ? none : answers.back();
    }

    std::vector<Answer> answers;
    std::vector<LPBXCallStart> started;
    bool acceptCalls = true;
    LIPAddressWithPort own{0x7f000001, 5060};
};

class RegistrarTest : public SettingsTest
{
  protected:
    static constexpr int64_t kNow = 1700000000;

    static LPBXExtension MakeExtension(const char *name, const char *password)
    {
        LPBXExtension ext;
        LPBXExtensionList().Open(ext, name);
        ext.SetPassword(password);
        return ext;
    }

    // A parsed request from source; headers are complete lines.
    static std::unique_ptr<LSipMessage> Request(const std::string &method, const std::string &uri,
                                                const std::string &headers,
                                                const char *source = "10.0.0.5:5060", int vias = 1)
    {
        std::string text = method + " " + uri + " SIP/2.0\r\n";
        for (int i = 0; i < vias; i++)
            text += "Via: SIP/2.0/UDP 10.0.0." + std::to_string(5 + i) + ";branch=z9hG4bK" +
                    std::to_string(i) + "\r\n";
        text += "Call-ID: c1\r\nCSeq: 1 " + method + "\r\n" + headers + "Content-Length: 0\r\n\r\n";
        auto message = vtest::ParseSip(text);
        LIPAddressWithPort from;
        from.SetFromText(source, 5060);
        message->SetSource(from);
        return message;
    }

    // The value of name="..." or name=... in a challenge line.
    static std::string ChallengeParm(const std::string &line, const std::string &name)
    {
        size_t at = line.find(name + "=");
        if (at == std::string::npos)
            return "";
        at += name.size() + 1;
        bool quoted = line[at] == '"';
        at += quoted;
        size_t end = line.find_first_of(quoted ? "\"" : ",\r", at);
        return line.substr(at, end - at);
    }

    static std::string Credentials(const char *user, const char *password, const char *method,
                                   const char *uri, const std::string &nonce,
                                   const char *realm = nullptr, const char *opaque = "")
    {
        char local[260], response[LMD5::HexSize];
        if (!realm)
            realm = LSipGetLocalRealm(local);
        LSipCreateAuthenticationResponse(user, realm, password, method, uri, nonce.c_str(),
                                         response);
        return std::string("Digest username=\"") + user + "\",realm=\"" + realm + "\",nonce=\"" +
               nonce + "\",uri=\"" + uri + "\",response=\"" + response + "\",opaque=\"" + opaque +
               "\",algorithm=MD5";
    }

    // Credentials answering a fresh challenge of account (without qop).
    std::string Answering(const char *account, const char *user, const char *password,
                          const char *method, const char *uri, int64_t now = kNow)
    {
        return Credentials(user, password, method, uri, guards.nonces.Issue(account, now));
    }

    CapturingResponder responder;
    LPBXRequestGuards guards;
};
