#pragma once

#include "text/CIString.h"

#include <string_view>

// The files compiled into the program (src/web/files): the configuration
// pages, the list editor's pages and row templates, and their images. Names
// match without regard to case. The map is built once, on first use, under
// the compiler's guard, and only read afterwards.
class CWebFileManager {
public:
    // The file's bytes and true; for an unknown name false and the text
    // "file not found in map:" followed by the name.
    static bool GetFile(const CIString& name, CIString& text);

    // Replace the first (every) occurrence of placeholder, found without
    // regard to case, by value. ReplaceAll searches on behind each inserted
    // value, so a value that holds the placeholder is not replaced again.
    static void ReplaceFirst(CIString& page, std::string_view placeholder, std::string_view value);
    static void ReplaceAll(CIString& page, std::string_view placeholder, std::string_view value);
};
