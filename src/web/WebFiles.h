#pragma once

#include <cstddef>

// The files of src/web/files, compiled into the program by the build
// (cmake/EmbedFiles.cmake), so that the configuration pages work without any
// file on disk.
namespace webfiles {

struct EmbeddedFile {
    const char* name;
    const char* bytes; // followed by a NUL that size does not count
    std::size_t size;
};

extern const EmbeddedFile kFiles[];
extern const std::size_t kFileCount;

} // namespace webfiles
