#pragma once

#include "settings/CSet.h"

#include <cstdint>

// A signed 32-bit setting, written in decimal.
class CSetInt : public CSet {
public:
    explicit CSetInt(std::int32_t value = 0) : m_value(value) {}

    void GetString(int sub, CIString& text) const override;
    // atoi of the text: leading blanks and a sign are allowed, trailing garbage
    // is ignored, text without a number gives 0.
    void SetString(int sub, const CIString& text) override;

    std::int32_t Set(std::int32_t value) { return m_value = value; }
    std::int32_t Xor(std::int32_t value) { return m_value ^= value; }
    std::int32_t Get() const { return m_value; }

private:
    std::int32_t m_value;
};
