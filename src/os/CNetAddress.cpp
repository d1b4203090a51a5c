#include "os/CNetAddress.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>

namespace {

constexpr std::array<std::uint8_t, 12> kMappedPrefix = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};

} // namespace

CNetAddress CNetAddress::FromV4(std::uint32_t hostOrder) {
    CNetAddress address;
    address.m_family = Family::V4;
    address.m_bytes[0] = static_cast<std::uint8_t>(hostOrder >> 24);
    address.m_bytes[1] = static_cast<std::uint8_t>(hostOrder >> 16);
    address.m_bytes[2] = static_cast<std::uint8_t>(hostOrder >> 8);
    address.m_bytes[3] = static_cast<std::uint8_t>(hostOrder);
    return address;
}

CNetAddress CNetAddress::FromV6(const std::array<std::uint8_t, 16>& bytes, std::uint32_t scope) {
    CNetAddress address;
    address.m_family = Family::V6;
    address.m_bytes = bytes;
    address.m_scope = scope;
    return address;
}

std::optional<CNetAddress> CNetAddress::Parse(std::string_view text) {
    // inet_pton takes neither blanks, zones, brackets nor the short IPv4 forms
    // ("10.1"), and tells every address from its error, all-ones included.
    if (text.empty() || text.size() > INET6_ADDRSTRLEN)
        return std::nullopt;
    const std::string copy(text);
    if (copy.find(':') == std::string::npos) {
        in_addr v4{};
        if (inet_pton(AF_INET, copy.c_str(), &v4) != 1)
            return std::nullopt;
        return FromV4(ntohl(v4.s_addr));
    }
    std::array<std::uint8_t, 16> bytes{};
    if (inet_pton(AF_INET6, copy.c_str(), bytes.data()) != 1)
        return std::nullopt;
    return FromV6(bytes);
}

std::optional<CNetAddress> CNetAddress::ParseNumericIPv4(std::string_view text) {
    // inet_aton reads these forms as the resolver does, but also takes text
    // after a blank; only digits, dots and hexadecimal prefixes pass to it.
    if (text.empty() || text.size() > 64 ||
        text.find_first_not_of("0123456789abcdefABCDEFxX.") != std::string_view::npos)
        return std::nullopt;
    const std::string copy(text);
    in_addr v4{};
    if (inet_aton(copy.c_str(), &v4) == 0)
        return std::nullopt;
    return FromV4(ntohl(v4.s_addr));
}

CNetAddress CNetAddress::FromSockaddr(const sockaddr* address, socklen_t length) {
    if (address == nullptr)
        return {};
    if (address->sa_family == AF_INET && length >= static_cast<socklen_t>(sizeof(sockaddr_in))) {
        sockaddr_in v4{};
        std::memcpy(&v4, address, sizeof v4);
        return FromV4(ntohl(v4.sin_addr.s_addr));
    }
    if (address->sa_family == AF_INET6 && length >= static_cast<socklen_t>(sizeof(sockaddr_in6))) {
        sockaddr_in6 v6{};
        std::memcpy(&v6, address, sizeof v6);
        std::array<std::uint8_t, 16> bytes{};
        std::memcpy(bytes.data(), &v6.sin6_addr, bytes.size());
        return FromV6(bytes, v6.sin6_scope_id).Unmapped();
    }
    return {};
}

std::uint32_t CNetAddress::V4() const {
    if (!IsV4())
        return 0;
    return static_cast<std::uint32_t>(m_bytes[0]) << 24 |
           static_cast<std::uint32_t>(m_bytes[1]) << 16 |
           static_cast<std::uint32_t>(m_bytes[2]) << 8 | static_cast<std::uint32_t>(m_bytes[3]);
}

CNetAddress CNetAddress::Unmapped() const {
    if (!IsV6() || !std::equal(kMappedPrefix.begin(), kMappedPrefix.end(), m_bytes.begin()))
        return *this;
    CNetAddress v4;
    v4.m_family = Family::V4;
    std::copy(m_bytes.begin() + 12, m_bytes.end(), v4.m_bytes.begin());
    return v4;
}

std::string CNetAddress::Text() const {
    char text[INET6_ADDRSTRLEN] = {};
    if (IsV4())
        inet_ntop(AF_INET, m_bytes.data(), text, sizeof text);
    else if (IsV6())
        inet_ntop(AF_INET6, m_bytes.data(), text, sizeof text);
    return text;
}

std::string CNetAddress::TextForURL() const {
    return IsV6() ? "[" + Text() + "]" : Text();
}

socklen_t CNetAddress::ToSockaddr(std::uint16_t port, sockaddr_storage& out) const {
    out = sockaddr_storage{};
    if (IsV4()) {
        sockaddr_in v4{};
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        std::memcpy(&v4.sin_addr, m_bytes.data(), 4);
        std::memcpy(&out, &v4, sizeof v4);
        return sizeof v4;
    }
    if (IsV6()) {
        sockaddr_in6 v6{};
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        v6.sin6_scope_id = m_scope;
        std::memcpy(&v6.sin6_addr, m_bytes.data(), 16);
        std::memcpy(&out, &v6, sizeof v6);
        return sizeof v6;
    }
    return 0;
}

bool CNetAddress::InPrefix(const CNetAddress& prefix, int bits) const {
    if (m_family != prefix.m_family || Empty())
        return false;
    const int width = IsV4() ? 32 : 128;
    bits = bits < 0 ? 0 : (bits > width ? width : bits);
    const int whole = bits / 8;
    if (!std::equal(m_bytes.begin(), m_bytes.begin() + whole, prefix.m_bytes.begin()))
        return false;
    const int rest = bits % 8;
    if (rest == 0)
        return true;
    const auto mask = static_cast<std::uint8_t>(0xFF00 >> rest);
    return (m_bytes[whole] & mask) == (prefix.m_bytes[whole] & mask);
}
