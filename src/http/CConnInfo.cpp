#include "http/CConnInfo.h"

#include "os/CException.h"
#include "os/CGenericSocket.h"
#include "os/CNetAddress.h"
#include "settings/CSettings.h"
#include "settings/CSettingsCache.h"
#include "settings/CStartSettings.h"
#include "text/PercentEscape.h"
#include "text/Vocabulary.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// -1 until set: then the running settings cache's start settings decide.
std::atomic<int> g_useHttp11{-1};
std::atomic<int> g_localPort{-1};

constexpr std::array<const char*, 9> kMethodNames = {
    "UNKNOWN", "GET", "PUT", "POST", "CONNECT", "OPTIONS", "HEAD", "DELETE", "TRACE",
};

struct StatusText {
    int code;
    const char* text;
};

// Searched from the top; the pair with code 0 ends it and names unknown codes.
constexpr StatusText kStatusTexts[] = {
    {100, "Continue"},
    {101, "Switching Protocols"},
    {200, "OK"},
    {201, "Created"},
    {202, "Accepted"},
    {203, "Non-Authoritative Information"},
    {204, "No Content"},
    {205, "Reset Content"},
    {206, "Partial Content"},
    {300, "Multiple Choices"},
    {301, "Moved Permanently"},
    {302, "Found"},
    {303, "See Other"},
    {304, "Not Modified"},
    {305, "Use Proxy"},
    {307, "Temporary Redirect"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {402, "Payment Required"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {406, "Not Acceptable"},
    {407, "Proxy Authentication Required"},
    {408, "Request Time-out"},
    {409, "Conflict"},
    {410, "Gone"},
    {411, "Length Required"},
    {412, "Precondition Failed"},
    {413, "Request Entity Too Large"},
    {414, "Request-URI Too Long"},
    {415, "Unsupported Media Type"},
    {416, "Requested Range Not Statisfiable"},
    {417, "Expectation Failed"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Time-out"},
    {505, "HTTP Version Not Supported"},
    {0, "Unknown error"},
};

constexpr const char* kHttpPrefix = "HTTP/";

bool IsSchemeChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '-' || c == '.';
}

// True when text[0, end) could be a URL scheme.
bool IsSchemeText(const CIString& text, std::size_t end) {
    if (end == 0 || end == CIString::npos)
        return false;
    for (std::size_t i = 0; i < end; ++i)
        if (!IsSchemeChar(text[i]))
            return false;
    return true;
}

// Where the pieces of a URL stand in its text.
struct URLPieces {
    std::size_t schemeEnd = CIString::npos; // the "://" behind a scheme
    // The host part runs from userInfo to hostEnd; the host name in it starts
    // at host, behind the user information ("user:pw@") when there is any.
    std::size_t userInfo = 0;
    std::size_t host = 0;
    std::size_t hostEnd = 0;
    std::size_t slash = CIString::npos; // the first '/' of the path
    std::size_t end = 0;
};

URLPieces SplitURL(const CIString& text, bool stopAtSpace) {
    URLPieces at;
    // "://" ends a scheme only where one can stand: a query may well hold a
    // second URL ("/cvrate?url=http://x").
    const auto sep = text.find("://");
    if (IsSchemeText(text, sep)) {
        at.schemeEnd = sep;
        at.userInfo = sep + 3;
    }
    at.end = text.size();
    if (stopAtSpace) {
        const auto blank = text.find(' ', at.userInfo);
        if (blank != CIString::npos)
            at.end = blank;
    }
    at.slash = text.find('/', at.userInfo);
    if (at.slash >= at.end)
        at.slash = CIString::npos;
    at.hostEnd = at.slash == CIString::npos ? at.end : at.slash;
    at.host = at.userInfo;
    if (at.userInfo < at.hostEnd) {
        const auto sign = text.rfind('@', at.hostEnd - 1);
        if (sign != CIString::npos && sign >= at.userInfo)
            at.host = sign + 1;
    }
    return at;
}

std::uint16_t DefaultPort(CConnInfo::UrlScheme scheme) {
    switch (scheme) {
    case CConnInfo::kSchemeHttp:
        return 80;
    case CConnInfo::kSchemeHttps:
        return 443;
    case CConnInfo::kSchemeFtp:
        return 21;
    default:
        return 0;
    }
}

// An absolute path without its "." and ".." segments, resolved as a server
// resolves them: "/a/./b/../c" is "/a/c", and no ".." climbs above the root.
CIString RemoveDotSegments(std::string_view path) {
    CIString out;
    std::string_view in = path;
    while (!in.empty()) {
        if (in.starts_with("/./")) {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.starts_with("/../") || in == "/..") {
            in = in.size() == 3 ? std::string_view("/") : in.substr(3);
            out.erase(std::min(out.rfind('/'), out.size()));
        } else {
            const std::size_t next = in.find('/', 1);
            const std::size_t length = std::min(next, in.size());
            out.append(in.data(), length);
            in.remove_prefix(length);
        }
    }
    return out;
}

const char* SchemePrefix(CConnInfo::UrlScheme scheme) {
    switch (scheme) {
    case CConnInfo::kSchemeHttp:
        return "http://";
    case CConnInfo::kSchemeHttps:
        return "https://";
    case CConnInfo::kSchemeFtp:
        return "ftp://";
    default:
        return "";
    }
}

// "HTTP/" and one digit, a dot and one digit, nothing else: a version the two
// ends of a connection cannot read differently.
bool ParseVersion(std::string_view text, std::int32_t& version) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (text.size() != 8 || !ci_string_view(text.data(), 5).starts_with(kHttpPrefix) ||
        !digit(text[5]) || text[6] != '.' || !digit(text[7]))
        return false;
    version = ((text[5] - '0') << 16) | (text[7] - '0');
    return true;
}

bool IsTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), IsTokenChar);
}

