// A temporary settings tree for entity tests, with helpers to look at the
// files the entities leave behind.
#pragma once

#include "settings_fixture.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

using KeySet = std::set<std::string>;

// The record of key in list, opened (not created): T rec = OpenRecord(List(), key).
template <class T> T OpenRecord(const LSettingsListTemplate<T> &list, const char *key)
{
    T rec;
    EXPECT_TRUE(list.Open(rec, key)) << key;
    return rec;
}

class PBXTest : public SettingsTest
{
  public:
    // Every key a list iterator yields, as a set (directory order is free).
    template <class Iterator, class... Args> static KeySet Keys(Args &&...args)
    {
        KeySet keys;
        char name[LPathSize];
        for (Iterator it(args...); it; it.Next())
            keys.insert(it->GetPrimaryKey(name));
        return keys;
    }

  protected:
    std::string Lines() const { return shared + "/lines_"; }

    static std::string Lower(std::string s)
    {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](unsigned char c) { return static_cast<char>(tolower(c)); });
        return s;
    }

    // Whether the record file holds the line key=value, key in lower case.
    static bool FileHasLine(const std::string &path, const std::string &key,
                            const std::string &value)
    {
        return ReadFile(path).find(Lower(key) + "=" + value + "\r\n") != std::string::npos;
    }
};
