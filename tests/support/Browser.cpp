#include "support/Browser.h"

#include "support/Origin.h"
#include "support/Tcp.h"

#include <cstdlib>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace e2e {

std::string Response::Header(std::string_view name) const {
    return HeaderValue(head, name);
}

int Response::Count(std::string_view name) const {
    return HeaderCount(head, name);
}

std::vector<std::string> Response::Values(std::string_view name) const {
    return HeaderValues(head, name);
}

std::string HostOf(const std::string& url) {
    const std::size_t start = url.find("://");
    if (start == std::string::npos)
        return {};
    const std::size_t end = url.find('/', start + 3);
    return url.substr(start + 3, end == std::string::npos ? std::string::npos : end - start - 3);
}

Browser::Browser(std::uint16_t proxyPort, bool overIPv6)
    : m_fd(overIPv6 ? Connect6(proxyPort) : Connect(proxyPort)) {}

Browser::~Browser() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool Browser::Send(std::string_view bytes) {
    std::size_t sent = 0;
    while (m_fd >= 0 && sent < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return m_fd >= 0;
}

bool Browser::Get(const std::string& url, const std::string& extraFields) {
    return Send("GET " + url + " HTTP/1.1\r\nHost: " + HostOf(url) + "\r\n" + extraFields + "\r\n");
}

bool Browser::WaitFor(std::string_view text, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (m_input.find(text) == std::string::npos)
        if (!More(deadline))
            return false;
    return true;
}

bool Browser::More(std::chrono::steady_clock::time_point deadline) {
    if (m_fd < 0 || m_eof)
        return false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0)
            return false;
        if (ready == 0)
            continue;
        char buffer[16384];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            m_eof = true;
            return false;
        }
        m_input.append(buffer, static_cast<std::size_t>(n));
        return true;
    }
}

bool Browser::Line(std::string& line, std::chrono::steady_clock::time_point deadline) {
    std::size_t end;
    while ((end = m_input.find("\r\n")) == std::string::npos)
        if (!More(deadline))
            return false;
    line = m_input.substr(0, end);
    m_input.erase(0, end + 2);
    return true;
}

std::string Browser::ReadInterim(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::size_t end;
    while ((end = m_input.find("\r\n\r\n")) == std::string::npos)
        if (!More(deadline))
            return {};
    if (m_input.rfind("HTTP/1.1 1", 0) != 0)
        return {};
    std::string head = m_input.substr(0, end + 4);
    m_input.erase(0, end + 4);
    return head;
}

Response Browser::Read(bool headRequest, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    Response response;
    for (;;) {
        std::size_t end;
        while ((end = m_input.find("\r\n\r\n")) == std::string::npos)
            if (!More(deadline))
                return response;
        std::string head = m_input.substr(0, end + 4);
        m_input.erase(0, end + 4);
        const std::size_t blank = head.find(' ');
        const int status = blank == std::string::npos ? 0 : std::atoi(head.c_str() + blank + 1);
        if (status >= 100 && status < 200 && status != 101) {
            response.interim.push_back(std::move(head));
            continue;
        }
        response.head = std::move(head);
        response.status = status;
        break;
    }
    response.received = true;

    const std::string encoding = response.Header("Transfer-Encoding");
    const std::string length = response.Header("Content-Length");
    if (headRequest || response.status == 204 || response.status == 304) {
        response.complete = true;
    } else if (encoding.find("chunked") != std::string::npos) {
        response.chunked = true;
        for (;;) {
            std::string sizeLine;
            if (!Line(sizeLine, deadline))
                return response;
            const std::size_t size = std::strtoul(sizeLine.c_str(), nullptr, 16);
            if (size == 0) {
                // Trailer fields up to the empty line.
                for (std::string trailer = "x"; !trailer.empty();)
                    if (!Line(trailer, deadline))
                        return response;
                break;
            }
            while (m_input.size() < size + 2)
                if (!More(deadline))
                    return response;
            response.body += m_input.substr(0, size);
            m_input.erase(0, size + 2);
        }
        response.complete = true;
    } else if (!length.empty()) {
        const std::size_t size = std::strtoul(length.c_str(), nullptr, 10);
        while (m_input.size() < size)
            if (!More(deadline))
                return response;
        response.body = m_input.substr(0, size);
        m_input.erase(0, size);
        response.complete = true;
    } else {
        // No length: the body runs until the connection closes.
        while (More(deadline)) {
        }
        response.body = std::move(m_input);
        m_input.clear();
        response.complete = m_eof;
    }
    return response;
}

bool Browser::ClosedByPeer(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const std::size_t before = m_input.size();
    while (More(deadline)) {
    }
    return m_eof && m_input.size() == before;
}

} // namespace e2e