// Head text carries no control bytes but the tab: a bare CR, a NUL or a form
// feed is a line end or a string end to some reader or other.
bool HasControlBytes(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return (b < 0x20 && b != '\t') || b == 0x7f;
    });
}

// A port is 1 to 65535 in decimal digits: anything else would be read as
// another number by someone, past the lists written for the URL as it stands.
bool ParsePort(std::string_view text, std::uint16_t& port) {
    if (text.empty() || text.size() > 5)
        return false;
    std::uint32_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (n < 1 || n > 65535)
        return false;
    port = static_cast<std::uint16_t>(n);
    return true;
}

// A Host field value: a host name, perhaps followed by a colon and a port.
bool IsValidHostField(const CIString& value) {
    const auto colon = value.rfind(':');
    if (colon == CIString::npos || value.find(']', colon) != CIString::npos)
        return true;
    std::uint16_t port = 0;
    return ParsePort(value.View().substr(colon + 1), port);
}

// Calls visit with each item of a comma-separated header value, blanks around
// it removed, until visit returns false.
template <class Visit> void ForEachListItem(const CIString& value, Visit&& visit) {
    std::size_t start = 0;
    while (start <= value.size()) {
        auto end = value.find(',', start);
        if (end == CIString::npos)
            end = value.size();
        CIString item(value.substr(start, end - start));
        if (!visit(item.Trim()))
            return;
        start = end + 1;
    }
}

// True when a comma-separated header value holds the token.
bool HasToken(const CIString& value, ci_string_view token) {
    bool found = false;
    ForEachListItem(value, [&](const CIString& item) {
        found = ci_string_view(item) == token;
        return !found;
    });
    return found;
}

// A Content-Length: one or more comma-separated copies of one plain decimal
// number. -1 when it is anything else.
std::int64_t ParseLength(const CIString& value) {
    std::int64_t result = -1;
    bool valid = true;
    ForEachListItem(value, [&](const CIString& item) {
        if (item.empty() || item.size() > 18)
            return valid = false;
        std::int64_t n = 0;
        for (char c : item) {
            if (c < '0' || c > '9')
                return valid = false;
            n = n * 10 + (c - '0');
        }
        if (result >= 0 && n != result)
            return valid = false;
        result = n;
        return true;
    });
    return valid ? result : -1;
}

} // namespace

CConnInfo::CConnInfo(std::uint32_t ownerTag) : m_ownerTag(ownerTag) {}

void CConnInfo::SetStartOptions(bool useHttp11, int localPort) {
    g_useHttp11 = useHttp11 ? 1 : 0;
    g_localPort = localPort;
}

bool CConnInfo::UseHttp11() {
    const int set = g_useHttp11;
    if (set >= 0)
        return set != 0;
    if (const CSettingsCache* cache = CSettingsCache::Current())
        if (const CStartSettings* start = cache->StartSettings())
            return start->UseHTTP11();
    return true;
}

int CConnInfo::LocalPort() {
    const int set = g_localPort;
    if (set >= 0)
        return set;
    if (const CSettingsCache* cache = CSettingsCache::Current())
        if (const CStartSettings* start = cache->StartSettings())
            return start->LocalPort();
    return 9090;
}

// ---- header fields ----

CConnInfo::HeaderPos CConnInfo::AddHeader(CIString name, CIString value) {
    // A multimap inserts after the fields of an equal name, keeping arrival order.
    return m_headers.emplace(std::move(name), std::move(value));
}

bool CConnInfo::HasHeader(const CIString& name) const {
    return m_headers.find(name) != m_headers.end();
}

bool CConnInfo::GetHeader(const CIString& name, CIString& value) const {
    const auto it = m_headers.find(name);
    if (it == m_headers.end())
        return false;
    value = it->second;
    return true;
}

bool CConnInfo::FindNextHeader(const CIString& name, CIString& value, HeaderPos& pos) {
    for (; pos != m_headers.end(); ++pos) {
        if (pos->first == name) {
            value = pos->second;
            return true;
        }
    }
    return false;
}

std::size_t CConnInfo::RemoveHeader(const CIString& name) {
    return m_headers.erase(name);
}

void CConnInfo::InitResponse(int status) {
    Reset();
    m_type = kTypeResponse;
    m_version = UseHttp11() ? 0x10001 : 0x10000;
    m_status = status;
}

