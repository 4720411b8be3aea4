// Header-name keys. A stored field keeps the name exactly as received; the
// keys only say which names a lookup accepts (compared without case).
#pragma once

struct LSipHeaderField {
    const char *name;
};

// A full name and its one-letter compact form (RFC 3261 section 7.3.3).
struct LSipHeaderFieldWithCompact {
    const char *name;
    const char *compact = nullptr;

    constexpr LSipHeaderFieldWithCompact(const char *fullName, const char *compactName)
        : name(fullName), compact(compactName)
    {
    }
    constexpr LSipHeaderFieldWithCompact(LSipHeaderField field) : name(field.name) {}
};

namespace LSipFields
{
inline constexpr LSipHeaderFieldWithCompact Via{"Via", "v"};
inline constexpr LSipHeaderFieldWithCompact To{"To", "t"};
inline constexpr LSipHeaderFieldWithCompact From{"From", "f"};
inline constexpr LSipHeaderFieldWithCompact CallID{"Call-ID", "i"};
inline constexpr LSipHeaderFieldWithCompact Contact{"Contact", "m"};
inline constexpr LSipHeaderFieldWithCompact ContentType{"Content-Type", "c"};
inline constexpr LSipHeaderFieldWithCompact ContentLength{"Content-Length", "l"};
inline constexpr LSipHeaderFieldWithCompact ReferTo{"Refer-To", "r"};

inline constexpr LSipHeaderField CSeq{"CSeq"};
inline constexpr LSipHeaderField MaxForwards{"Max-Forwards"};
inline constexpr LSipHeaderField Expires{"Expires"};
inline constexpr LSipHeaderField RecordRoute{"Record-Route"};
inline constexpr LSipHeaderField Route{"Route"};
inline constexpr LSipHeaderField Replaces{"Replaces"};
inline constexpr LSipHeaderField UserAgent{"User-Agent"};
inline constexpr LSipHeaderField Authorization{"Authorization"};
inline constexpr LSipHeaderField ProxyAuthorization{"Proxy-Authorization"};
inline constexpr LSipHeaderField WWWAuthenticate{"WWW-Authenticate"};
inline constexpr LSipHeaderField ProxyAuthenticate{"Proxy-Authenticate"};
inline constexpr LSipHeaderField Event{"Event"};
inline constexpr LSipHeaderField AnswerMode{"Answer-Mode"};
inline constexpr LSipHeaderField PrivAnswerMode{"Priv-Answer-Mode"};
} // namespace LSipFields
