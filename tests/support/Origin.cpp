#include "support/Origin.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace e2e {

namespace {

constexpr auto kTick = std::chrono::milliseconds(20);
// How long a request may take to arrive once it has begun.
constexpr auto kRequestLimit = std::chrono::seconds(5);

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// Calls visit(name, value) for each field line of a head (the first line is
// the request or status line).
template <typename Visit> void ForEachField(std::string_view head, Visit visit) {
    std::size_t at = head.find("\r\n");
    while (at != std::string_view::npos) {
        at += 2;
        const std::size_t end = head.find("\r\n", at);
        if (end == std::string_view::npos || end == at)
            break;
        const std::string_view line = head.substr(at, end - at);
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos) {
            std::string_view value = line.substr(colon + 1);
            while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
                value.remove_prefix(1);
            while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
                value.remove_suffix(1);
            visit(line.substr(0, colon), value);
        }
        at = end;
    }
}

const char* ReasonOf(int status) {
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 304:
        return "Not Modified";
    case 404:
        return "Not Found";
    default:
        return "Scripted";
    }
}

std::string Hex(std::size_t n) {
    char text[32];
    std::snprintf(text, sizeof text, "%zx", n);
    return text;
}

} // namespace

std::string HeaderValue(std::string_view head, std::string_view name) {
    std::string found;
    bool seen = false;
    ForEachField(head, [&](std::string_view field, std::string_view value) {
        if (!seen && EqualsNoCase(field, name)) {
            found = value;
            seen = true;
        }
    });
    return found;
}

int HeaderCount(std::string_view head, std::string_view name) {
    int count = 0;
    ForEachField(head, [&](std::string_view field, std::string_view) {
        if (EqualsNoCase(field, name))
            ++count;
    });
    return count;
}

std::vector<std::string> HeaderValues(std::string_view head, std::string_view name) {
    std::vector<std::string> values;
    ForEachField(head, [&](std::string_view field, std::string_view value) {
        if (EqualsNoCase(field, name))
            values.emplace_back(value);
    });
    return values;
}

std::string OriginRequest::Target() const {
    const std::string line = RequestLine();
    const std::size_t first = line.find(' ');
    const std::size_t second = line.find(' ', first + 1);
    if (first == std::string::npos || second == std::string::npos)
        return {};
    return line.substr(first + 1, second - first - 1);
}

Reply Reply::Text(int status, std::string body, std::string extraFields, std::string contentType) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + ReasonOf(status) + "\r\n";
    if (!contentType.empty())
        head += "Content-Type: " + contentType + "\r\n";
    head += "Content-Length: " + std::to_string(body.size()) + "\r\n" + extraFields + "\r\n";
    return Reply{{head + body}};
}

Reply Reply::Chunked(std::string body, const std::vector<std::size_t>& sizes,
                     std::string extraFields, std::string trailer) {
    std::string bytes = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                        "Transfer-Encoding: chunked\r\n" +
                        extraFields + "\r\n";
    std::size_t at = 0;
    for (std::size_t size : sizes) {
        if (at >= body.size())
            break;
        size = std::min(size, body.size() - at);
        // A chunk extension, which a reader must skip.
        bytes += Hex(size) + ";note=x\r\n" + body.substr(at, size) + "\r\n";
        at += size;
    }
    if (at < body.size())
        bytes += Hex(body.size() - at) + "\r\n" + body.substr(at) + "\r\n";
    bytes += "0\r\n" + trailer + "\r\n";
    return Reply{{bytes}};
}

Reply Reply::UntilClose(std::string body, std::string contentType) {
    Reply reply{{"HTTP/1.1 200 OK\r\nContent-Type: " + contentType + "\r\n\r\n" + body}};
    reply.closeAfter = true;
    return reply;
}

Reply Reply::Raw(std::string bytes, bool closeAfter) {
    Reply reply{{std::move(bytes)}};
    reply.closeAfter = closeAfter;
    return reply;
}

Reply Reply::Drop() {
    Reply reply;
    reply.closeAfter = true;
    return reply;
}

Origin::Origin(Script script, bool onIPv6) : m_script(std::move(script)), m_ipv6(onIPv6) {
    if (onIPv6) {
        m_listener = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_loopback;
        if (m_listener >= 0 &&
            ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(m_listener, 64) == 0) {
            socklen_t length = sizeof address;
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
            m_port = ntohs(address.sin6_port);
        }
        m_acceptor = std::thread([this] { AcceptLoop(); });
        return;
    }
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::listen(m_listener, 64) == 0) {
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    m_acceptor = std::thread([this] { AcceptLoop(); });
}