void CConnInfo::Reset() {
    m_headers.clear();
    m_scheme = kSchemeNone;
    m_port = 0;
    m_host.clear();
    m_path.clear();
    m_proxyHost.clear();
    m_reason.clear();
    m_firstLine.clear();
    m_requestUri.clear();
    m_referer.clear();
    m_userAgent.clear();
    m_method = kMethodUnknown;
    m_version = 0;
    m_status = 0;
    m_type = kTypeUnknown;
    m_headSize = 0;
    m_filterFlags = 0;
    m_headComplete = false;
    m_requestMethod = kMethodUnknown;
    m_closeAfterResponse = false;
    m_framing = Framing();
}

// ---- reading ----

namespace {

class SocketLines : public CConnInfo::LineSource {
public:
    explicit SocketLines(CGenericSocket& socket) : m_socket(socket) {}
    CIString ReadLine() override {
        CIString line;
        m_socket.ReadLine(line, CConnInfo::kMaxLineLength, false);
        return line;
    }
    void PushBackLine(const CIString& line) override { m_socket.PushBackLine(line.View()); }

private:
    CGenericSocket& m_socket;
};

} // namespace

void CConnInfo::ParseHead(CGenericSocket& socket, int mode, HttpMethod requestMethod) {
    const bool apply = (mode & kParseOnly) == 0;
    if (apply) {
        // A head is no body: what the previous message (an interim response,
        // say) left in the framing must not cut its lines short.
        socket.SetBodyBytesLeft(-1);
        socket.SetChunkedInput(false);
        socket.SetEndOfData(false);
    }
    SocketLines lines(socket);
    const Framing framing = ParseHead(lines, mode, requestMethod);
    if (apply) {
        if (m_type == kTypeRequest)
            socket.SetProxyStyle(framing.proxyStyle);
        socket.SetKeepAlive(framing.keepAlive);
        socket.SetChunkedInput(framing.chunked);
        socket.SetBodyBytesLeft(framing.bodyBytesLeft);
    }
    if (m_type == kTypeRequest)
        socket.GetLocalAddress(m_localAddress);
}

CConnInfo::Framing CConnInfo::ParseHead(LineSource& lines, int mode, HttpMethod requestMethod) {
    m_parseTime = std::time(nullptr);
    m_requestMethod = requestMethod;
    const int kind = mode & 0x0f;
    // What a server sends wrongly fails the attempt; what a browser sends
    // wrongly is a bad request.
    const auto refuse = [kind]() {
        if (kind == kParseResponse)
            throw errors::BadGateway();
        throw errors::BadRequest();
    };
    const auto readLine = [&]() {
        try {
            return lines.ReadLine();
        } catch (const CHTMLErrException&) {
            refuse(); // a line beyond the limit
            throw;
        }
    };

    const CIString first = readLine();
    m_firstLine = first;
    m_headSize += static_cast<std::uint32_t>(first.size());
    std::size_t headBytes = first.size();

    CIString work(first);
    work.TrimLeft();
    if (work.empty()) {
        // A browser may send an empty line between requests; a server's
        // answer begins with its status line and nothing else.
        if (kind == kParseResponse)
            throw errors::BadGateway();
    } else {
        bool good = false;
        if ((kind == kParseAny || kind == kParseResponse) && first.StartsWith(kHttpPrefix))
            good = ParseStatusLine(first);
        else if (kind == kParseAny || kind == kParseRequest)
            good = ParseRequestLine(first);
        if (!good) {
            lines.PushBackLine(first);
            refuse();
        }

        const bool request = m_type == kTypeRequest;
        HeaderPos last = m_headers.end();
        int headerLines = 0;
        for (;;) {
            const CIString line = readLine();
            m_headSize += static_cast<std::uint32_t>(line.size());
            headBytes += line.size();
            if (line.empty()) {
                m_headComplete = true;
                break;
            }
            if (++headerLines > kMaxHeaderLines || headBytes > kMaxHeadBytes ||
                HasControlBytes(line.View()))
                refuse();
            if (line[0] == ' ' || line[0] == '\t') {
                // An obsolete line folding: a server may read it as a field of
                // its own. From a server it is taken as blanks in the value;
                // one before the first field is dropped.
                if (request)
                    refuse();
                if (last != m_headers.end()) {
                    CIString more(line);
                    more.Trim(" \t");
                    if (!last->second.empty() && !more.empty())
                        last->second += ' ';
                    last->second += more;
                }
                continue;
            }
            // A field name is a token right up to its colon: "Name : value"
            // is a field to some readers and a different one to others.
            const auto colon = line.find(':');
            if (colon == CIString::npos || !IsToken(line.View().substr(0, colon)))
                refuse();
            CIString value(line.substr(colon + 1));
            value.TrimLeft(" \t");
            last = AddHeader(CIString(line.substr(0, colon)), std::move(value));
        }

        GetHeader(vocab::kHdrReferer, m_referer);
        GetHeader(vocab::kHdrUserAgent, m_userAgent);
        if (request)
            CheckRequestFraming();
        else if (m_type == kTypeResponse && HasBody())
            CheckResponseFraming();
    }

    m_framing = DecideFraming();
    if (m_type == kTypeResponse && m_framing.chunked) {
        // The chunks decide the length; a server that also sent one may mean
        // the other, so its connection carries nothing more.
        if (RemoveHeader(vocab::kHdrContentLength) > 0)
            m_framing.keepAlive = false;
    }

    if (m_type == kTypeRequest) {
        if (m_host.empty()) {
            GetHeader(vocab::kHdrHost, m_host);
            if (!IsValidHostField(m_host))
                refuse();
        } else {
            // The request-URI names the host that is connected to, filtered
            // and logged; the server must be told that same host, and an
            // HTTP/1.0 request forwarded as 1.1 must carry one.
            CIString authority;
            AppendAuthority(authority);
            RemoveHeader(vocab::kHdrHost);
            AddHeader(vocab::kHdrHost, std::move(authority));
        }
    }
    return m_framing;
}

