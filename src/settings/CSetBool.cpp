#include "settings/CSetBool.h"

void CSetBool::GetString(int /*sub*/, CIString& text) const {
    text.assign(1, m_value ? '1' : '0');
}

void CSetBool::SetString(int /*sub*/, const CIString& text) {
    m_value = text.ToInt() != 0;
}
