#include "proxy/CConnectionThread.h"

#include "http/ErrorPage.h"
#include "http/HeaderFilter.h"
#include "http/HostBlocking.h"
#include "os/CException.h"
#include "os/Limits.h"
#include "settings/CHostList.h"
#include "settings/CSettings.h"
#include "settings/CSettingsCache.h"
#include "settings/CStartSettings.h"
#include "stats/CAccessLog.h"
#include "stats/CStatistic.h"
#include "text/Vocabulary.h"
#include "washers/BodyPump.h"
#include "washers/WasherFactory.h"
#include "web/InternalDispatch.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <poll.h>

namespace {

// The body buffer keeps its storage between the blocks of one body (a block is
// at most 64 KiB), and gives it back when the request is done, so that an idle
// connection holds none.
constexpr std::uint32_t kBodyBufferKeep = 65536 + 8192;

// A body with less than this left goes by copy: a pipe's two extra calls per
// block only pay off for large transfers, and small answers keep their head
// and body in one send.
constexpr std::int64_t kSpliceFrom = 16 * 1024;

// Empty lines a browser may send between requests (some send CR LF after a
// POST body); more than this and the connection is not talking HTTP.
constexpr int kMaxStrayEmptyLines = 4;

// A server that took the whole request and then let the read limit pass.
bool IsSilence(const CException& error) {
    const auto* os = dynamic_cast<const COSErrException*>(&error);
    return os != nullptr && os->OsError() == ETIMEDOUT;
}

} // namespace

CConnectionThread::CConnectionThread(int fd, CConnCounter& counter, const CNetAddress& peerAddress)
    : m_counter(counter), m_peerAddress(peerAddress), m_registration(counter.Register([this] {
          // Called from the stopping thread while this connection is still
          // registered: wakes whatever read the thread is blocked in.
          m_browser.Abort();
          m_server.Abort();
      })),
      m_request(m_registration.number), m_response(m_registration.number) {
    m_browser.Attach(fd);
    m_browser.SetTag(m_registration.number | CGenericSocket::kTagBrowser);
    m_server.SetTag(m_registration.number | CGenericSocket::kTagServer);
}

CConnectionThread::~CConnectionThread() {
    // Unregister before the sockets close: an abort must never reach a
    // descriptor that has been closed and perhaps reused.
    m_counter.Unregister(m_registration.handle);
}

void CConnectionThread::Run() {
    CSettingsCache* cache = CSettingsCache::Current();
    if (cache == nullptr)
        return;
    m_start = cache->GetStartSettings();
    try {
        while (ServeRequest() == Next::Request) {
        }
    } catch (...) {
        // Nothing is left to tell the browser; the sockets close on the way out.
        m_server.CloseNoPool();
        m_browser.Close();
    }
}

// The road of one request. Every step is a member function below, in the same
// order; a failure anywhere ends the request as an exception, and the two
// catch blocks are the only places that handle them.
CConnectionThread::Next CConnectionThread::ServeRequest() {
    m_exchange = Exchange{};
    try {
        if (!ReadRequestHead())
            return Next::Close;
        ChooseGroup();
        DecideKeepAlive();
        if (ServeInternalRequest())
            return Next::Close;
        InsistOnProxyRequest();
        CheckBlocking();
        ConnectWithRetries();
        BlockMediaType();
        ChooseWasher();
        SendResponseHead();
        if (m_exchange.washer)
            WashBody();
        else if (IsConnect())
            Tunnel();
        else
            RelayBody();
        m_exchange.washer.reset();
    } catch (const CHTMLErrException& error) {
        return SendErrorPage(error);
    } catch (const CException&) {
        return AbandonRequest();
    }
    LogRequest();
    return FinishRequest();
}

bool CConnectionThread::ReadRequestHead() {
    m_request.Reset();
    m_response.Reset();
    const Limits& limits = Limits::Current();
    // A browser that holds a connection and asks for nothing loses it. A
    // graceful stop ends this wait at once: the abort shuts the connection
    // down, which reads as the browser's close.
    if (!m_browser.WaitForInput(limits.browserIdleMs)) {
        m_browser.Close();
        return false;
    }
    // From its first byte on, the head has one deadline, however thinly the
    // browser spreads it out.
    m_browser.SetReadDeadline(std::chrono::steady_clock::now() +
                              std::chrono::milliseconds(limits.requestHeadMs));
    try {
        for (int stray = 0;; ++stray) {
            m_browser.Reset();
            m_request.ParseHead(m_browser, CConnInfo::kParseRequest);
            if (!m_request.FirstLine().empty())
                break;
            if (stray == kMaxStrayEmptyLines)
                throw errors::BadRequest();
        }
    } catch (const COSErrException& error) {
        m_browser.ClearReadDeadline();
        if (error.OsError() == ETIMEDOUT)
            throw errors::RequestTimeout();
        throw;
    } catch (...) {
        m_browser.ClearReadDeadline();
        throw;
    }
    m_browser.ClearReadDeadline();
    return true;
}