// HTTP/x.y, one blank, three digits from 100 to 599, and then a blank and the
// reason (which may be missing altogether).
bool CConnInfo::ParseStatusLine(const CIString& line) {
    const std::string_view text = line.View();
    if (text.size() < 12 || HasControlBytes(text) || !ParseVersion(text.substr(0, 8), m_version) ||
        text[8] != ' ')
        return false;
    int status = 0;
    for (std::size_t i = 9; i < 12; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        status = status * 10 + (text[i] - '0');
    }
    if (status < 100 || status > 599 || (text.size() > 12 && text[12] != ' '))
        return false;
    m_status = status;
    CIString reason(text.size() > 13 ? text.substr(13) : std::string_view());
    reason.TrimLeft(" \t");
    m_reason = reason;
    m_type = kTypeResponse;
    return true;
}

// Method, one blank, request-target, one blank, HTTP/x.y: nothing more and
// nothing less, so that no reader finds a different target or version in it.
bool CConnInfo::ParseRequestLine(const CIString& line) {
    m_status = 0;
    const std::string_view text = line.View();
    const auto blank = text.find(' ');
    if (blank == std::string_view::npos || !IsToken(text.substr(0, blank)))
        return false;
    const ci_string_view name(text.data(), blank);
    m_method = kMethodUnknown;
    for (std::size_t i = 1; i < kMethodNames.size(); ++i) {
        if (name == kMethodNames[i]) {
            m_method = static_cast<HttpMethod>(i);
            break;
        }
    }
    const auto uriEnd = text.find(' ', blank + 1);
    if (uriEnd == std::string_view::npos || uriEnd == blank + 1)
        return false;
    const std::string_view target = text.substr(blank + 1, uriEnd - blank - 1);
    if (HasControlBytes(target) || target.find('\t') != std::string_view::npos)
        return false;
    m_requestUri = CIString(target);
    if (!ParseURL(m_requestUri, false))
        return false;
    SpellRequestURI();
    // A tunnel goes to a host and a port, both named.
    if (m_method == kMethodConnect && (m_host.empty() || m_port == 0))
        return false;
    if (m_scheme == kSchemeNone && m_method != kMethodConnect)
        m_scheme = kSchemeHttp;
    if (!ParseVersion(text.substr(uriEnd + 1), m_version))
        return false;
    m_type = kTypeRequest;
    return true;
}

// A request body must be framed one way only: a proxy and the server behind it
// that read the length differently would disagree on where the next request
// starts.
void CConnInfo::CheckRequestFraming() {
    const auto te = m_headers.equal_range(vocab::kHdrTransferEncoding);
    const bool chunked = te.first != te.second;
    if (chunked) {
        CIString coding(te.first->second);
        coding.Trim();
        if (std::next(te.first) != te.second || coding != "chunked")
            throw errors::BadRequest();
    }

    std::int64_t length = -1;
    const auto cl = m_headers.equal_range(vocab::kHdrContentLength);
    for (auto it = cl.first; it != cl.second; ++it) {
        const std::int64_t n = ParseLength(it->second);
        if (n < 0 || (length >= 0 && n != length))
            throw errors::BadRequest();
        length = n;
    }

    if (chunked) {
        if (length >= 0) {
            RemoveHeader(vocab::kHdrContentLength);
            m_closeAfterResponse = true;
        }
        // Forwarded with the proxy's own framing, spelled one way only.
        RemoveHeader(vocab::kHdrTransferEncoding);
        AddHeader(vocab::kHdrTransferEncoding, "chunked");
    } else if (std::distance(cl.first, cl.second) > 1) {
        RemoveHeader(vocab::kHdrContentLength);
        AddHeader(vocab::kHdrContentLength, CIString(std::to_string(length)));
    }
}

