#include "web/BuiltInPages.h"

#include "os/CException.h"
#include "stats/CStatistic.h"
#include "text/HTMLEscape.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

namespace {

// No page of the files directory comes near this; a larger file is no page.
constexpr std::size_t kMaxPageSize = 8 * 1024 * 1024;
// A pseudo-tag is short; a '<' without its '>' this close is no tag.
constexpr std::size_t kMaxTagLength = 1024;
// The chart draws at most this many bars.
constexpr std::size_t kMaxChartBars = 24;

// One pseudo-tag of a page template.
struct PseudoTag {
    std::size_t begin = 0; // the '<'
    std::size_t end = 0;   // behind the '>'
    bool closing = false;
    CIString name;
    std::vector<std::pair<CIString, std::string>> attributes;

    const std::string* Attribute(std::string_view wanted) const {
        for (const auto& [attribute, value] : attributes)
            if (EqualsNoCase(attribute.View(), wanted))
                return &value;
        return nullptr;
    }
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Finds the next tag, from offset from, whose name starts with "cv", and
// reads its attributes. It finds only these pseudo-tags of our own page
// templates (a name, then name or name=value attributes, values quoted or
// not), wherever they stand, even inside another tag's attribute value; it
// is no HTML scanner, and no page from the web is ever scanned with it.
bool NextPseudoTag(const CIString& page, std::size_t from, PseudoTag& tag) {
    for (std::size_t at = page.find('<', from); at != CIString::npos; at = page.find('<', at + 1)) {
        std::size_t i = at + 1;
        const bool closing = i < page.size() && page[i] == '/';
        if (closing)
            ++i;
        if (page.compare(i, 2, "cv") != 0)
            continue;
        const std::size_t nameStart = i;
        while (i < page.size() && IsNameChar(page[i]))
            ++i;
        tag = PseudoTag{};
        tag.begin = at;
        tag.closing = closing;
        tag.name.assign(page.data() + nameStart, i - nameStart);
        const std::size_t limit = std::min(page.size(), at + kMaxTagLength);
        bool complete = false;
        while (i < limit) {
            if (IsBlank(page[i])) {
                ++i;
                continue;
            }
            if (page[i] == '>' || (page[i] == '/' && i + 1 < limit && page[i + 1] == '>')) {
                tag.end = i + (page[i] == '>' ? 1 : 2);
                complete = true;
                break;
            }
            const std::size_t attrStart = i;
            while (i < limit && !IsBlank(page[i]) && page[i] != '=' && page[i] != '>')
                ++i;
            CIString attribute(page.data() + attrStart, i - attrStart);
            std::string value;
            if (i < limit && page[i] == '=') {
                ++i;
                if (i < limit && (page[i] == '"' || page[i] == '\'')) {
                    const char quote = page[i++];
                    const std::size_t valueStart = i;
                    while (i < limit && page[i] != quote)
                        ++i;
                    value.assign(page.data() + valueStart, i - valueStart);
                    if (i < limit)
                        ++i;
                } else {
                    const std::size_t valueStart = i;
                    while (i < limit && !IsBlank(page[i]) && page[i] != '>')
                        ++i;
                    value.assign(page.data() + valueStart, i - valueStart);
                }
            }
            tag.attributes.emplace_back(std::move(attribute), std::move(value));
        }
        if (complete)
            return true;
    }
    return false;
}

// Runs replace on every pseudo-tag of the page; it returns the text that
// takes the tag's place, or nothing to leave the tag, and may edit the page
// itself (then it tells where the scan goes on through resume).
template <class Replace> void ReplacePseudoTags(CIString& page, Replace replace) {
    PseudoTag tag;
    for (std::size_t from = 0; NextPseudoTag(page, from, tag);) {
        std::size_t resume = tag.end;
        if (std::optional<std::string> text = replace(page, tag, resume)) {
            page.replace(tag.begin, tag.end - tag.begin, text->data(), text->size());
            resume = tag.begin + text->size();
        }
        from = resume;
    }
}

// before + value + after in at most kPseudoTagLimit characters. The value
// gives way, and is never cut inside an entity or a %HH escape, so that the
// markup around it stays whole.
std::string Fit(std::string_view before, std::string_view value, std::string_view after) {
    const std::size_t room = kPseudoTagLimit > before.size() + after.size()
                                 ? kPseudoTagLimit - before.size() - after.size()
                                 : 0;
    if (value.size() > room) {
        std::size_t cut = room;
        const auto amp = value.rfind('&', cut);
        if (amp != std::string_view::npos && value.find(';', amp) >= cut)
            cut = amp;
        const auto percent = value.rfind('%', cut);
        if (percent != std::string_view::npos && percent + 3 > cut)
            cut = percent;
        value = value.substr(0, cut);
    }
    std::string out(before);
    out += value;
    out += after;
    return out.substr(0, kPseudoTagLimit);
}

// Every byte but the unreserved ones as %HH: the text is one query value.
std::string EncodeComponent(std::string_view text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsNameChar(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kDigits[byte >> 4];
            out += kDigits[byte & 15];
        }
    }
    return out;
}

constexpr std::string_view kChartDefault =
    "FilteredImages,FilteredWindows,FilteredScripts,FilteredLayers,FilteredFrames,FilteredForms,"
    "FilteredCookies,BlockedMediatypes,FilteredEmbeddedObjects,BlockedRequests";

// The counters as horizontal bars, each scaled to the largest, with its
// name and figure: readable at a glance, and drawn without any script.
std::string Chart(CStatistic& statistic, std::string_view names) {
    std::vector<std::pair<std::string, std::uint64_t>> bars;
    while (!names.empty() && bars.size() < kMaxChartBars) {
        const auto comma = names.find(',');
        std::string_view name = names.substr(0, comma);
        names = comma == std::string_view::npos ? std::string_view() : names.substr(comma + 1);
        while (!name.empty() && IsBlank(name.front()))
            name.remove_prefix(1);
        while (!name.empty() && IsBlank(name.back()))
            name.remove_suffix(1);
        if (name.empty())
            continue;
        const std::string text = statistic.ValueText(name, false);
        bars.emplace_back(std::string(name), std::strtoull(text.c_str(), nullptr, 10));
    }
    std::uint64_t largest = 1;
    for (const auto& bar : bars)
        largest = std::max(largest, bar.second);

    constexpr int kLabelWidth = 190;
    constexpr int kBarWidth = 260;
    constexpr int kRow = 20;
    const int height = static_cast<int>(bars.size()) * kRow + 4;
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      std::to_string(kLabelWidth + kBarWidth + 90) + "\" height=\"" +
                      std::to_string(height) +
                      "\" role=\"img\" aria-label=\"Filtered items\">"
                      "<g font-family=\"sans-serif\" font-size=\"12\" fill=\"#1d2b2d\">";
    int y = 2;
    for (const auto& [name, value] : bars) {
        const auto width =
            static_cast<int>(static_cast<double>(value) / static_cast<double>(largest) * kBarWidth);
        const std::string label = HTMLEscape(name);
        svg += "<text x=\"0\" y=\"" + std::to_string(y + 13) + "\">" + label + "</text>";
        svg += "<rect x=\"" + std::to_string(kLabelWidth) + "\" y=\"" + std::to_string(y + 2) +
               "\" width=\"" + std::to_string(std::max(width, 1)) +
               "\" height=\"14\" fill=\"#1f6f78\"><title>" + label + "</title></rect>";
        svg += "<text x=\"" + std::to_string(kLabelWidth + std::max(width, 1) + 6) + "\" y=\"" +
               std::to_string(y + 13) + "\">" + std::to_string(value) + "</text>";
        y += kRow;
    }
    return svg + "</g></svg>";
}

// The end tag that belongs to the start tag of a block, or false.
bool FindEndTag(const CIString& page, const PseudoTag& start, PseudoTag& end) {
    for (std::size_t from = start.end; NextPseudoTag(page, from, end); from = end.end)
        if (end.closing && end.name == start.name)
            return true;
    return false;
}

} // namespace

