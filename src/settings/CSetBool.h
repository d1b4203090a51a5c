#pragma once

#include "settings/CSet.h"

// An on/off setting, written as "1" or "0".
class CSetBool : public CSet {
public:
    explicit CSetBool(bool value = false) : m_value(value) {}

    void GetString(int sub, CIString& text) const override;
    // Empty text is false; otherwise any non-zero leading number is true, so
    // "2" is true and "x" is false.
    void SetString(int sub, const CIString& text) override;

    bool Set(bool value) { return m_value = value; }
    // Xor with true toggles.
    bool Xor(bool value) { return m_value = (m_value != value); }
    bool Get() const { return m_value; }

private:
    bool m_value;
};