// The same for a response on its way to the browser: a server whose answer
// can be read to two different ends is not relayed at all, since what follows
// it on the connection could be taken for the answer to the next request.
void CConnInfo::CheckResponseFraming() {
    // Codings apply in order, so the chunks must come last; a coding the
    // proxy cannot undo leaves no end it could find.
    CIString lastCoding;
    bool coded = false;
    const auto te = m_headers.equal_range(vocab::kHdrTransferEncoding);
    for (auto it = te.first; it != te.second; ++it) {
        ForEachListItem(it->second, [&](const CIString& item) {
            if (!item.empty())
                lastCoding = item;
            return true;
        });
        coded = true;
    }
    if (coded) {
        if (lastCoding != "chunked")
            throw errors::BadGateway();
        return; // the chunks decide; any length is dropped
    }

    std::int64_t length = -1;
    const auto cl = m_headers.equal_range(vocab::kHdrContentLength);
    for (auto it = cl.first; it != cl.second; ++it) {
        const std::int64_t n = ParseLength(it->second);
        if (n < 0 || (length >= 0 && n != length))
            throw errors::BadGateway();
        length = n;
    }
    if (std::distance(cl.first, cl.second) > 1 ||
        (length >= 0 && cl.first->second != CIString(std::to_string(length)))) {
        RemoveHeader(vocab::kHdrContentLength);
        AddHeader(vocab::kHdrContentLength, CIString(std::to_string(length)));
    }
}

CConnInfo::Framing CConnInfo::DecideFraming() const {
    Framing framing;
    if (m_type == kTypeRequest)
        framing.proxyStyle = !m_host.empty();

    if (m_version > 0x10000 && UseHttp11()) {
        framing.keepAlive = true;
        // A browser speaks to its proxy with Proxy-Connection, but "close" in
        // the standard Connection field means the same and is honoured too.
        CIString value;
        for (const CIString* name : {&vocab::kHdrConnection, &vocab::kHdrProxyConnection}) {
            if (GetHeader(*name, value) && HasToken(value, "close"))
                framing.keepAlive = false;
        }
    }

    if (!HasBody()) {
        framing.bodyBytesLeft = 0;
        return framing;
    }
    CIString value;
    if (GetHeader(vocab::kHdrTransferEncoding, value)) {
        framing.chunked = true;
    } else if (GetHeader(vocab::kHdrContentLength, value)) {
        // A negative length means nothing sensible: read to the end instead.
        framing.bodyBytesLeft =
            std::max<std::int64_t>(-1, std::strtoll(value.c_str(), nullptr, 10));
    } else if (m_type == kTypeRequest) {
        // A request announces its body; without a length or chunks it has
        // none, and what follows it on the connection is the next request.
        framing.bodyBytesLeft = 0;
    }
    return framing;
}

bool CConnInfo::HasBody() const {
    if ((m_status >= 100 && m_status <= 199) || m_status == 204 || m_status == 304)
        return false;
    return !(m_type == kTypeResponse && m_requestMethod == kMethodHead);
}

bool CConnInfo::IsInterimResponse() const {
    return m_type == kTypeResponse && m_status >= 100 && m_status <= 199 && m_status != 101;
}

// A list entry judges a server whatever spelling a request gives its URL:
// the text it is matched against names the server as the request reaches it.
// User information goes ("http://allowed@blocked/" is "http://blocked/"),
// the host is written as parsed (no trailing dots, the dotted form of a
// numeric address), the scheme's own port goes, letters, digits and "-._~"
// escaped in the path stand as themselves ("/%61ds/" is "/ads/"), and the
// path's "." and ".." segments are resolved ("/x/../ads/" is "/ads/"). What
// is sent on is built from the parsed pieces.
void CConnInfo::SpellRequestURI() {
    const URLPieces at = SplitURL(m_requestUri, false);
    if (at.userInfo == at.hostEnd)
        return; // no host: a path alone is the proxy's own business
    const bool schemePort = at.schemeEnd != CIString::npos && m_port == DefaultPort(m_scheme);
    CIString spelled;
    AppendAuthority(spelled, !schemePort);
    if (at.slash != CIString::npos) {
        const CIString path = DecodeUnreserved(m_requestUri.View().substr(at.slash));
        const std::size_t query = std::min(path.find('?'), path.size());
        spelled += RemoveDotSegments(path.View().substr(0, query));
        spelled.append(path.data() + query, path.size() - query);
    }
    m_requestUri.replace(at.userInfo, CIString::npos, spelled);
}