Origin::~Origin() {
    m_stop = true;
    m_acceptor.join();
    ::close(m_listener);
    std::vector<std::thread> threads;
    {
        StCritical guard(m_lock);
        threads.swap(m_threads);
    }
    for (auto& thread : threads)
        thread.join();
}

std::string Origin::Url(std::string_view path) const {
    return (m_ipv6 ? "http://[::1]:" : "http://127.0.0.1:") + std::to_string(m_port) +
           std::string(path);
}

void Origin::Queue(Reply reply) {
    StCritical guard(m_lock);
    m_queue.push_back(std::move(reply));
}

std::vector<OriginRequest> Origin::Requests() const {
    StCritical guard(m_lock);
    return m_requests;
}

bool Origin::WaitForRequests(std::size_t count, std::chrono::milliseconds limit) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        {
            StCritical guard(m_lock);
            if (m_requests.size() >= count)
                return true;
        }
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(kTick);
    }
}

void Origin::CloseIdle(int expected) {
    // A connection that has just answered may not be waiting for its next
    // request yet: wait until the expected ones are.
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (m_idle.load() < expected && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(kTick);
    ++m_closeIdleGeneration;
    // Each idle connection notices within one tick; wait until all have.
    end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (m_idle.load() > 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(kTick);
}

void Origin::AcceptLoop() {
    while (!Stopping()) {
        pollfd p{m_listener, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(kTick.count())) <= 0)
            continue;
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        const int number = ++m_accepts;
        StCritical guard(m_lock);
        m_threads.emplace_back([this, fd, number] { Serve(fd, number); });
    }
}

Reply Origin::Next(const OriginRequest& request) {
    {
        StCritical guard(m_lock);
        if (!m_queue.empty()) {
            Reply reply = std::move(m_queue.front());
            m_queue.pop_front();
            return reply;
        }
    }
    if (m_script)
        return m_script(request);
    return Reply::Text(200, "origin:" + request.Target());
}

bool Origin::NextBeforeBody(Reply& reply) {
    StCritical guard(m_lock);
    if (m_queue.empty() || !m_queue.front().beforeBody)
        return false;
    reply = std::move(m_queue.front());
    m_queue.pop_front();
    return true;
}

namespace {

// One connection's input: receives with short polls so that a stop is seen.
class Input {
public:
    explicit Input(int fd) : m_fd(fd) {}
    std::string bytes;

    // Receives once more; false on end of input, error, stop or deadline.
    template <typename Stop> bool More(std::chrono::steady_clock::time_point deadline, Stop stop) {
        while (!stop()) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            pollfd p{m_fd, POLLIN, 0};
            const int ready = ::poll(&p, 1, static_cast<int>(kTick.count()));
            if (ready < 0)
                return false;
            if (ready == 0)
                continue;
            char buffer[16384];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return false;
            bytes.append(buffer, static_cast<std::size_t>(n));
            return true;
        }
        return false;
    }

private:
    int m_fd;
};

} // namespace

