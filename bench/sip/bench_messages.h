// The two messages every parser in this benchmark reads: an INVITE with an
// SDP offer (about 800 bytes) and a REGISTER carrying digest credentials.
#pragma once

#include <string>

namespace bench
{
inline const std::string &InviteWithSdp()
{
    static const std::string sdp = "v=0\r\n"
                                   "o=100 8000 8000 IN IP4 192.168.1.20\r\n"
                                   "s=SIP Call\r\n"
                                   "c=IN IP4 192.168.1.20\r\n"
                                   "t=0 0\r\n"
                                   "m=audio 16384 RTP/AVP 0 8 3 101\r\n"
                                   "a=rtpmap:0 PCMU/8000\r\n"
                                   "a=rtpmap:8 PCMA/8000\r\n"
                                   "a=rtpmap:3 GSM/8000\r\n"
                                   "a=rtpmap:101 telephone-event/8000\r\n"
                                   "a=fmtp:101 0-15\r\n"
                                   "a=ptime:20\r\n"
                                   "a=sendrecv\r\n";
    static const std::string text =
        "INVITE sip:201@192.168.1.10 SIP/2.0\r\n"
        "Via: SIP/2.0/UDP 192.168.1.20:5060;branch=z9hG4bK-524287-1---8a7c5e3a1b;rport\r\n"
        "Max-Forwards: 70\r\n"
        "Contact: <sip:100@192.168.1.20:5060>\r\n"
        "To: <sip:201@192.168.1.10>\r\n"
        "From: \"Front Desk\" <sip:100@192.168.1.10>;tag=5f2c9a1e\r\n"
        "Call-ID: YTY0ZDJkNzQ1NzE2MTc4NGE4ZjA5YjU5MTY4NDJhNzM.\r\n"
        "CSeq: 1 INVITE\r\n"
        "Allow: INVITE, ACK, CANCEL, OPTIONS, BYE, REFER, NOTIFY, MESSAGE, SUBSCRIBE, INFO\r\n"
        "Content-Type: application/sdp\r\n"
        "Supported: replaces\r\n"
        "User-Agent: Desk Phone 4.2.1\r\n"
        "Content-Length: " +
        std::to_string(sdp.size()) + "\r\n\r\n" + sdp;
    return text;
}

inline const std::string &RegisterWithAuthorization()
{
    static const std::string text =
        "REGISTER sip:192.168.1.10 SIP/2.0\r\n"
        "Via: SIP/2.0/UDP 192.168.1.20:5060;branch=z9hG4bK-524287-1---4f1b2c3d;rport\r\n"
        "Max-Forwards: 70\r\n"
        "Contact: <sip:100@192.168.1.20:5060;rinstance=6a0b1c2d3e4f>;expires=3600\r\n"
        "To: <sip:100@192.168.1.10>\r\n"
        "From: <sip:100@192.168.1.10>;tag=9c8b7a65\r\n"
        "Call-ID: NWE4ZmM3YjYxZTA4MDk2ZDJiMjk0ZjQ3OTc2ZWM1MjU.\r\n"
        "CSeq: 2 REGISTER\r\n"
        "Expires: 3600\r\n"
        "Allow: INVITE, ACK, CANCEL, OPTIONS, BYE, REFER, NOTIFY, MESSAGE, SUBSCRIBE, INFO\r\n"
        "User-Agent: Desk Phone 4.2.1\r\n"
        "Authorization: Digest username=\"100\",realm=\"vela\",nonce=\"4a2f7e1c9b3d\","
        "uri=\"sip:192.168.1.10\",response=\"6629fae49393a05397450978507c4ef1\","
        "algorithm=MD5\r\n"
        "Content-Length: 0\r\n\r\n";
    return text;
}
} // namespace bench
