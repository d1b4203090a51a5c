#include "settings/CSettingsBase.h"

namespace {

bool IsInternalKey(const CIString& key) {
    return key.find("INTERN.") != CIString::npos;
}

} // namespace

CSettingsBase::CSettingsBase(std::string_view userName, std::unique_ptr<CConfigData> store,
                             bool isDefault)
    : m_isDefault(isDefault), m_store(std::move(store)), m_userName(userName) {}

CSettingsBase::CSettingsBase(const CSettingsBase& /*other*/) : m_isDefault(false) {}

CSettingsBase::~CSettingsBase() = default;

void CSettingsBase::Register(const char* name, CSet& value, int sub) {
    const CIString key(name);
    if (IsInternalKey(key))
        return;
    Entry& entry = m_keys.insert_or_assign(key, Entry{&value, State::BuiltIn, sub}).first->second;
    const State fromFile = m_isDefault ? State::Defaults : State::UserFile;
    if (!value.IsList()) {
        CIString text;
        if (m_store && m_store->GetValue(key, text)) {
            value.SetString(sub, text);
            entry.state = fromFile;
        }
        return;
    }
    CConfigData::Lines lines;
    if (m_store && m_store->GetList(key, lines)) {
        value.SetLines(sub, lines, true);
        entry.state = fromFile;
    } else {
        LoadListDefault(key, value, sub);
    }
}

CSet* CSettingsBase::Find(const CIString& key, int& sub) const {
    const auto found = m_keys.find(key);
    if (found == m_keys.end())
        return nullptr;
    sub = found->second.sub;
    return found->second.value;
}

bool CSettingsBase::Save() {
    if (!m_store)
        return false;
    CIString text;
    CSet::Lines lines;
    for (const auto& [key, entry] : m_keys) {
        if (IsInternalKey(key))
            continue;
        if (!m_isDefault && entry.state == State::Defaults)
            continue;
        if (entry.value->IsList()) {
            lines.clear();
            entry.value->GetLines(entry.sub, lines);
            m_store->SetList(key, lines);
        } else {
            text.clear();
            entry.value->GetString(entry.sub, text);
            m_store->SetValue(key, text);
        }
    }
    return m_store->Save();
}

void CSettingsBase::DropStore() {
    m_store.reset();
}

void CSettingsBase::Merge(CSettingsBase* user, const CSettingsBase* defaults, bool skipLists) {
    if (user == nullptr || defaults == nullptr || user->m_keys.empty() || defaults->m_keys.empty())
        return;
    CIString text;
    CSet::Lines lines;
    auto to = user->m_keys.begin();
    for (auto from = defaults->m_keys.begin();
         from != defaults->m_keys.end() && to != user->m_keys.end(); ++from, ++to) {
        const Entry& source = from->second;
        Entry& target = to->second;
        if (source.state != State::Defaults || from->first != to->first)
            continue;
        if (source.value->IsList()) {
            if (skipLists)
                continue;
            lines.clear();
            source.value->GetLines(source.sub, lines);
            target.value->SetLines(target.sub, lines, false); // a copy, not a union
        } else {
            text.clear();
            source.value->GetString(source.sub, text);
            target.value->SetString(target.sub, text);
        }
        target.state = State::Defaults;
    }
}
