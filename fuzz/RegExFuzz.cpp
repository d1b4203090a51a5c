// Wildcard patterns come from list files and the configuration pages: any
// bytes must compile (or be refused) and match without fault. The input is a
// pattern, a NUL, and a text to match against it. The search the proxy runs
// (plain within a budget, then remembering) must find what the remembering
// search finds. The plain search alone is exponential in a hostile pattern's
// wildcards by nature, so it is not run unbounded here.
#include "text/CRegEx.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const auto split = input.find('\0');
    const std::string pattern = input.substr(0, split);
    CIString text(split == std::string::npos ? std::string() : input.substr(split + 1));
    CRegEx::Encode(text);
    for (const bool bounded : {false, true}) {
        const CRegEx regex(pattern.c_str(), bounded, !bounded);
        if (!regex.IsValid())
            continue;
        std::size_t autoLength = 0;
        std::size_t rememberedLength = 0;
        const char* found =
            regex.Match(text.c_str(), text.size(), autoLength, CRegEx::Strategy::Auto);
        const char* remembered =
            regex.Match(text.c_str(), text.size(), rememberedLength, CRegEx::Strategy::Remembered);
        if (found != remembered || autoLength != rememberedLength)
            std::abort();
    }
    return 0;
}
