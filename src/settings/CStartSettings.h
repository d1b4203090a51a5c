#pragma once

#include "settings/CSetBool.h"
#include "settings/CSetGroupList.h"
#include "settings/CSetInt.h"
#include "settings/CSetStr.h"
#include "settings/CSettingsBase.h"

// The settings that hold for the whole process (start.conf): the listening
// port, the user to run as, the client groups, the merge switch and the
// default password of the configuration pages. Read once at start.
class CStartSettings : public CSettingsBase {
public:
    explicit CStartSettings(std::unique_ptr<CConfigData> store);
    ~CStartSettings() override;

    std::int32_t LocalPort() const { return m_localPort.Get(); }
    bool UseHTTP11() const { return m_useHTTP11.Get(); }
    const CIString& EffectiveUser() const { return m_effectiveUser.Get(); }
    const CIString& EffectiveGroup() const { return m_effectiveGroup.Get(); }
    bool MergeSettings() const { return m_mergeSettings.Get(); }
    const CIString& DefaultPassword() const { return m_defaultPassword.Get(); }
    const CIString& MailRecipient() const { return m_mailRecipient.Get(); }
    const CIString& MailSmtpServer() const { return m_mailSmtpServer.Get(); }
    // Groups.List: which client addresses form which group.
    const CSetGroupList& Groups() const { return m_groups; }

private:
    CSetInt m_localPort{9090};
    CSetBool m_useHTTP11{true};
    CSetStr m_effectiveUser{"corvand"};
    CSetStr m_effectiveGroup{"corvand"};
    CSetBool m_mergeSettings{false};
    CSetStr m_defaultPassword{"tarnivelo"};
    CSetStr m_mailRecipient{"root@localhost"};
    CSetStr m_mailSmtpServer{"localhost"};
    CSetGroupList m_groups;
};
