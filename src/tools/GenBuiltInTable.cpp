// Writes the encoded built-in advertising URL table as C++ source.
//
//   GenBuiltInTable <readable list> <output .cpp>
//
// The readable list holds one entry per line; empty lines and lines starting
// with '#' are skipped, a trailing CR is dropped. An entry may start with the
// three-character prefix (first character, second character, TAB).

#include "settings/BuiltInScramble.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: " << argv[0] << " <list.txt> <out.cpp>\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << argv[1] << ": cannot read\n";
        return 1;
    }
    std::ostringstream body;
    std::size_t count = 0;
    std::size_t lineNumber = 0;
    std::string line;
    std::string coded;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        if (!builtin::scramble::Encode(line, coded)) {
            std::cerr << argv[1] << ":" << lineNumber << ": entry longer than "
                      << builtin::scramble::kMaxEntry << " bytes\n";
            return 1;
        }
        // Octal escapes take at most three digits, so the next byte can never be
        // swallowed by the escape as it can with \x.
        body << "    \"";
        for (unsigned char ch : coded) {
            if (ch >= '0' && ch <= '9') {
                body << ch;
            } else {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\%03o", ch);
                body << escape;
            }
        }
        body << "\",\n";
        ++count;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << "// Generated from BuiltInAdURLs.txt by GenBuiltInTable; do not edit.\n"
        << "#include \"settings/BuiltInLists.h\"\n\n"
        << "namespace builtin {\n\n"
        << "const char* const kAdURLTable[] = {\n"
        << body.str() << "    nullptr,\n};\n\n"
        << "const std::size_t kAdURLTableSize = " << count << ";\n\n"
        << "} // namespace builtin\n";
    out.close();
    if (!out) {
        std::cerr << argv[2] << ": cannot write\n";
        return 1;
    }
    return 0;
}
