// The ordered name/value table that holds URI parameters, URI headers and the
// field parameters of a name-address. It behaves like the platform's hash
// table: SetParm replaces an existing name (compared with case) or inserts at
// the front, so iteration from the front yields the newest pair first.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

class LSipParameters
{
  public:
    void SetParm(const char *name, const char *value);
    const char *GetParm(const char *name, const char *defaultValue) const;
    bool TestExists(const char *name) const { return Find(name) != nullptr; }
    bool DeleteParm(const char *name);
    bool IsEmpty() const { return m_Pairs.empty(); }
    void Clear() { m_Pairs.clear(); }

    // Position 0 is the front (the newest pair).
    size_t GetCount() const { return m_Pairs.size(); }
    const char *GetNameAt(size_t position) const { return At(position).first.c_str(); }
    const char *GetValueAt(size_t position) const { return At(position).second.c_str(); }

    // "name=value&name=value", both sides percent-coded (the URI header part).
    void LoadHTTPString(const char *text);
    void SaveHTTPString(std::string &out) const;

  private:
    using Pair = std::pair<std::string, std::string>;
    const Pair &At(size_t position) const { return m_Pairs[m_Pairs.size() - 1 - position]; }
    const Pair *Find(const char *name) const;

    // Stored oldest first so that inserting at the front is an append.
    std::vector<Pair> m_Pairs;
};

// Reads ";"-separated parameters (name[=value];...) from text, each side
// percent-decoded and cut at 259 characters; pairs with an empty name are
// skipped, a repeated name keeps its last value.
void LSipParseParameters(LSipParameters &table, const char *text);