bool CConnInfo::ParseURL(const CIString& text, bool stopAtSpace) {
    const URLPieces at = SplitURL(text, stopAtSpace);
    m_scheme = kSchemeNone;
    if (at.schemeEnd != CIString::npos) {
        const ci_string_view scheme(text.data(), at.schemeEnd);
        if (scheme == "http")
            m_scheme = kSchemeHttp;
        else if (scheme == "https")
            m_scheme = kSchemeHttps;
        else if (scheme == "ftp")
            m_scheme = kSchemeFtp;
    }

    m_host = at.host < at.hostEnd ? text.substr(at.host, at.hostEnd - at.host) : CIString();
    bool portValid = true;
    if (!m_host.empty() && m_host[0] == '[') {
        // An IPv6 literal: the address in brackets, perhaps a colon and a
        // port after them, nothing else. It is kept without its brackets and
        // in its usual text form, so that every list and log sees one
        // spelling; the writers put the brackets back.
        const auto close = m_host.find(']');
        const auto address = close == CIString::npos
                                 ? std::nullopt
                                 : CNetAddress::Parse(m_host.View().substr(1, close - 1));
        const std::string_view rest =
            close == CIString::npos ? std::string_view() : m_host.View().substr(close + 1);
        portValid = address && address->IsV6();
        if (portValid && !rest.empty()) {
            m_port = 0;
            portValid = rest[0] == ':' && ParsePort(rest.substr(1), m_port);
        }
        m_host = portValid ? CIString(address->Text()) : CIString();
    } else if (!m_host.empty()) {
        // Brackets anywhere else make no host that every reader would read
        // alike.
        if (m_host.find_first_of("[]") != CIString::npos)
            portValid = false;
        const auto colon = m_host.find(':');
        if (colon != CIString::npos) {
            m_port = 0;
            portValid = ParsePort(m_host.View().substr(colon + 1), m_port) && portValid;
            m_host.erase(colon);
        }
        m_host.TrimRight(".");
        // The resolver takes an IPv4 address in other numeric forms too
        // ("127.1", "2130706433", "0x7f.0.0.1"): it is kept as the dotted
        // address that a list writes.
        if (const auto numeric = CNetAddress::ParseNumericIPv4(m_host.View()))
            m_host = CIString(numeric->Text());
    }

    if (at.slash != CIString::npos) {
        m_path = text.substr(at.slash, at.end - at.slash);
        m_path = PercentEscape(m_path.View());
    } else {
        m_path = "/";
    }

    // The extension is what follows the last dot of the last path segment,
    // queries left out.
    m_extension.clear();
    std::size_t end = std::min(at.end, text.find('?'));
    for (std::size_t i = end; i > 0; --i) {
        const char c = text[i - 1];
        if (c == '/')
            break;
        if (c == '.') {
            if (i < 2 || text[i - 2] != '/')
                m_extension = text.substr(i, end - i);
            break;
        }
    }

    return portValid && (at.slash != CIString::npos || !m_host.empty());
}

// ---- derived texts ----

void CConnInfo::GetMethodName(CIString& text) const {
    if (m_method >= kMethodGet && m_method <= kMethodTrace) {
        text = kMethodNames[m_method];
        return;
    }
    if (m_type == kTypeRequest) {
        CIString line(m_firstLine);
        line.TrimLeft();
        const auto blank = line.find(' ');
        if (blank != CIString::npos) {
            text = line.substr(0, blank);
            return;
        }
    }
    text = kMethodNames[kMethodUnknown];
}

void CConnInfo::GetSchemeName(CIString& text) const {
    switch (m_scheme) {
    case kSchemeHttp:
        text = "http";
        break;
    case kSchemeHttps:
        text = "https";
        break;
    case kSchemeFtp:
        text = "ftp";
        break;
    default:
        text.clear();
        break;
    }
}

void CConnInfo::MakeAbsoluteURL(CIString& url) const {
    // Absolute: a scheme, its colon and a slash somewhere after it. A colon
    // further on ("/find?q=a:b/c") does not make a URL absolute.
    const auto colon = url.find(':');
    if (IsSchemeText(url, colon) && url.find('/', colon) != CIString::npos)
        return;

    CIString result(SchemePrefix(m_scheme));
    if (url.size() >= 2 && url[0] == '/' && url[1] == '/') {
        // Protocol-relative: another host under this page's scheme.
        if (!result.empty())
            result.erase(result.size() - 2);
        result += url;
        result = PercentEscape(result.View());
        url = result;
        return;
    }

    AppendAuthority(result);
    if (url.empty()) {
        result += m_path;
    } else if (url[0] == '/') {
        result += url;
        result = PercentEscape(result.View());
    } else if (url[0] == '?' || url[0] == '#') {
        // A new query (or a fragment) of this very document.
        CIString rel(url);
        rel = PercentEscape(rel.View());
        result += m_path.substr(0, url[0] == '?' ? m_path.find('?') : m_path.find('#'));
        result += rel;
    } else {
        CIString rel(url);
        rel = PercentEscape(rel.View());
        int up = 0;
        for (;;) {
            if (rel.StartsWith("../")) {
                rel.erase(0, 3);
                ++up;
            } else if (rel.StartsWith("./")) {
                rel.erase(0, 2);
            } else {
                break;
            }
        }
        // The directory of this document; its query may hold slashes too.
        CIString base(m_path.substr(0, m_path.find('?')));
        base.erase(base.rfind('/') == CIString::npos ? 0 : base.rfind('/') + 1);
        for (int i = 0; i < up && base.size() >= 2; ++i) {
            const auto cut = base.rfind('/', base.size() - 2);
            if (cut == CIString::npos)
                break;
            base.erase(cut + 1);
        }
        result += base;
        result += rel;
    }
    url = result;
}

void CConnInfo::GetFullURL(CIString& url) const {
    url = m_requestUri;
    if (m_method != kMethodConnect)
        MakeAbsoluteURL(url);
}

