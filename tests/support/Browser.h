#pragma once

// A minimal browser for the end-to-end tests: one TCP connection to the proxy,
// requests written as given, responses read with their framing.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace e2e {

struct Response {
    bool received = false; // a whole head arrived
    bool complete = false; // and the body to its framed end
    int status = 0;
    std::string head;                 // status line and fields, the empty line included
    std::string body;                 // without chunk framing
    bool chunked = false;             // the body came chunked
    std::vector<std::string> interim; // heads of 1xx responses that came first

    std::string StatusLine() const { return head.substr(0, head.find("\r\n")); }
    std::string Header(std::string_view name) const;
    int Count(std::string_view name) const;
    std::vector<std::string> Values(std::string_view name) const;
    bool Has(std::string_view name) const { return Count(name) > 0; }
};

class Browser {
public:
    // Connects from 127.0.0.1, or from ::1 with overIPv6.
    explicit Browser(std::uint16_t proxyPort, bool overIPv6 = false);
    ~Browser();
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    bool Connected() const { return m_fd >= 0; }
    bool Send(std::string_view bytes);
    // A GET in proxy form (absolute URL), HTTP/1.1, with a Host field.
    bool Get(const std::string& url, const std::string& extraFields = "");

    // Reads one response (after any 1xx responses); headRequest says that no
    // body follows whatever the fields announce.
    Response Read(bool headRequest = false,
                  std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Reads one 1xx head (a client waiting for 100 Continue before its body);
    // empty when none came within the limit or another head came instead.
    std::string ReadInterim(std::chrono::milliseconds limit = std::chrono::seconds(5));
    // True when the proxy closed the connection within the limit and sent
    // nothing more.
    bool ClosedByPeer(std::chrono::milliseconds limit = std::chrono::seconds(3));
    // Bytes received and not yet consumed by Read.
    const std::string& Unread() const { return m_input; }
    // Receives until the unread bytes hold text; false when the limit passes first.
    bool WaitFor(std::string_view text, std::chrono::milliseconds limit);

private:
    // Receives once; false on end of input, error or deadline.
    bool More(std::chrono::steady_clock::time_point deadline);
    bool Line(std::string& line, std::chrono::steady_clock::time_point deadline);

    int m_fd = -1;
    bool m_eof = false;
    std::string m_input;
};

// The host and port part of an absolute http URL, for a Host field.
std::string HostOf(const std::string& url);

} // namespace e2e
