#include "settings/CSetInt.h"

void CSetInt::GetString(int /*sub*/, CIString& text) const {
    text.FromInt(m_value);
}

void CSetInt::SetString(int /*sub*/, const CIString& text) {
    m_value = text.ToInt();
}
