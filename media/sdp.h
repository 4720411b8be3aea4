// SDP text model (RFC 4566 bodies): an ordered list of "key=value" lines.
// Nothing is validated here; the decoder and the writers give lines meaning.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class LSDP
{
  public:
    class LSDPItem
    {
      public:
        LSDPItem() = default;
        LSDPItem(std::string_view key, std::string_view value);

        const std::string &GetKey() const { return key_; }
        const std::string &GetValue() const { return value_; }
        // Cut at the field limit, like every SDP text.
        void SetValue(std::string_view value);

      private:
        std::string key_;
        std::string value_;
    };

    LSDP() = default;
    explicit LSDP(std::string_view text) { Load(text); }

    // Replaces the list with the lines of text. Any byte below 33 between
    // lines counts as white space; a NUL byte ends the text.
    void Load(std::string_view text);
    // Writes every item as "key=value" CR LF, in list order.
    void Save(std::string &out) const;
    void Clear() { items_.clear(); }

    // Sets the first item with that key (case-sensitive), else appends one.
    void SetField(std::string_view key, std::string_view value);
    void AddField(std::string_view key, std::string_view value);

    std::vector<LSDPItem> &Items() { return items_; }
    const std::vector<LSDPItem> &Items() const { return items_; }

  private:
    static constexpr size_t kReserveMax = 32;
    std::vector<LSDPItem> items_;
};
