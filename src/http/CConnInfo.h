#pragma once

#include "text/CIString.h"

#include <cstdint>
#include <ctime>
#include <map>

class CGenericSocket;
class CSettings;

// One HTTP message, request or response, while it passes the proxy: the URL
// split into its parts, the header fields (kept sorted by name, written back in
// that order), method, version, status and the first line as read.
class CConnInfo {
public:
    enum UrlScheme : std::int32_t {
        kSchemeNone = 0,
        kSchemeHttp = 1,
        kSchemeHttps = 2,
        kSchemeFtp = 3
    };
    enum HttpMethod : std::int32_t {
        kMethodUnknown = 0,
        kMethodGet = 1,
        kMethodPut = 2,
        kMethodPost = 3,
        kMethodConnect = 4,
        kMethodOptions = 5,
        kMethodHead = 6,
        kMethodDelete = 7,
        kMethodTrace = 8,
    };
    enum MessageType : std::int32_t { kTypeUnknown = 0, kTypeRequest = 1, kTypeResponse = 2 };
    // ParseHead modes: the low four bits say what is expected; kParseOnly
    // leaves the socket's connection values alone.
    enum ParseMode : int {
        kParseAny = 0,
        kParseRequest = 1,
        kParseResponse = 2,
        kParseOnly = 0x10
    };
    enum class PatternMatch { Match, NoMatch, NoMatchPossible };

    using HeaderMap = std::multimap<CIString, CIString>;
    using HeaderPos = HeaderMap::iterator;

    // The longest head line accepted, and the bounds of a whole head.
    static constexpr std::size_t kMaxLineLength = 4096;
    static constexpr std::size_t kMaxHeadBytes = 64 * 1024;
    static constexpr int kMaxHeaderLines = 100;

    // What a parsed head says about the connection it came on and the body
    // that follows; ParseHead(socket, mode) hands it to the reading socket.
    struct Framing {
        bool proxyStyle = false;         // request only: the request-URI named a host
        bool keepAlive = false;          // the peer wants the connection kept
        bool chunked = false;            // the body comes in chunks
        std::int64_t bodyBytesLeft = -1; // -1: until the connection closes
    };

    // Where head lines come from: the reading socket in the proxy.
    class LineSource {
    public:
        virtual ~LineSource() = default;
        // The next line without its line end; throws as the socket does.
        virtual CIString ReadLine() = 0;
        // Puts a line back in front of the unread input.
        virtual void PushBackLine(const CIString& line) = 0;
    };

    // Options read from the upstream-proxy and cache settings of a group.
    struct ForwardingOptions {
        bool client = false;              // forward through an upstream proxy
        bool typeAutomatic = false;       // automatic proxy type: no upstream
        bool dontUseProxyForLocal = true; // local names go directly
        CIString dontUseProxyFor;         // host patterns and domain ends
        CIString proxyServer;             // upstream proxy host
        int proxyPort = 80;               // upstream proxy port
    };

    explicit CConnInfo(std::uint32_t ownerTag = 0);
    CConnInfo(const CConnInfo&) = default;
    CConnInfo& operator=(const CConnInfo&) = default;
    virtual ~CConnInfo() = default;

    // The start settings HTTP/1.1 and listening port: those of the running
    // settings cache (HTTP/1.1 on and 9090 without one) unless set here.
    static void SetStartOptions(bool useHttp11, int localPort);
    static bool UseHttp11();
    static int LocalPort();

    // ---- header fields ----
    // Inserts after every field of the same name; returns the new field.
    virtual HeaderPos AddHeader(CIString name, CIString value);
    virtual bool HasHeader(const CIString& name) const;
    // Copies the first value of that name; false (value untouched) when none.
    virtual bool GetHeader(const CIString& name, CIString& value) const;
    // Advances pos to the next field of that name (pos itself included) and
    // copies its value; false at the end. The caller steps past the field (or
    // erases it) before calling again.
    virtual bool FindNextHeader(const CIString& name, CIString& value, HeaderPos& pos);
    // Erases every field of that name; returns how many.
    virtual std::size_t RemoveHeader(const CIString& name);
    HeaderMap& Headers() { return m_headers; }
    const HeaderMap& Headers() const { return m_headers; }

    // A response the proxy makes itself: Reset, then type, version and status.
    virtual void InitResponse(int status);
    // Writes the head to the socket at once; returns what the socket's write returns.
    virtual long WriteHead(CGenericSocket& socket) const;

    // Empties the message for reuse; extension, localAddress, clientName,
    // proxyPort, ownerTag and parseTime survive.
    void Reset();

    // ---- reading ----
    // Reads one head from the socket; mode as in ParseMode. The method of the
    // request that a response answers tells whether a body follows (none after
    // HEAD). Raises errors::BadRequest() on a bad head from the browser,
    // errors::BadGateway() on a bad one from a server.
    void ParseHead(CGenericSocket& socket, int mode, HttpMethod requestMethod = kMethodUnknown);
    // The same from any line source; returns the framing instead of giving it
    // to a socket.
    Framing ParseHead(LineSource& lines, int mode, HttpMethod requestMethod = kMethodUnknown);
    // Fills host, port, path, extension and scheme from a URL; false when
    // neither a path nor a host was found.
    bool ParseURL(const CIString& text, bool stopAtSpace);

    // ---- derived texts ----
    void GetMethodName(CIString& text) const;
    void GetSchemeName(CIString& text) const;
    // Resolves url against this message's URL.
    void MakeAbsoluteURL(CIString& url) const;
    // The request's full URL: the request-URI made absolute (a CONNECT target
    // as it stood).
    void GetFullURL(CIString& url) const;
    // Where the browser reaches the proxy: local address, colon, listening port.
    void GetProxyAddress(CIString& text) const;
    // Content-type without its parameters; false when there is no such field.
    bool GetMediaType(CIString& text) const;
    static const char* GetStatusText(int code);

