// Script text comes from any server: the neutraliser and the value search
// must stay inside it, end, and report exactly the bytes they removed.
#include "washers/ScriptRules.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string text = input;
    const std::size_t removed = washers::NeutraliseScript(text);
    if (text.size() > input.size() || removed != input.size() - text.size())
        std::abort();
    for (const std::string_view word : {"src", ":/", "open"}) {
        const bool needsDelimiter = word != ":/";
        std::size_t pos = 0;
        std::string value;
        while (washers::ExtractValue(input, word, needsDelimiter, word == "open" ? '(' : '=', pos,
                                     value)) {
            if (pos > input.size() || value.size() > input.size())
                std::abort();
        }
    }
    return 0;
}
