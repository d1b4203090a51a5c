#pragma once

#include "text/CIString.h"

// A store of settings lines: section headers and entries, read front to back
// and written as a whole. CConfigData keeps the content in memory and uses a
// store only to read it once and to write it back.
class CPersistData {
public:
    CPersistData() = default;
    virtual ~CPersistData() = default;
    CPersistData(const CPersistData&) = delete;
    CPersistData& operator=(const CPersistData&) = delete;

    // False when the store cannot be read (a missing file).
    virtual bool OpenRead() = 0;
    // The next section header; false at the end of the content or at a line
    // that is no header (which stays pending).
    virtual bool ReadSection(CIString& name) = 0;
    // The next entry of the current section; false at the end of the content
    // or at the next header (which stays pending). A line without '=' gives an
    // empty key and the whole line as value.
    virtual bool ReadEntry(CIString& key, CIString& value) = 0;
    virtual void CloseRead() = 0;

    // Starts new content. Nothing replaces the old content before Commit.
    virtual bool OpenWrite() = 0;
    virtual void WriteSection(const CIString& name) = 0;
    // Only the value when the key is empty.
    virtual void WriteEntry(const CIString& key, const CIString& value) = 0;
    // Makes the new content the store's content, all of it or nothing; false
    // leaves the old content as it was.
    virtual bool Commit() = 0;
};