std::size_t ExpandPageTags(CIString& page, std::string_view userName, int refreshSeconds,
                           CStatistic* statistic) {
    ReplacePseudoTags(page,
                      [&](CIString& text, const PseudoTag& tag,
                          std::size_t& resume) -> std::optional<std::string> {
                          if (tag.closing)
                              return std::nullopt;
                          if (tag.name == "cvplatform") {
                              PseudoTag end;
                              if (!FindEndTag(text, tag, end))
                                  return std::nullopt; // left in the page
                              if (tag.Attribute("standalone") != nullptr) {
                                  text.erase(end.begin, end.end - end.begin);
                                  text.erase(tag.begin, tag.end - tag.begin);
                              } else {
                                  text.erase(tag.begin, end.end - tag.begin);
                              }
                              resume = tag.begin;
                              return std::nullopt;
                          }
                          if (tag.name == "cvstats") {
                              const std::string* name = tag.Attribute("name");
                              if (statistic == nullptr || name == nullptr)
                                  return std::string();
                              return Fit("", HTMLEscape(statistic->ValueText(*name, true)), "");
                          }
                          if (tag.name == "cvrefresh") {
                              if (tag.Attribute("action") == nullptr)
                                  return Fit("", std::to_string(refreshSeconds), "");
                              if (refreshSeconds <= 0)
                                  return std::string();
                              return Fit("<meta http-equiv=\"refresh\" content=\"",
                                         std::to_string(refreshSeconds), "\">");
                          }
                          if (tag.name == "cvhiddenuser")
                              return Fit("<input type=\"hidden\" value=\"", HTMLEscape(userName),
                                         "\" name=\"UserID\">");
                          if (tag.name == "cvstatschart") {
                              if (statistic == nullptr)
                                  return std::string();
                              const std::string* names = tag.Attribute("names");
                              return Chart(*statistic,
                                           names ? std::string_view(*names) : kChartDefault);
                          }
                          return std::nullopt;
                      });
    return page.size();
}

