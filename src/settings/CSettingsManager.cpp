#include "settings/CSettingsManager.h"

#include "os/Paths.h"
#include "settings/CPersistFile.h"

namespace {

std::unique_ptr<CConfigData> OpenStore(const std::string& path) {
    return std::make_unique<CConfigData>(std::make_unique<CPersistFile>(path));
}

} // namespace

CSettingsManager::Files::Files(std::string directory) : m_directory(std::move(directory)) {
    if (!m_directory.empty() && m_directory.back() != '/')
        m_directory += '/';
}

std::string CSettingsManager::Files::StartFile() const {
    return m_directory.empty() ? paths::StartConf() : m_directory + "start.conf";
}

std::string CSettingsManager::Files::GroupFile(std::string_view group) const {
    if (m_directory.empty())
        return paths::GroupConf(group);
    return m_directory + (group.empty() ? std::string("corvand") : std::string(group)) + ".conf";
}

CSettingsManager::CSettingsManager(Files files) : m_files(std::move(files)) {}

CSettingsManager::~CSettingsManager() = default;

bool CSettingsManager::IsUsableName(std::string_view user) {
    // Group names come from start.conf and from the configuration pages; a
    // name must never lead a settings file out of its directory. The length
    // leaves room for the suffixes within a file name's limit.
    return user.size() <= 200 && user != "." && user != ".." &&
           user.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

EditSettingsRef CSettingsManager::Load(Mode mode, std::string_view user) const {
    if (mode == kDefaultsFile)
        user = {};
    if (!IsUsableName(user))
        return {};
    auto settings = EditSettingsRef::Adopt(
        new CSettings(user, OpenStore(m_files.GroupFile(user)), user.empty()));
    if (!settings->StoreLoaded())
        settings->Save();
    return settings;
}

StartSettingsRef CSettingsManager::LoadStart() const {
    auto* start = new CStartSettings(OpenStore(m_files.StartFile()));
    if (!start->StoreLoaded())
        start->Save();
    start->DropStore();
    return StartSettingsRef::Adopt(start);
}

EditSettingsRef CSettingsManager::GetForUse(std::string_view user) {
    if ((user.empty() || m_merge) && !m_defaults) {
        m_defaults = Load(kDefaultsFile, {});
        if (!m_defaults)
            return {};
    }
    if (user.empty()) {
        auto copy = EditSettingsRef::Adopt(new CSettings(*m_defaults));
        if (!m_merge)
            m_defaults.reset();
        return copy;
    }
    EditSettingsRef settings = Load(kUserFile, user);
    if (!settings)
        return {};
    if (m_merge)
        CSettingsBase::Merge(settings.get(), m_defaults.get(), false);
    settings->DropStore();
    return settings;
}

EditSettingsRef CSettingsManager::GetForEdit(std::string_view user) const {
    EditSettingsRef defaults;
    if (user.empty() || m_merge) {
        defaults = Load(kDefaultsFile, {});
        if (!defaults || user.empty())
            return defaults;
    }
    EditSettingsRef settings = Load(kUserFile, user);
    if (settings && m_merge)
        CSettingsBase::Merge(settings.get(), defaults.get(), true);
    return settings;
}

void CSettingsManager::ReloadDefaults() {
    if (!m_merge)
        return;
    m_defaults.reset();
    m_defaults = Load(kDefaultsFile, {});
}
