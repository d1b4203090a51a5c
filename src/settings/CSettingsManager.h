#pragma once

#include "settings/CSettings.h"
#include "settings/CSettingsRef.h"
#include "settings/CStartSettings.h"

#include <string>
#include <string_view>

// Settings handed out for filtering: never changed after they are made.
using SettingsRef = CSettingsRef<const CSettings>;
// Settings handed out for changing and saving (configuration pages).
using EditSettingsRef = CSettingsRef<CSettings>;
using StartSettingsRef = CSettingsRef<const CStartSettings>;

// Loads settings objects from their files, merges the defaults into a group's
// settings when the start settings ask for it, and keeps the loaded defaults
// while merging is on. Not thread-safe by itself: the settings cache
// serialises GetForUse and ReloadDefaults.
class CSettingsManager {
public:
    // Where the settings files are: the system's fixed locations, or one
    // directory of the caller's choice.
    class Files {
    public:
        Files() = default;
        explicit Files(std::string directory);
        std::string StartFile() const;
        // corvand.conf for the default group (empty name). Creates the
        // directory first.
        std::string GroupFile(std::string_view group) const;

    private:
        std::string m_directory; // empty: the fixed locations
    };

    enum Mode : int {
        kDefaultsFile = 0, // corvand.conf
        kUserFile = 3,     // the group's file; corvand.conf for the empty name
    };

    explicit CSettingsManager(Files files = Files());
    ~CSettingsManager();
    CSettingsManager(const CSettingsManager&) = delete;
    CSettingsManager& operator=(const CSettingsManager&) = delete;

    void SetMergeSettings(bool on) { m_merge = on; }
    bool MergeSettings() const { return m_merge; }

    // The settings of the file of mode, with their store; a missing file is
    // created at once with every default. None for a group name that can't
    // name a file (it holds '/', or is "." or "..").
    EditSettingsRef Load(Mode mode, std::string_view user) const;
    // The start settings, without a store; a missing start.conf is created.
    StartSettingsRef LoadStart() const;

    // Settings for filtering, without a store; merged with the defaults when
    // merging is on. None when they can't be had. The caller may attach the
    // statistics before handing them out read-only.
    EditSettingsRef GetForUse(std::string_view user);
    // Savable settings for the configuration pages. With merging on, the
    // values merged from the defaults file are shown but never saved into
    // the group's file.
    EditSettingsRef GetForEdit(std::string_view user) const;
    // With merging on, loads the defaults again (after they were saved).
    void ReloadDefaults();

    // Whether a group name can name a settings or statistics file.
    static bool IsUsableName(std::string_view user);

private:
    Files m_files;
    bool m_merge = false;
    EditSettingsRef m_defaults; // kept only while merging is on
};
