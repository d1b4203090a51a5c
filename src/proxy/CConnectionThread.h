#pragma once

#include "http/CConnInfo.h"
#include "os/CBuffer.h"
#include "os/CSplicePipe.h"
#include "os/CUnixSocket.h"
#include "os/CUnixThread.h"
#include "proxy/CConnCounter.h"
#include "settings/CSettingsRef.h"

#include <cstdint>
#include <memory>
#include <string>

class CHTMLErrException;
class CSettings;
class CStartSettings;
class CStatistic;
class CWasher;

// Serves one browser connection from accept to close: reads requests one after
// another, and carries each along the road of a request (see ServeRequest),
// relaying it to the origin server or the upstream proxy and the answer back.
class CConnectionThread : public CUnixThread {
public:
    // Registers with the counter at once, on the accepting thread, so that a
    // stop that comes before the thread runs still finds the connection.
    CConnectionThread(int fd, CConnCounter& counter, const CNetAddress& peerAddress);
    ~CConnectionThread() override;

    std::uint32_t Number() const { return m_registration.number; }

protected:
    void Run() override;

private:
    // What happens to the browser connection after a request.
    enum class Next { Request, Close };

    // Per-request values; they also form the access-log line.
    struct Exchange {
        CSettingsRef<const CSettings> settings;
        CStatistic* statistic = nullptr;
        bool accessLog = false;
        bool reverseLookup = false;
        int logStatus = 0;
        std::int64_t bytesSent = 0;
        std::uint32_t whiteFlags = 0;
        bool viaProxy = false;
        bool responseRead = false;
        bool requestSent = false; // the attempt's whole request reached the server
        std::unique_ptr<CWasher> washer;
    };

    Next ServeRequest();

    // The road of a request, in order.
    bool ReadRequestHead();
    void ChooseGroup();
    void DecideKeepAlive();
    bool ServeInternalRequest();
    void InsistOnProxyRequest();
    void CheckBlocking();
    void ConnectWithRetries();
    void TryOnce(int attempt, std::string_view host, std::uint16_t port);
    void ForwardRequestHead();
    void ForwardRequestBody(int attempt);
    void SendBodyBlock(std::string_view bytes);
    // Whether the server has something to say within timeoutMs.
    bool ServerSpeaks(int timeoutMs);
    // Waits for the next of the browser's body or the server's answer; true
    // when the server spoke first.
    bool ServerSpeaksBeforeBrowser();
    // Reads an answer that comes while the body is sent: an interim one goes
    // to the browser (false), a final one ends the body (true).
    bool ReadEarlyAnswer();
    void ReadResponseHead();
    void ParseResponseHead();
    void BlockMediaType();
    void ChooseWasher();
    void SendResponseHead();
    void RelayBody();
    void Tunnel();
    // One block of a body or a tunnel from one side to the other, spliced
    // where the bytes need not be looked at, else copied through m_body.
    // Returns the bytes moved, 0 at the end of the data; unless null, counted
    // grows by a block once it is read, before it is sent.
    std::uint64_t Pass(CUnixSocket& from, CUnixSocket& to, bool splice, std::int64_t* counted);
    void WashBody();
    void LogRequest();
    Next FinishRequest();

    // The exception paths.
    Next SendErrorPage(const CHTMLErrException& error);
    Next AbandonRequest();

    bool IsConnect() const { return m_request.Method() == CConnInfo::kMethodConnect; }
    bool DirectConnect() const { return IsConnect() && !m_exchange.viaProxy; }

    CConnCounter& m_counter;
    const CNetAddress m_peerAddress; // IPv4 clients in their IPv4 form
    CConnCounter::Registration m_registration;

    CUnixSocket m_browser;
    CUnixSocket m_server;
    CConnInfo m_request;
    CConnInfo m_response;
    CBuffer m_body;
    // Open only while a request splices (see FinishRequest).
    CSplicePipe m_pipe;
    CSettingsRef<const CStartSettings> m_start;
    Exchange m_exchange;

    // A request body is kept while it is small, so that a failed connection
    // attempt can send it again; a longer one is not retried once sent.
    static constexpr std::size_t kMaxBodyCopy = 64 * 1024;
    std::string m_bodyCopy;
    bool m_bodyStarted = false;
    bool m_bodyCopyComplete = false;
    // The server gave its final answer before it had the whole body.
    bool m_earlyAnswer = false;
};