void ExpandRateTags(CIString& page, std::string_view url) {
    // The rated page goes into the lower frame only when it is a web
    // address: a javascript: or data: URL there would run in the proxy's
    // own pages.
    const bool webAddress = ci_string_view(url.data(), url.size()).starts_with("http://") ||
                            ci_string_view(url.data(), url.size()).starts_with("https://");
    ReplacePseudoTags(
        page, [&](CIString&, const PseudoTag& tag, std::size_t&) -> std::optional<std::string> {
            if (tag.closing)
                return std::nullopt;
            if (tag.name == "cvurl")
                return Fit("", HTMLEscape(url), "");
            if (tag.name == "cvtoprateframe")
                return Fit("<FRAME SRC=\"/cvrate?top=1&amp;url=", EncodeComponent(url),
                           "\" NAME=\"_top\" FRAMEBORDER=2 NORESIZE>");
            if (tag.name == "cvbottomrateframe")
                return Fit("<FRAME SRC=\"",
                           webAddress ? HTMLEscape(url) : std::string("/blank.html"),
                           "\" NAME=\"_bottom\" FRAMEBORDER=2 marginheight=0>");
            if (tag.name == "cvinputurl")
                return Fit("<input type=text name=\"url\" value=\"", HTMLEscape(url),
                           "\" size=60 maxlength=150>");
            return std::nullopt;
        });
}

bool GetMediaTypeByExtension(std::string_view fileName, std::string& mediaType) {
    mediaType.clear();
    const auto slash = fileName.rfind('/');
    if (slash != std::string_view::npos)
        fileName.remove_prefix(slash + 1);
    const auto dot = fileName.rfind('.');
    if (dot == std::string_view::npos)
        return false;
    const std::string_view extension = fileName.substr(dot + 1);
    static constexpr std::pair<std::string_view, std::string_view> kTypes[] = {
        {"htm", "text/html"},   {"html", "text/html"},
        {"txt", "text/plain"},  {"swf", "application/x-shockwave-flash"},
        {"gif", "image/gif"},   {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
    };
    for (const auto& [known, type] : kTypes)
        if (EqualsNoCase(extension, known)) {
            mediaType = type;
            return true;
        }
    return false;
}

bool ResolveFilesPath(const std::string& dir, std::string_view name, std::string& path) {
    namespace fs = std::filesystem;
    path.clear();
    if (name.empty() || name.front() == '/' || name.find('\0') != std::string_view::npos ||
        name.find('\\') != std::string_view::npos)
        return false;
    for (std::string_view rest = name; !rest.empty();) {
        const auto slash = rest.find('/');
        if (rest.substr(0, slash) == "..")
            return false;
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    }
    std::error_code error;
    const fs::path base = fs::weakly_canonical(fs::path(dir), error);
    if (error)
        return false;
    const fs::path target = fs::weakly_canonical(base / fs::path(name), error);
    if (error)
        return false;
    // Inside means below the directory, component by component: a sibling
    // "files2" shares the directory's name as a prefix and is outside.
    const auto [baseEnd, targetAt] =
        std::mismatch(base.begin(), base.end(), target.begin(), target.end());
    if (baseEnd != base.end() && !(std::next(baseEnd) == base.end() && baseEnd->empty()))
        return false;
    if (targetAt == target.end() || !fs::is_regular_file(target, error))
        return false;
    path = target.string();
    return true;
}

bool ReadPageFile(const std::string& path, CIString& out) {
    out.clear();
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    if (!file)
        return false;
    char piece[1024];
    for (;;) {
        const std::size_t got = std::fread(piece, 1, sizeof piece, file.get());
        out.append(piece, got);
        if (out.size() > kMaxPageSize) {
            out.clear();
            return false;
        }
        if (got < sizeof piece)
            break;
    }
    if (std::ferror(file.get())) {
        out.clear();
        return false;
    }
    return true;
}

CIString LoadFilesPage(const std::string& dir, std::string_view name, std::string& mediaType) {
    std::string path;
    CIString bytes;
    if (!ResolveFilesPath(dir, name, path) || !ReadPageFile(path, bytes) || bytes.empty())
        throw errors::FileNotFound();
    GetMediaTypeByExtension(name, mediaType);
    return bytes;
}
