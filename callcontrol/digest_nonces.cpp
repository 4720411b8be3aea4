#include "callcontrol/digest_nonces.h"

#include "platform/md5.h"
#include "platform/random.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
// Nonce text: issue time, random salt (8 hex digits each) and 16 hex digits
// of the keyed MD5.
constexpr size_t kNonceLength = 32;
constexpr size_t kMacLength = 16;

bool ReadHex32(const char *text, size_t digits, uint32_t &out)
{
    out = 0;
    for (size_t i = 0; i < digits; i++) {
        char c = text[i];
        if (!isxdigit((unsigned char)c))
            return false;
        out = out * 16 + (uint32_t)(isdigit((unsigned char)c) ? c - '0' : (tolower(c) - 'a' + 10));
    }
    return true;
}
} // namespace

LDigestNonces::LDigestNonces()
{
    LRandomLetters(m_Secret, 32);
}

std::string LDigestNonces::Mac(uint32_t issued, uint32_t salt, const char *account) const
{
    LMD5 md5;
    char head[64];
    snprintf(head, sizeof(head), "%s:%08x:%08x:", m_Secret, issued, salt);
    md5.Update(head);
    // Account names compare without case, so the key does too.
    for (const char *p = account; *p; p++) {
        char c = (char)tolower((unsigned char)*p);
        md5.Update(&c, 1);
    }
    char hex[LMD5::HexSize];
    md5.FinalHex(hex);
    return std::string(hex, kMacLength);
}

std::string LDigestNonces::Issue(const char *account, int64_t now)
{
    uint32_t issued = (uint32_t)now, salt = LRandom32();
    char text[20];
    snprintf(text, sizeof(text), "%08x%08x", issued, salt);
    return text + Mac(issued, salt, account);
}

bool LDigestNonces::IsValid(const char *nonce, const char *account, int64_t now) const
{
    uint32_t issued = 0, salt = 0;
    if (strlen(nonce) != kNonceLength || !ReadHex32(nonce, 8, issued) ||
        !ReadHex32(nonce + 8, 8, salt))
        return false;
    int64_t age = (int64_t)(uint32_t)((uint32_t)now - issued);
    if (age > kLifetimeSeconds)
        return false;
    return Mac(issued, salt, account) == nonce + 16;
}

bool LDigestNonces::Consume(const char *nonce, bool qop, const char *nc,
                            const LIPAddressWithPort &source, int64_t now)
{
    uint32_t count = 0;
    if (qop && (strlen(nc) != 8 || !ReadHex32(nc, 8, count) || count == 0))
        return false;
    LLockScope hold(m_Lock);
    Prune(now);
    auto found = m_Used.find(nonce);
    if (found == m_Used.end()) {
        if (m_Used.size() >= kMaxUsed)
            return false;
        uint32_t issued = 0;
        ReadHex32(nonce, 8, issued);
        Used &used = m_Used[nonce];
        // Kept for the nonce's own lifetime, counted from its issue.
        used.issued = now - (int64_t)(uint32_t)((uint32_t)now - issued);
        used.lastNc = count;
        used.source = source;
        return true;
    }
    Used &used = found->second;
    if (qop) {
        // RFC 7616 section 3.4: a count not above the last one is a replay.
        if (count <= used.lastNc)
            return false;
        used.lastNc = count;
        return true;
    }
    return used.source.IsSameAs(source);
}

void LDigestNonces::Prune(int64_t now)
{
    if (now - m_LastPrune < 10)
        return;
    m_LastPrune = now;
    for (auto it = m_Used.begin(); it != m_Used.end();)
        it = now - it->second.issued > kLifetimeSeconds ? m_Used.erase(it) : std::next(it);
}

size_t LDigestNonces::GetUsedCount()
{
    LLockScope hold(m_Lock);
    return m_Used.size();
}
