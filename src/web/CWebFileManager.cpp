#include "web/CWebFileManager.h"

#include "web/WebFiles.h"

#include <map>

namespace {

const std::map<CIString, std::string_view>& FileMap() {
    static const auto* const files = [] {
        auto* map = new std::map<CIString, std::string_view>;
        for (std::size_t i = 0; i < webfiles::kFileCount; ++i)
            map->emplace(webfiles::kFiles[i].name,
                         std::string_view(webfiles::kFiles[i].bytes, webfiles::kFiles[i].size));
        return map;
    }();
    return *files;
}

} // namespace

bool CWebFileManager::GetFile(const CIString& name, CIString& text) {
    const auto& files = FileMap();
    const auto it = files.find(name);
    if (it == files.end()) {
        text = "file not found in map:";
        text += name;
        return false;
    }
    text.assign(it->second.data(), it->second.size());
    return true;
}

void CWebFileManager::ReplaceFirst(CIString& page, std::string_view placeholder,
                                   std::string_view value) {
    const auto at = page.find(ci_string_view(placeholder.data(), placeholder.size()));
    if (at != CIString::npos && !placeholder.empty())
        page.replace(at, placeholder.size(), value.data(), value.size());
}

void CWebFileManager::ReplaceAll(CIString& page, std::string_view placeholder,
                                 std::string_view value) {
    if (placeholder.empty())
        return;
    const ci_string_view wanted(placeholder.data(), placeholder.size());
    for (auto at = page.find(wanted); at != CIString::npos;
         at = page.find(wanted, at + value.size()))
        page.replace(at, placeholder.size(), value.data(), value.size());
}
