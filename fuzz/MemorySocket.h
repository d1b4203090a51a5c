#pragma once

// A socket whose peer is a byte string: each receive hands out the next few
// bytes (as few as one, so that every line and chunk boundary falls between
// two receives somewhere), and what is sent is kept.
#include "os/CGenericSocket.h"
#include "text/CIString.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

class MemorySocket : public CGenericSocket {
public:
    MemorySocket(std::string_view data, std::size_t step) : m_data(data), m_step(step ? step : 1) {}

    std::uint32_t Receive(CBuffer& buf) override {
        if (m_bodyBytesLeft == 0)
            return 0;
        const bool own = &buf == &m_input;
        for (;;) {
            std::size_t n = std::min(m_step, m_data.size() - m_pos);
            if (!own && m_bodyBytesLeft > 0)
                n = std::min<std::size_t>(n, static_cast<std::size_t>(m_bodyBytesLeft));
            if (n == 0)
                return 0;
            std::string_view piece = m_data.substr(m_pos, n);
            m_pos += n;
            std::size_t dropped = 0;
            if (m_skipCR) {
                while (dropped < piece.size() && piece[dropped] == '\r')
                    ++dropped;
                if (dropped < piece.size())
                    m_skipCR = false;
            }
            piece.remove_prefix(dropped);
            buf.Append(piece.data(), static_cast<std::uint32_t>(piece.size()));
            if (!own)
                ConsumeBody(piece.size());
            if (!piece.empty())
                return static_cast<std::uint32_t>(piece.size());
        }
    }
    std::uint32_t Send(const void* data, std::uint32_t n) override {
        if (ChunkedOutput()) {
            char size[32];
            const int length = std::snprintf(size, sizeof size, "%X\r\n", n);
            m_sent.append(size, static_cast<std::size_t>(length));
            m_sent.append(static_cast<const char*>(data), n);
            m_sent += "\r\n";
        } else {
            m_sent.append(static_cast<const char*>(data), n);
        }
        return n;
    }
    bool IsOpen() const override { return true; }
    void GetLocalAddress(CIString& out) override { out = "127.0.0.1"; }
    bool WaitReadable(CGenericSocket*, int) override { return false; }

    const std::string& Sent() const { return m_sent; }
    std::size_t Unreceived() const { return m_data.size() - m_pos; }

private:
    std::string_view m_data;
    std::size_t m_pos = 0;
    std::size_t m_step;
    std::string m_sent;
};
