#include "settings/CStartSettings.h"

CStartSettings::CStartSettings(std::unique_ptr<CConfigData> store)
    : CSettingsBase({}, std::move(store), true) {
    Register("ProxyEngine.LocalPort", m_localPort);
    Register("ProxyEngine.UseHTTP11", m_useHTTP11);
    Register("ProxyEngine.EffectiveUser", m_effectiveUser);
    Register("ProxyEngine.EffectiveGroup", m_effectiveGroup);
    Register("Options.MergeSettings", m_mergeSettings);
    Register("WebInterface.DefaultPassword", m_defaultPassword);
    Register("Mail.Recipient", m_mailRecipient);
    Register("Mail.Smtp-Server", m_mailSmtpServer);
    Register("Groups.List", m_groups);
}

CStartSettings::~CStartSettings() = default;