void CConnectionThread::ChooseGroup() {
    CSettingsCache* cache = CSettingsCache::Current();
    const std::optional<CIString> group = m_start->Groups().Lookup(m_peerAddress);
    const std::string_view name = group ? group->View() : std::string_view();

    m_exchange.settings = cache->GetSettings(name);
    if (!m_exchange.settings)
        throw errors::InternalError();
    m_exchange.statistic = cache->GetStatistic(name);
    m_exchange.statistic->Increment(CStatistic::Requests);
    m_browser.AttachStatistics(m_exchange.statistic);

    const CSettings& settings = *m_exchange.settings;
    m_exchange.accessLog = settings.IsOn(CSettings::kProxyEngineAccessLog);
    m_exchange.reverseLookup = settings.IsOn(CSettings::kProxyEngineAccessLogLookup);
}

void CConnectionThread::DecideKeepAlive() {
    // A request that carried both chunks and a length may have more behind
    // it than either says: it is answered, then the connection closes.
    if (!m_start->UseHTTP11() || IsConnect() || m_request.CloseAfterResponse())
        m_browser.SetKeepAlive(false);
}

bool CConnectionThread::ServeInternalRequest() {
    if (!Dispatch(*m_exchange.settings, m_browser, m_request))
        return false;
    // The proxy's own pages are answered on a connection of their own.
    m_exchange.settings.reset();
    m_browser.Close();
    return true;
}

void CConnectionThread::InsistOnProxyRequest() {
    const bool http = m_request.Scheme() == CConnInfo::kSchemeHttp;
    if (!m_browser.ProxyStyle() || !(http || IsConnect()))
        throw errors::NoProxyRequest();
}

void CConnectionThread::CheckBlocking() {
    const CSettings& settings = *m_exchange.settings;
    CIString url;
    m_request.GetFullURL(url);
    m_exchange.whiteFlags = settings.WhiteList().Lookup(url.View());
    if (m_exchange.whiteFlags & kWhiteBlocking)
        return;
    if (settings.IsOn(CSettings::kAccessControlEnabled))
        CheckBlockedURL(m_request, settings);
    CheckBlockedHost(m_request, settings, CHostList::Current().get());
}

void CConnectionThread::ConnectWithRetries() {
    m_bodyCopy.clear();
    m_bodyStarted = false;
    m_bodyCopyComplete = false;
    const CSettings& settings = *m_exchange.settings;
    m_request.SelectUpstreamProxy(settings);
    CIString host;
    std::uint16_t port = 0;
    m_exchange.viaProxy = m_request.GetConnectTarget(host, port);
    const int limit =
        std::max(1, settings.GetInt(m_exchange.viaProxy ? CSettings::kProxyEngineProxyRetry
                                                        : CSettings::kProxyEngineServerRetry));
    bool badAnswer = false;
    for (int attempt = 0; attempt < limit; ++attempt) {
        m_exchange.requestSent = false;
        try {
            TryOnce(attempt, host.View(), port);
            return;
        } catch (const CException& error) {
            // A connection that failed is never offered to the next request,
            // nor waited for: a silent server would not close its side.
            m_server.Drop();
            // A body the browser framed badly is its own fault, whatever the
            // server would have said.
            if (error.Serial() == errors::BadRequest().Serial())
                throw;
            // The retry is for connections that fail before the request is
            // through, or that the server closed. One that took the request
            // and stayed silent would only make the browser wait twice.
            if (m_exchange.requestSent && IsSilence(error))
                throw errors::GatewayTimeout();
            // A server that answered with something unreadable is not one
            // that could not be reached, and is not asked again: it has
            // acted on the request already, perhaps.
            badAnswer = error.Serial() == errors::BadGateway().Serial();
            if (badAnswer)
                break;
            // Once the browser has sent more body than was kept, there is
            // nothing complete to send again.
            if (m_bodyStarted && !m_bodyCopyComplete)
                break;
        }
    }
    if (badAnswer)
        throw errors::BadGateway();
    throw errors::CannotConnect();
}

