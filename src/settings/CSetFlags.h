#pragma once

#include "settings/CSet.h"

#include <cstdint>

// A word of 32 independent on/off settings. Each bit is registered under its
// own key with the bit number as sub-key, and the text conversions touch only
// that bit (sub & 31).
class CSetFlags : public CSet {
public:
    explicit CSetFlags(std::uint32_t word = 0) : m_word(word) {}

    // "1" when the bit is set, else "0".
    void GetString(int sub, CIString& text) const override;
    // Empty text or a zero number clears the bit; a non-zero number sets it.
    void SetString(int sub, const CIString& text) override;

    bool IsSet(int bit) const { return (m_word & Mask(bit)) != 0; }
    void SetBit(int bit, bool on) { m_word = on ? (m_word | Mask(bit)) : (m_word & ~Mask(bit)); }
    std::uint32_t Get() const { return m_word; }
    std::uint32_t Set(std::uint32_t word) { return m_word = word; }

private:
    static constexpr std::uint32_t Mask(int bit) { return std::uint32_t{1} << (bit & 31); }

    std::uint32_t m_word;
};
