#include "settings/CSetFlags.h"

void CSetFlags::GetString(int sub, CIString& text) const {
    text.assign(1, IsSet(sub) ? '1' : '0');
}

void CSetFlags::SetString(int sub, const CIString& text) {
    SetBit(sub, text.ToInt() != 0);
}