void CConnectionThread::TryOnce(int attempt, std::string_view host, std::uint16_t port) {
    m_server.Reset();
    m_server.AttachStatistics(m_exchange.statistic);
    m_server.SetProxyStyle(m_exchange.viaProxy);

    // Only the first attempt may take an idle connection: a later one follows
    // a failure, perhaps of exactly such a connection.
    m_server.Connect(host, port, attempt == 0);
    m_server.SetKeepAlive(m_start->UseHTTP11() && !IsConnect());
    m_earlyAnswer = false;

    ForwardRequestHead();
    ForwardRequestBody(attempt);
    m_exchange.requestSent = true;
    ReadResponseHead();
}

void CConnectionThread::ForwardRequestHead() {
    m_request.RemoveHeader(vocab::kHdrConnection);
    m_request.RemoveHeader(vocab::kHdrProxyConnection);
    // Upgrade belongs to the browser's connection, whose Connection field is
    // not passed on; a server that took it all the same would switch the
    // connection to a protocol the proxy does not relay.
    m_request.RemoveHeader(vocab::kHdrUpgrade);
    m_request.AddHeader(m_exchange.viaProxy ? vocab::kHdrProxyConnection : vocab::kHdrConnection,
                        m_server.KeepAlive() ? "keep-alive" : "close");
    m_request.SetFilterFlags(m_exchange.whiteFlags);
    if (DirectConnect())
        return; // the tunnel starts with the browser's own bytes
    FilterRequestHeaders(m_request, *m_exchange.settings);
    if (washers::CouldEngage(*m_exchange.settings, m_exchange.whiteFlags))
        LimitAcceptEncoding(m_request);
    m_request.WriteHead(m_server);
}

// Relays the request body with the proxy's own framing: the length the browser
// announced, or chunks re-written as read. Never more than the body itself:
// what the browser sent behind it is its next request. A server may answer
// before it has the body (a refusal, or 100 Continue to ask for it), so it is
// watched all along; a final answer stops the body.
void CConnectionThread::ForwardRequestBody(int attempt) {
    const bool chunked = m_browser.ChunkedInput();
    if (!chunked && m_browser.BodyBytesLeft() <= 0 && !m_bodyStarted)
        return;
    m_server.SetChunkedOutput(chunked);
    if (attempt > 0 && m_bodyStarted) {
        // The body was read for an earlier attempt and kept whole.
        if (!m_bodyCopy.empty())
            SendBodyBlock(m_bodyCopy);
    } else {
        m_bodyStarted = true;
        bool kept = true;
        // A browser that sent "Expect: 100-continue" waits for the server's
        // 100 (or its own timer) before its body comes: whatever the server
        // says in the meantime goes to the browser at once.
        while (!m_browser.EndOfData()) {
            if (ServerSpeaksBeforeBrowser()) {
                if (ReadEarlyAnswer())
                    break;
                continue;
            }
            if (m_browser.Read(m_body) == 0)
                break;
            if (kept && m_bodyCopy.size() + m_body.Size() <= kMaxBodyCopy)
                m_bodyCopy.append(m_body.Data(), m_body.Size());
            else
                kept = false;
            SendBodyBlock(m_body.View());
            m_body.Clear(kBodyBufferKeep);
            if (m_earlyAnswer)
                break;
        }
        m_body.Clear(kBodyBufferKeep);
        m_bodyCopyComplete = kept;
    }
    if (chunked && !m_earlyAnswer)
        m_server.Send(nullptr, 0); // the last chunk
    m_server.SetChunkedOutput(false);
}