void CConnInfo::GetProxyAddress(CIString& text) const {
    // An IPv6 address goes in brackets before its port.
    const bool literal = m_localAddress.find(':') != CIString::npos;
    text.clear();
    if (literal)
        text += '[';
    text += m_localAddress;
    if (literal)
        text += ']';
    text += ':';
    text += CIString().FromInt(LocalPort());
}

bool CConnInfo::GetMediaType(CIString& text) const {
    CIString value;
    if (!GetHeader(vocab::kHdrContentType, value))
        return false;
    const auto semicolon = value.find(';');
    if (semicolon != CIString::npos)
        value.erase(semicolon);
    value.Trim();
    text = value;
    return true;
}

const char* CConnInfo::GetStatusText(int code) {
    const StatusText* entry = kStatusTexts;
    while (entry->code != 0 && entry->code != code)
        ++entry;
    return entry->text;
}

// ---- writing ----

void CConnInfo::AppendAuthority(CIString& out, bool withPort) const {
    // Only an IPv6 literal holds a colon: its brackets keep it apart from the
    // port.
    const bool literal = m_host.find(':') != CIString::npos;
    if (literal)
        out += '[';
    out += m_host;
    if (literal)
        out += ']';
    if (m_port != 0 && withPort) {
        out += ':';
        out += CIString().FromInt(m_port);
    }
}

void CConnInfo::AppendTarget(CIString& out) const {
    if (!m_proxyHost.empty() && !m_host.empty()) {
        out += SchemePrefix(m_scheme);
        AppendAuthority(out);
    }
    // A CONNECT target is host and port alone, never a path.
    if (m_method == kMethodConnect && !m_host.empty())
        return;
    if (!m_path.empty())
        out += m_path;
    else if (m_method != kMethodConnect)
        out += '/';
}

long CConnInfo::WriteHead(CGenericSocket& socket) const {
    return static_cast<long>(socket.SendText(BuildHead().View()));
}

CIString CConnInfo::BuildHead() const {
    CIString head;
    head.reserve(1024);
    const char* version = UseHttp11() ? "HTTP/1.1" : "HTTP/1.0";
    if (m_type == kTypeResponse) {
        char status[32];
        std::snprintf(status, sizeof status, " %3.3d ", m_status);
        head += version;
        head += status;
        head += m_reason.empty() ? CIString(GetStatusText(m_status)) : m_reason;
    } else {
        CIString method;
        GetMethodName(method);
        head += method;
        head += ' ';
        AppendTarget(head);
        head += ' ';
        head += version;
    }
    head += "\r\n";
    for (const auto& [name, value] : m_headers) {
        if (name.empty())
            continue;
        head += name;
        head += ": ";
        head += value;
        head += "\r\n";
    }
    head += "\r\n";
    return head;
}

// ---- forwarding ----

bool CConnInfo::GetConnectTarget(CIString& host, std::uint16_t& port) const {
    if (!m_proxyHost.empty()) {
        host = m_proxyHost;
        port = m_proxyPort != 0 ? m_proxyPort : 80;
        return true;
    }
    host = m_host;
    port = m_port != 0 ? m_port : 80;
    return false;
}

void CConnInfo::SetUpstreamProxy(const CIString& host, int port) {
    m_proxyHost = host;
    m_proxyPort = port < 1 ? 0 : static_cast<std::uint16_t>(port);
}

CConnInfo::ForwardingOptions CConnInfo::ForwardingOptionsOf(const CSettings& settings) {
    ForwardingOptions options;
    options.client = settings.IsOn(CSettings::kProxyEngineClient);
    options.typeAutomatic = settings.IsOn(CSettings::kProxyEngineTypeAutomatic);
    options.dontUseProxyForLocal = settings.IsOn(CSettings::kProxyEngineDontUseProxyForLocal);
    options.dontUseProxyFor = settings.GetString(CSettings::kProxyEngineDontUseProxyFor);
    options.proxyServer = settings.GetString(CSettings::kProxyEngineProxyServerSec);
    options.proxyPort = settings.GetInt(CSettings::kProxyEngineProxyPortSec);
    return options;
}

void CConnInfo::SelectUpstreamProxy(const CSettings& settings) {
    SelectUpstreamProxy(ForwardingOptionsOf(settings));
}

void CConnInfo::SelectUpstreamProxy(const ForwardingOptions& options) {
    bool viaProxy = options.client && !options.typeAutomatic;
    if (viaProxy && options.dontUseProxyForLocal &&
        ((m_host.find('.') == CIString::npos && m_host.find(':') == CIString::npos) ||
         m_host == "127.0.0.1" || m_host == "::1"))
        viaProxy = false;
    if (viaProxy) {
        const CIString& list = options.dontUseProxyFor;
        constexpr const char* kSeparators = " \t,;";
        std::size_t pos = list.find_first_not_of(kSeparators);
        while (viaProxy && pos != CIString::npos) {
            const auto end = list.find_first_of(kSeparators, pos);
            const CIString entry(list.substr(pos, end == CIString::npos ? end : end - pos));
            if (MatchHostPattern(m_host.View(), entry.View()) == PatternMatch::Match ||
                (m_host.size() >= entry.size() &&
                 m_host.compare(m_host.size() - entry.size(), entry.size(), entry) == 0))
                viaProxy = false;
            pos = end == CIString::npos ? end : list.find_first_not_of(kSeparators, end);
        }
    }
    if (viaProxy)
        SetUpstreamProxy(options.proxyServer, options.proxyPort);
    else
        SetUpstreamProxy(CIString(), 0);
}

