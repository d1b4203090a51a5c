#pragma once

// A scripted origin server for the end-to-end tests: it listens on a free
// loopback port in its own threads, records every request it receives and
// answers as the test tells it to, including the ways real servers misbehave.

#include "os/CCriticalSection.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace e2e {

// Case-insensitive lookups in a block of header lines.
std::string HeaderValue(std::string_view head, std::string_view name);
int HeaderCount(std::string_view head, std::string_view name);
std::vector<std::string> HeaderValues(std::string_view head, std::string_view name);

// One request as the origin received it.
struct OriginRequest {
    int connection = 0;    // accept order of the connection it came on, from 1
    int onConnection = 0;  // its place among that connection's requests, from 1
    std::string head;      // request line and fields, up to the empty line included
    std::string wireBody;  // the body as it came, chunk framing included
    std::string body;      // the body without chunk framing
    bool chunked = false;  // the body came chunked
    bool complete = false; // the body came whole (to its framed end)

    std::string RequestLine() const { return head.substr(0, head.find("\r\n")); }
    std::string Target() const; // the request-URI of the request line
    std::string Header(std::string_view name) const { return HeaderValue(head, name); }
    int Count(std::string_view name) const { return HeaderCount(head, name); }
};

// One scripted answer.
struct Reply {
    std::vector<std::string> pieces;        // sent in this order
    std::chrono::milliseconds pause{0};     // between two pieces
    std::chrono::milliseconds hangFirst{0}; // silence before the first piece
    bool closeAfter = false;                // close the connection after the last piece
    // Queued only: sent as soon as the head arrived, before the body is read
    // (an early refusal with closeAfter, or a 100 Continue). Without
    // closeAfter the body is read next and the next reply answers it.
    bool beforeBody = false;

    // A complete response with a Content-Length; keep-alive unless closeAfter.
    static Reply Text(int status, std::string body, std::string extraFields = "",
                      std::string contentType = "text/plain");
    // The body in chunks of the given sizes (the rest in one last chunk).
    static Reply Chunked(std::string body, const std::vector<std::size_t>& sizes,
                         std::string extraFields = "", std::string trailer = "");
    // No length: the body ends where the connection closes.
    static Reply UntilClose(std::string body, std::string contentType = "text/plain");
    // Raw bytes as they stand.
    static Reply Raw(std::string bytes, bool closeAfter = false);
    // Closes the connection without a word.
    static Reply Drop();
};

class Origin {
public:
    using Script = std::function<Reply(const OriginRequest&)>;

    // Without a script (and with an empty queue) every request gets a short
    // 200 text naming its target.
    // With onIPv6 it listens on ::1 alone (Port() stays 0 where it cannot).
    explicit Origin(Script script = {}, bool onIPv6 = false);
    ~Origin();
    Origin(const Origin&) = delete;
    Origin& operator=(const Origin&) = delete;

    std::uint16_t Port() const { return m_port; }
    // "http://127.0.0.1:<port>" (or "http://[::1]:<port>") followed by path.
    std::string Url(std::string_view path) const;

    // Canned answers, used in order before the script.
    void Queue(Reply reply);

    int Accepts() const { return m_accepts.load(); }
    std::vector<OriginRequest> Requests() const;
    // Waits until at least count requests arrived; false after the limit.
    bool WaitForRequests(std::size_t count,
                         std::chrono::milliseconds limit = std::chrono::seconds(5)) const;
    // Closes every connection that is waiting for its next request, as a
    // server does with idle keep-alive connections; first waits (briefly) for
    // the expected number of connections to be waiting.
    void CloseIdle(int expected = 1);

private:
    void AcceptLoop();
    void Serve(int fd, int number);
    bool Answer(int fd, const Reply& reply);
    Reply Next(const OriginRequest& request);
    // Takes the front of the queue when it is to go before the body.
    bool NextBeforeBody(Reply& reply);
    bool Stopping() const { return m_stop.load(); }

    Script m_script;
    int m_listener = -1;
    bool m_ipv6 = false;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepts{0};
    std::atomic<int> m_closeIdleGeneration{0};
    std::atomic<int> m_idle{0}; // connections waiting for their next request
    mutable CCriticalSection m_lock;
    std::deque<Reply> m_queue;
    std::vector<OriginRequest> m_requests;
    std::vector<std::thread> m_threads; // guarded by m_lock
    std::thread m_acceptor;
};

} // namespace e2e