void Origin::Serve(int fd, int number) {
    Input input(fd);
    auto stop = [this] { return Stopping(); };
    for (int served = 1; !Stopping(); ++served) {
        // Wait for the next request; an idle connection may be told to close.
        const int generation = m_closeIdleGeneration.load();
        bool idle = input.bytes.empty();
        if (idle)
            ++m_idle;
        bool closing = false;
        const auto headDeadline = std::chrono::steady_clock::now() + kRequestLimit;
        while (input.bytes.find("\r\n\r\n") == std::string::npos) {
            if (Stopping() || (idle && m_closeIdleGeneration.load() != generation) ||
                (!idle && std::chrono::steady_clock::now() >= headDeadline)) {
                closing = true;
                break;
            }
            pollfd p{fd, POLLIN, 0};
            const int ready = ::poll(&p, 1, static_cast<int>(kTick.count()));
            if (ready == 0)
                continue;
            char buffer[16384];
            const ssize_t n = ready < 0 ? -1 : ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                closing = true;
                break;
            }
            input.bytes.append(buffer, static_cast<std::size_t>(n));
            if (idle) {
                idle = false;
                --m_idle;
            }
        }
        if (idle)
            --m_idle;
        if (closing)
            break;

        OriginRequest request;
        request.connection = number;
        request.onConnection = served;
        const std::size_t headEnd = input.bytes.find("\r\n\r\n") + 4;
        request.head = input.bytes.substr(0, headEnd);
        input.bytes.erase(0, headEnd);
        Reply early;
        if (NextBeforeBody(early)) {
            if (!Answer(fd, early))
                break;
            if (early.closeAfter) {
                // What came of the body with the head is all it ever gets.
                request.wireBody = input.bytes;
                {
                    StCritical guard(m_lock);
                    m_requests.push_back(request);
                }
                // A lingering close, as servers do: closing with the body
                // unread would reset the connection under the answer.
                ::shutdown(fd, SHUT_WR);
                const auto linger = std::chrono::steady_clock::now() + std::chrono::seconds(2);
                while (input.More(linger, stop)) {
                }
                break;
            }
        }
        const auto deadline = std::chrono::steady_clock::now() + kRequestLimit;

        const std::string encoding = request.Header("Transfer-Encoding");
        request.chunked = encoding.find("chunked") != std::string::npos;
        // Where the line that starts at from ends, reading as far as needed;
        // npos when the input ends first.
        const auto lineEnd = [&](std::size_t from) {
            std::size_t end;
            while ((end = input.bytes.find("\r\n", from)) == std::string::npos)
                if (!input.More(deadline, stop))
                    return std::string::npos;
            return end;
        };
        const auto have = [&](std::size_t n) {
            while (input.bytes.size() < n)
                if (!input.More(deadline, stop))
                    return false;
            return true;
        };
        bool complete = true;
        if (request.chunked) {
            std::size_t at = 0;
            for (;;) {
                const std::size_t end = lineEnd(at);
                if (end == std::string::npos) {
                    complete = false;
                    break;
                }
                const std::size_t size = std::strtoul(input.bytes.c_str() + at, nullptr, 16);
                at = end + 2;
                if (size == 0) {
                    // The trailer runs to an empty line.
                    std::size_t trailer;
                    while ((trailer = lineEnd(at)) != std::string::npos && trailer != at)
                        at = trailer + 2;
                    complete = trailer != std::string::npos;
                    if (complete)
                        at = trailer + 2;
                    break;
                }
                if (!have(at + size + 2)) {
                    complete = false;
                    break;
                }
                request.body += input.bytes.substr(at, size);
                at += size + 2;
            }
            const std::size_t used = std::min(at, input.bytes.size());
            request.wireBody = input.bytes.substr(0, complete ? used : input.bytes.size());
            input.bytes.erase(0, complete ? used : input.bytes.size());
        } else {
            const std::string length = request.Header("Content-Length");
            const std::size_t size = length.empty() ? 0 : std::strtoul(length.c_str(), nullptr, 10);
            complete = have(size);
            request.wireBody = input.bytes.substr(0, std::min(size, input.bytes.size()));
            input.bytes.erase(0, request.wireBody.size());
            request.body = request.wireBody;
        }
        request.complete = complete;
        {
            StCritical guard(m_lock);
            m_requests.push_back(request);
        }
        if (!complete)
            break;
        const Reply reply = Next(request);
        if (!Answer(fd, reply) || reply.closeAfter)
            break;
    }
    ::close(fd);
}

bool Origin::Answer(int fd, const Reply& reply) {
    auto wait = [this](std::chrono::milliseconds span) {
        const auto end = std::chrono::steady_clock::now() + span;
        while (!Stopping() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(kTick, span));
    };
    wait(reply.hangFirst);
    for (std::size_t i = 0; i < reply.pieces.size(); ++i) {
        if (i > 0)
            wait(reply.pause);
        if (Stopping())
            return false;
        const std::string& piece = reply.pieces[i];
        std::size_t sent = 0;
        // A peer that stops reading a long body must not hold this thread
        // past the test: the wait for room ends when the origin stops.
        while (sent < piece.size()) {
            const ssize_t n =
                ::send(fd, piece.data() + sent, piece.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
                if (Stopping())
                    return false;
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, static_cast<int>(kTick.count()));
                continue;
            }
            if (n <= 0)
                return false;
            sent += static_cast<std::size_t>(n);
        }
    }
    return true;
}

} // namespace e2e
