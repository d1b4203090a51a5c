#pragma once

#include "stats/CPersistStatistic.h"

#include <cstdio>
#include <string>

// A statistics file: one "name=value" line per entry.
//
// A new file is written next to the old one under a temporary name and renamed
// over it only when every line reached the disk, so a crash or a full disk
// never leaves a truncated statistics file behind.
class CStatisticFile : public CPersistStatistic {
public:
    explicit CStatisticFile(std::string path);
    ~CStatisticFile() override;
    CStatisticFile(const CStatisticFile&) = delete;
    CStatisticFile& operator=(const CStatisticFile&) = delete;

    bool Close() override;
    bool OpenRead(std::string& name, std::string& value) override;
    bool ReadNext(std::string& name, std::string& value) override;
    bool OpenWrite(const std::string& name, const std::string& value) override;
    bool WriteNext(const std::string& name, const std::string& value) override;

    const std::string& Path() const { return m_path; }
    // The name a new file is written under before it replaces the old one.
    std::string TemporaryPath() const { return m_path + ".tmp"; }

private:
    bool ReadLine();
    void Discard();

    std::string m_path;
    std::string m_line;
    std::FILE* m_file = nullptr;
    bool m_writing = false;
    bool m_failed = false;
};
