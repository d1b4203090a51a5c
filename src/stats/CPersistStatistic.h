#pragma once

#include <string>

// Where a CStatistic keeps its figures: a sequence of (name, value) text
// entries. Reading and writing are each one pass from the first entry on; Close
// ends either pass.
class CPersistStatistic {
public:
    virtual ~CPersistStatistic() = default;

    // Ends the current pass. After writing, true only when every entry was
    // stored; a failed write leaves the previous contents in place.
    virtual bool Close() = 0;
    // Starts reading and returns the first entry; false when there is none.
    virtual bool OpenRead(std::string& name, std::string& value) = 0;
    virtual bool ReadNext(std::string& name, std::string& value) = 0;
    // Starts writing with the first entry; false when it cannot be stored.
    virtual bool OpenWrite(const std::string& name, const std::string& value) = 0;
    virtual bool WriteNext(const std::string& name, const std::string& value) = 0;
};
