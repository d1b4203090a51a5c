// A settings file as anyone may have edited it: any bytes must load. What is
// saved must read back to the same content, so that saving it again writes
// the very same file.
#include "settings/CConfigData.h"
#include "settings/CPersistFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

// On a memory file system where there is one: every input is written and
// synced to disk eight times over, and a disk makes that the whole cost.
const std::string& Path() {
    static const std::string path =
        std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/corvane-fuzz-" +
        std::to_string(::getpid()) + ".conf";
    return path;
}

std::string Contents() {
    std::ifstream in(Path(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Loads the file, sets the mark and saves; returns what was written.
std::string LoadMarkSave(const char* mark) {
    CConfigData data(std::make_unique<CPersistFile>(Path()));
    if (!data.IsLoaded())
        std::abort();
    // A few lookups of what such files hold.
    CIString value;
    CConfigData::Lines lines;
    data.GetValue("ProxyEngine.LocalPort", value);
    data.GetList("CookieFilter.DomainList", lines);
    data.SetValue("Fuzz.Mark", mark);
    if (!data.Save())
        std::abort();
    return Contents();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream out(Path(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    // The first save may tidy what it read; from then on what is written
    // reads back to the very same content.
    LoadMarkSave("1");
    const std::string written = LoadMarkSave("2");
    LoadMarkSave("1");
    if (LoadMarkSave("2") != written)
        std::abort();
    ::unlink(Path().c_str());
    return 0;
}