    // ---- forwarding ----
    // Host and port to connect to: the upstream proxy (true) or the URL's own.
    bool GetConnectTarget(CIString& host, std::uint16_t& port) const;
    // The options of a group's settings.
    static ForwardingOptions ForwardingOptionsOf(const CSettings& settings);
    // Decides whether this request goes through the upstream proxy.
    void SelectUpstreamProxy(const CSettings& settings);
    void SelectUpstreamProxy(const ForwardingOptions& options);
    void SetUpstreamProxy(const CIString& host, int port);
    static PatternMatch MatchHostPattern(std::string_view text, std::string_view pattern);
    // Rewrites the connection and framing fields of a server's response before
    // it goes to the browser (the header filters come after it,
    // FilterResponseHeaders). True when the body must be sent chunked.
    bool PrepareFraming(bool clientProxyStyle, bool clientKeepAlive, bool bodyWillChange);
    // The head as WriteHead sends it.
    CIString BuildHead() const;

    // True for a 1xx response other than 101: an interim answer after which
    // the final head follows on the same connection.
    bool IsInterimResponse() const;
    // False when the message can carry no body whatever its fields say
    // (1xx, 204, 304, an answer to HEAD).
    bool HasBody() const;
    // A request whose framing was ambiguous (chunked and a Content-Length):
    // the browser connection must close after it has been answered.
    bool CloseAfterResponse() const { return m_closeAfterResponse; }
    // The framing decided by the last ParseHead.
    const Framing& GetFraming() const { return m_framing; }

    // ---- accessors ----
    const CIString& Host() const { return m_host; }
    void SetHost(const CIString& host) { m_host = host; }
    const CIString& Path() const { return m_path; }
    void SetPath(const CIString& path) { m_path = path; }
    const CIString& Extension() const { return m_extension; }
    UrlScheme Scheme() const { return m_scheme; }
    void SetScheme(UrlScheme scheme) { m_scheme = scheme; }
    std::uint16_t Port() const { return m_port; }
    void SetPort(std::uint16_t port) { m_port = port; }
    bool HasProxyHost() const { return !m_proxyHost.empty(); }
    const CIString& ProxyHost() const { return m_proxyHost; }
    std::uint16_t ProxyPort() const { return m_proxyPort; }
    std::uint32_t FilterFlags() const { return m_filterFlags; }
    void SetFilterFlags(std::uint32_t flags) { m_filterFlags = flags; }
    const CIString& Reason() const { return m_reason; }
    void SetReason(const CIString& reason) { m_reason = reason; }
    const CIString& FirstLine() const { return m_firstLine; }
    const CIString& RequestUri() const { return m_requestUri; }
    void SetRequestUri(const CIString& uri) { m_requestUri = uri; }
    const CIString& Referer() const { return m_referer; }
    const CIString& UserAgent() const { return m_userAgent; }
    const CIString& LocalAddress() const { return m_localAddress; }
    void SetLocalAddress(const CIString& address) { m_localAddress = address; }
    const CIString& ClientName() const { return m_clientName; }
    void SetClientName(const CIString& name) { m_clientName = name; }
    HttpMethod Method() const { return m_method; }
    void SetMethod(HttpMethod method) { m_method = method; }
    std::int32_t Version() const { return m_version; }
    void SetVersion(std::int32_t version) { m_version = version; }
    int Status() const { return m_status; }
    void SetStatus(int status) { m_status = status; }
    MessageType Type() const { return m_type; }
    std::uint32_t HeadSize() const { return m_headSize; }
    std::uint32_t OwnerTag() const { return m_ownerTag; }
    void SetOwnerTag(std::uint32_t tag) { m_ownerTag = tag; }
    std::time_t ParseTime() const { return m_parseTime; }
    bool HeadComplete() const { return m_headComplete; }

private:
    bool ParseStatusLine(const CIString& line);
    bool ParseRequestLine(const CIString& line);
    // Writes the parsed request-URI in the one spelling that the lists judge
    // and the error pages show.
    void SpellRequestURI();
    void CheckRequestFraming();
    void CheckResponseFraming();
    Framing DecideFraming() const;
    void AppendTarget(CIString& out) const;
    // Host and port as a URL or a Host field writes them: an IPv6 literal in
    // brackets, the port only when one was named (and withPort).
    void AppendAuthority(CIString& out, bool withPort = true) const;

    CIString m_host;
    CIString m_path;
    CIString m_extension;
    UrlScheme m_scheme = kSchemeNone;
    std::uint16_t m_port = 0;
    CIString m_proxyHost;
    HeaderMap m_headers;
    std::uint32_t m_filterFlags = 0;
    std::uint16_t m_proxyPort = 0;
    CIString m_reason;
    CIString m_firstLine;
    CIString m_requestUri;
    CIString m_referer;
    CIString m_userAgent;
    CIString m_localAddress;
    CIString m_clientName;
    HttpMethod m_method = kMethodUnknown;
    std::int32_t m_version = 0;
    int m_status = 0;
    MessageType m_type = kTypeUnknown;
    std::uint32_t m_headSize = 0;
    std::uint32_t m_ownerTag;
    std::time_t m_parseTime = 0;
    bool m_headComplete = false;

    // Method of the request that this response answers.
    HttpMethod m_requestMethod = kMethodUnknown;
    bool m_closeAfterResponse = false;
    Framing m_framing;
};