namespace {

using Result = CConnInfo::PatternMatch;

// Index of the ')' closing the group that opens at p[open], '\' escapes
// honoured; npos when there is none.
std::size_t GroupEnd(std::string_view p, std::size_t open) {
    for (std::size_t i = open + 1; i < p.size(); ++i) {
        if (p[i] == '\\')
            ++i;
        else if (p[i] == ')')
            return i;
    }
    return std::string_view::npos;
}

Result MatchAt(std::string_view t, std::string_view p) {
    std::size_t ti = 0, pi = 0;
    for (;;) {
        if (pi == p.size())
            return ti == t.size() ? Result::Match : Result::NoMatch;
        const char c = p[pi];
        if (ti == t.size() && c != '*' && c != '(' && c != '$')
            return Result::NoMatchPossible;
        switch (c) {
        case '?':
            ++pi;
            ++ti;
            break;
        case '*': {
            while (pi < p.size() && p[pi] == '*')
                ++pi;
            if (pi == p.size())
                return Result::Match;
            const std::string_view rest = p.substr(pi);
            for (std::size_t k = ti; k < t.size(); ++k) {
                const Result r = MatchAt(t.substr(k), rest);
                if (r == Result::Match)
                    return r;
                if (r == Result::NoMatchPossible)
                    break;
            }
            // "*$": the star takes the rest of the text.
            return rest == "$" ? Result::Match : Result::NoMatchPossible;
        }
        case '$':
            if (ti != t.size())
                return Result::NoMatch;
            ++pi;
            break;
        case '(': {
            const std::size_t close = GroupEnd(p, pi);
            if (close == std::string_view::npos)
                return Result::NoMatchPossible;
            const std::string_view after = p.substr(close + 1);
            std::size_t start = pi + 1;
            for (std::size_t i = start; i <= close; ++i) {
                if (i < close && p[i] == '\\') {
                    ++i;
                    continue;
                }
                if (i == close || p[i] == '|') {
                    std::string alternative(p.substr(start, i - start));
                    alternative += after;
                    if (MatchAt(t.substr(ti), alternative) == Result::Match)
                        return Result::Match;
                    start = i + 1;
                }
            }
            return Result::NoMatch;
        }
        case '[': {
            const std::size_t close = p.find(']', pi + 1);
            if (close == std::string_view::npos) {
                if (t[ti] != '[')
                    return Result::NoMatch;
                ++pi;
                ++ti;
                break;
            }
            std::string_view set = p.substr(pi + 1, close - pi - 1);
            const bool negate = !set.empty() && set[0] == '^';
            if (negate)
                set.remove_prefix(1);
            const auto alnum = [](char x) {
                return (x >= '0' && x <= '9') || (x >= 'a' && x <= 'z') || (x >= 'A' && x <= 'Z');
            };
            bool in;
            if (set.size() == 3 && set[1] == '-' && alnum(set[0]) && alnum(set[2]))
                in = t[ti] >= set[0] && t[ti] <= set[2];
            else
                in = set.find(t[ti]) != std::string_view::npos;
            if (in == negate)
                return Result::NoMatch;
            pi = close + 1;
            ++ti;
            break;
        }
        case '\\':
            if (pi + 1 < p.size())
                ++pi;
            [[fallthrough]];
        default:
            if (!ci_char_traits::eq(p[pi], t[ti]))
                return Result::NoMatch;
            ++pi;
            ++ti;
            break;
        }
    }
}

} // namespace

CConnInfo::PatternMatch CConnInfo::MatchHostPattern(std::string_view text,
                                                    std::string_view pattern) {
    return MatchAt(text, pattern);
}

bool CConnInfo::PrepareFraming(bool clientProxyStyle, bool clientKeepAlive, bool bodyWillChange) {
    if (bodyWillChange)
        RemoveHeader(vocab::kHdrContentLength);
    RemoveHeader(vocab::kHdrTransferEncoding);
    RemoveHeader(vocab::kHdrConnection);
    RemoveHeader(vocab::kHdrProxyConnection);

    bool chunked = false;
    const CIString& connection =
        clientProxyStyle ? vocab::kHdrProxyConnection : vocab::kHdrConnection;
    if (!clientKeepAlive) {
        AddHeader(connection, "close");
    } else {
        AddHeader(connection, "keep-alive");
        // Without a length the browser can only tell the end from the chunks;
        // a message that has no body gets none.
        if (!HasHeader(vocab::kHdrContentLength) && HasBody()) {
            AddHeader(vocab::kHdrTransferEncoding, "chunked");
            chunked = true;
        }
    }
    return chunked;
}