void CConnectionThread::SendBodyBlock(std::string_view bytes) {
    try {
        m_server.Send(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    } catch (const CException&) {
        // A server that answered and closed refuses the rest of the body; its
        // answer may be waiting still.
        if (!ServerSpeaks(0) || !ReadEarlyAnswer())
            throw;
    }
}

bool CConnectionThread::ServerSpeaks(int timeoutMs) {
    if (!m_server.Input().Empty())
        return true;
    pollfd server{m_server.Descriptor(), POLLIN, 0};
    int rc;
    while ((rc = ::poll(&server, 1, timeoutMs)) < 0 && errno == EINTR) {
    }
    return rc > 0;
}

bool CConnectionThread::ServerSpeaksBeforeBrowser() {
    if (!m_server.Input().Empty())
        return true;
    if (!m_browser.Input().Empty())
        return false;
    pollfd fds[2] = {{m_server.Descriptor(), POLLIN, 0}, {m_browser.Descriptor(), POLLIN, 0}};
    // Without news from either side the browser read decides, with its own
    // time limit.
    const int limit = m_browser.ReadTimeout() > 0 ? m_browser.ReadTimeout() : -1;
    int rc;
    while ((rc = ::poll(fds, 2, limit)) < 0 && errno == EINTR) {
    }
    return rc > 0 && fds[0].revents != 0;
}

bool CConnectionThread::ReadEarlyAnswer() {
    m_response.Reset();
    m_response.SetFilterFlags(m_exchange.whiteFlags);
    ParseResponseHead();
    if (m_response.IsInterimResponse()) {
        if (m_request.Version() > 0x10000)
            m_response.WriteHead(m_browser);
        return false;
    }
    // The rest of the body is never sent, nor read: the browser connection
    // closes after this answer, and the server may still wait for bytes.
    m_earlyAnswer = true;
    m_browser.SetKeepAlive(false);
    m_server.SetKeepAlive(false);
    return true;
}

void CConnectionThread::ReadResponseHead() {
    if (m_earlyAnswer) {
        // The final answer came while the body was sent, and is read.
        m_exchange.responseRead = true;
        return;
    }
    m_response.Reset();
    m_response.SetFilterFlags(m_exchange.whiteFlags);
    if (DirectConnect()) {
        m_response.InitResponse(200);
        m_exchange.responseRead = true;
        return;
    }
    ParseResponseHead();
    // Interim answers (100 Continue, 103 Early Hints) come before the real one:
    // an HTTP/1.1 browser sees them, an HTTP/1.0 browser would not understand.
    // A few at most: a server that never comes to its answer fails the attempt.
    for (int interim = 1; m_response.IsInterimResponse(); ++interim) {
        if (interim > Limits::Current().maxInterim)
            throw errors::BadGateway();
        if (m_request.Version() > 0x10000)
            m_browser.SendInterim(m_response.BuildHead().View());
        m_response.Reset();
        m_response.SetFilterFlags(m_exchange.whiteFlags);
        ParseResponseHead();
    }
    m_exchange.responseRead = true;
}

void CConnectionThread::ParseResponseHead() {
    m_response.ParseHead(m_server, CConnInfo::kParseResponse, m_request.Method());
    // An answer without a status line is no answer: the browser would get it
    // as a head of nonsense.
    if (m_response.Type() != CConnInfo::kTypeResponse)
        throw errors::BadGateway();
    // A switched protocol is carried through CONNECT tunnels only, and no
    // upgrade is asked for on the way to the server. What follows a 101 is
    // nothing the proxy can read, and the connection could never be handed
    // to the next request: the attempt fails and the connection is dropped.
    if (m_response.Status() == 101)
        throw errors::BadGateway();
}

void CConnectionThread::BlockMediaType() {
    const CSettings& settings = *m_exchange.settings;
    if (!MediaCheckWanted(m_response, settings))
        return;
    CIString mediaType;
    m_response.GetMediaType(mediaType);
    CheckMediaType(mediaType, settings, m_request);
}

void CConnectionThread::ChooseWasher() {
    WasherContext context;
    context.settings = m_exchange.settings;
    context.statistic = m_exchange.statistic;
    context.request = &m_request;
    context.whiteFlags = m_exchange.whiteFlags;
    context.body = &m_body;
    m_exchange.washer = washers::CreateWasherFor(m_response, std::move(context));
}

void CConnectionThread::SendResponseHead() {
    const bool chunked = m_response.PrepareFraming(m_browser.ProxyStyle(), m_browser.KeepAlive(),
                                                   m_exchange.washer != nullptr);
    FilterResponseHeaders(m_response, *m_exchange.settings, m_request);
    if (m_exchange.washer) {
        CIString coding;
        if (m_response.GetHeader(vocab::kHdrContentEncoding, coding) &&
            m_server.SetupDecoder(coding.View()))
            m_response.RemoveHeader(vocab::kHdrContentEncoding);
    }
    m_exchange.logStatus = m_response.Status();
    if (IsConnect()) {
        m_response.WriteHead(m_browser); // the browser waits for it before it speaks
    } else {
        // The head leaves together with the first block of the body.
        m_browser.Hold(m_response.BuildHead().View());
    }
    m_browser.SetChunkedOutput(chunked);
}

std::uint64_t CConnectionThread::Pass(CUnixSocket& from, CUnixSocket& to, bool splice,
                                      std::int64_t* counted) {
    if (splice) {
        const std::int64_t moved = from.SpliceTo(to, m_pipe, counted);
        if (moved != CUnixSocket::kCopyInstead)
            return static_cast<std::uint64_t>(moved);
    }
    const std::uint32_t n = from.Read(m_body);
    if (n > 0) {
        if (counted != nullptr)
            *counted += n;
        to.Send(m_body.Data(), m_body.Size());
    }
    m_body.Clear(kBodyBufferKeep);
    return n;
}

void CConnectionThread::RelayBody() {
    for (;;) {
        // A body read to the close may be long; a short rest is copied.
        const std::int64_t left = m_server.BodyBytesLeft();
        if (Pass(m_server, m_browser, left < 0 || left >= kSpliceFrom, &m_exchange.bytesSent) == 0)
            break;
    }
}

void CConnectionThread::Tunnel() {
    // A tunnel may stay quiet for as long as it likes while both ways are
    // open; every read below follows a wait.
    m_server.SetReadTimeout(0);
    m_browser.SetReadTimeout(0);
    m_browser.SetBodyBytesLeft(-1);
    m_server.SetBodyBytesLeft(-1);
    // Each direction runs until its sender shuts it; the shutdown is passed on
    // and the other direction goes on: a client that has sent its last bytes
    // may still be waiting for the answer.
    bool up = true;   // browser to server
    bool down = true; // server to browser
    while (up || down) {
        bool fromServer = down;
        if (up && down) {
            fromServer = m_browser.WaitReadable(&m_server, 0);
        } else if (!(down ? m_server : m_browser).WaitForInput(Limits::Current().serverReadMs)) {
            break; // half a tunnel left silent: nobody is waiting any more
        }
        CUnixSocket& from = fromServer ? m_server : m_browser;
        CUnixSocket& to = fromServer ? m_browser : m_server;
        if (Pass(from, to, true, fromServer ? &m_exchange.bytesSent : nullptr) == 0) {
            to.ShutdownSend();
            (fromServer ? down : up) = false;
        }
    }
    m_body.Clear(kBodyBufferKeep);
    // A tunnel ends with either side; neither connection can carry more.
    m_browser.SetKeepAlive(false);
    m_server.SetKeepAlive(false);
}

void CConnectionThread::WashBody() {
    const washers::PumpResult result = washers::PumpBody(
        *m_exchange.washer, m_body, [this](CBuffer& body) { return m_server.Read(body) > 0; },
        [this](std::string_view bytes) {
            m_browser.Send(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        });
    m_exchange.bytesSent += result.bytesSent;
    // A washer that needed no more leaves the rest of the server's body unread.
    if (!result.sourceEnded)
        m_server.SetKeepAlive(false);
}

void CConnectionThread::LogRequest() {
    if (!m_exchange.accessLog)
        return;
    CAccessLog::Record record;
    record.firstLine = m_request.FirstLine().View();
    record.referer = m_request.Referer().View();
    record.userAgent = m_request.UserAgent().View();
    record.status = m_exchange.logStatus;
    record.bytes = m_exchange.bytesSent;
    record.clientAddress = m_peerAddress;
    record.reverseLookup = m_exchange.reverseLookup;
    CAccessLog::Instance().Write(record);
}

CConnectionThread::Next CConnectionThread::FinishRequest() {
    m_exchange.washer.reset();
    m_body.Clear(0);
    m_pipe.Close();
    m_exchange.settings.reset();
    // Pooled when both sides kept it alive and the response was read to its end.
    m_server.Close();
    m_browser.Flush(); // a head without a body is still held
    if (!m_browser.KeepAlive())
        m_browser.Close();
    else if (m_browser.ChunkedOutput())
        m_browser.Send(nullptr, 0); // the last chunk
    return m_browser.IsOpen() ? Next::Request : Next::Close;
}

CConnectionThread::Next CConnectionThread::SendErrorPage(const CHTMLErrException& error) {
    m_exchange.logStatus = error.Status();
    // A head refused before its group was known is logged all the same: a
    // malformed or smuggling request is what the administrator looks for.
    if (!m_exchange.settings) {
        try {
            ChooseGroup();
        } catch (const CException&) {
            m_exchange.accessLog = false;
        }
    }
    if (!error.KeepAliveAllowed())
        m_browser.SetKeepAlive(false);
    if (!error.KeepServerAllowed())
        m_server.CloseNoPool();
    try {
        const CConnInfo* response = m_exchange.responseRead ? &m_response : nullptr;
        m_exchange.bytesSent += errorpage::Send(error, m_request.OwnerTag(), m_browser, &m_request,
                                                response, m_peerAddress);
    } catch (const CException&) {
        m_browser.SetKeepAlive(false); // the browser is gone
    }
    LogRequest();
    return FinishRequest();
}

CConnectionThread::Next CConnectionThread::AbandonRequest() {
    m_browser.SetKeepAlive(false);
    m_server.CloseNoPool();
    // A browser that closed between requests asked for nothing: no log line.
    if (!m_request.FirstLine().empty())
        LogRequest();
    return FinishRequest();
}
