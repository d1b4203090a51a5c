#pragma once

// Real GIF files for the image washer's tests, made by ImageMagick (the one
// in /usr/bin: /usr/local/bin may hold a stand-in), and read back by it.

#include "support/TestFiles.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>

namespace testsupport {

inline std::string GIFScratchPath(const std::string& name) {
    return std::string(CORVAND_TEST_ROOT) + "/tmp/gif-" + std::to_string(::getpid()) + "-" + name +
           ".gif";
}

// The GIF that "convert <args> <file>" writes; args ending in ':' name the
// output format ("GIF87:"). Empty when convert fails or is missing.
inline std::string MakeGIF(const std::string& args) {
    std::system(("mkdir -p " + std::string(CORVAND_TEST_ROOT) + "/tmp").c_str());
    const std::string path = GIFScratchPath("make");
    const std::string command = "/usr/bin/convert " +
                                (args.ends_with(":") ? args + path : args + " " + path) +
                                " 2>/dev/null";
    std::string gif;
    if (std::system(command.c_str()) == 0)
        gif = ReadAll(path);
    std::remove(path.c_str());
    return gif;
}

// "<frames> <loop count>" as ImageMagick reads the GIF back: "-" for no loop
// extension, "0 -" for what it cannot read. ImageMagick counts plays, one
// more than the repeats the file's loop extension says.
inline std::string IdentifyGIF(const std::string& gif) {
    const std::string path = GIFScratchPath("identify");
    WriteAll(path, gif);
    int frames = 0;
    std::string iterations = "-";
    if (FILE* pipe =
            ::popen(("/usr/bin/identify -verbose " + path + " 2>/dev/null").c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, pipe)) {
            const std::string_view text(line);
            if (text.starts_with("Image:"))
                ++frames;
            else if (text.starts_with("  Iterations: ") && iterations == "-")
                iterations = std::string(text.substr(14, text.find('\n') - 14));
        }
        ::pclose(pipe);
    }
    std::remove(path.c_str());
    return std::to_string(frames) + " " + iterations;
}

} // namespace testsupport
