#include "http/HeaderFilter.h"

#include <cstdlib>
#include <vector>

namespace {

// The directory of a path: the text before its last '/'. The query does not
// belong to it, since a '/' inside a query names no directory.
std::string_view Directory(const CIString& path) {
    std::string_view view = path.View();
    if (const auto query = view.find('?'); query != std::string_view::npos)
        view = view.substr(0, query);
    const auto slash = view.rfind('/');
    return slash == std::string_view::npos ? std::string_view{} : view.substr(0, slash);
}

std::string_view TrimView(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// The q-value of one Accept-Encoding element ("gzip;q=0.5"); 1 when none is given.
double QValue(std::string_view params) {
    while (!params.empty()) {
        const auto semi = params.find(';');
        const std::string_view param = TrimView(params.substr(0, semi));
        params = semi == std::string_view::npos ? std::string_view{} : params.substr(semi + 1);
        if (param.size() >= 2 && (param[0] == 'q' || param[0] == 'Q')) {
            const std::string_view rest = TrimView(param.substr(1));
            if (!rest.empty() && rest[0] == '=')
                return std::atof(std::string(TrimView(rest.substr(1))).c_str());
        }
    }
    return 1.0;
}

} // namespace

bool ReferrerMustGo(ReferrerMode mode, const CIString& refererHost, const CIString& refererPath,
                    const CIString& requestHost, const CIString& requestPath) {
    if (mode == ReferrerMode::All)
        return true;
    if (refererHost != requestHost)
        return true;
    return mode == ReferrerMode::Path &&
           !EqualsNoCase(Directory(refererPath), Directory(requestPath));
}

CIString ReduceAcceptEncoding(const CIString& value) {
    CIString reduced;
    bool usable = false;
    std::string_view rest = value.View();
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        const std::string_view element = TrimView(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);

        const auto semi = element.find(';');
        const std::string_view coding = TrimView(element.substr(0, semi));
        if (!EqualsNoCase(coding, "gzip") && !EqualsNoCase(coding, "identity"))
            continue;
        if (semi == std::string_view::npos || QValue(element.substr(semi + 1)) > 0)
            usable = true;
        if (!reduced.empty())
            reduced += ", ";
        reduced.append(element.data(), element.size());
    }
    // Every body can be sent unencoded; say so when nothing else is left.
    return usable ? reduced : CIString("identity");
}

bool IsWashableContentEncoding(const CIString& value) {
    // gzip only as the server socket recognises it for inflating: the bare word.
    const std::string_view coding = TrimView(value.View());
    return coding.empty() || EqualsNoCase(coding, "identity") || EqualsNoCase(value.View(), "gzip");
}
