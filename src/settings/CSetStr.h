#pragma once

#include "settings/CSet.h"

#include <string_view>

// A text setting. In files it stands between single quotes, with TAB, line
// breaks, quotes and backslashes escaped so that it fits on one line.
class CSetStr : public CSet {
public:
    CSetStr() = default;
    explicit CSetStr(std::string_view value) : m_value(value) {}

    void GetString(int sub, CIString& text) const override;
    // Also reads values written without quotes (hand-edited files).
    void SetString(int sub, const CIString& text) override;

    void Set(const char* value) { m_value = value != nullptr ? value : ""; }
    void Set(std::string_view value) { m_value.assign(value.data(), value.size()); }
    const CIString& Get() const { return m_value; }

    // The written form of any text, and its reading back.
    static CIString Quote(const CIString& value);
    static CIString Unquote(const CIString& text);

private:
    CIString m_value;
};
