#pragma once

#include "settings/CPersistData.h"

#include <fstream>
#include <optional>
#include <string>

// A settings file on disk: lines end at LF (a CR before it is a blank), blank
// lines are skipped, and leading blanks of a line are ignored.
//
// Writing goes to a temporary file beside the real one, which replaces the
// real file only once it is complete and on disk: a crash or a full disk never
// leaves a truncated settings file behind.
class CPersistFile : public CPersistData {
public:
    explicit CPersistFile(std::string path);
    ~CPersistFile() override;

    bool OpenRead() override;
    bool ReadSection(CIString& name) override;
    bool ReadEntry(CIString& key, CIString& value) override;
    void CloseRead() override;

    bool OpenWrite() override;
    void WriteSection(const CIString& name) override;
    void WriteEntry(const CIString& key, const CIString& value) override;
    bool Commit() override;

    const std::string& Path() const { return m_path; }

private:
    // Makes the next non-empty line pending; false at the end of the file.
    bool FillPending();
    void AppendLineText(const CIString& text);

    std::string m_path;
    std::ifstream m_in;
    std::optional<CIString> m_pending;
    bool m_writing = false;
    std::string m_out;
};
