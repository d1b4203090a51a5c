#pragma once

#include "text/CIString.h"

#include <vector>

// A typed setting value that converts itself to and from settings-file text.
// The registry reaches every value only through this interface, and the file
// layer only ever sees text. Scalar values use GetString/SetString, lists use
// GetLines/SetLines/LoadBuiltIn.
//
// sub is the sub-key index stored with each key: the bit number for a flag
// word, -1 for every other value.
class CSet {
public:
    using Lines = std::vector<CIString>;

    CSet() = default;
    CSet(const CSet&) = default;
    CSet& operator=(const CSet&) = default;
    virtual ~CSet() = default;

    virtual void GetString(int /*sub*/, CIString& /*text*/) const {}
    virtual void SetString(int /*sub*/, const CIString& /*text*/) {}
    virtual void GetLines(int /*sub*/, Lines& /*lines*/) const {}
    virtual void SetLines(int /*sub*/, const Lines& /*lines*/, bool /*append*/) {}
    // table: null-terminated array of NUL-terminated entries compiled into the
    // program; encoded: each entry is stored scrambled.
    virtual void LoadBuiltIn(int /*sub*/, const char* const* /*table*/, bool /*encoded*/) {}
    virtual bool IsList() const { return false; }
};
