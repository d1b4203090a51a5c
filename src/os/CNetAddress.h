#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/socket.h>

// An IP address of either family, or none. An IPv4 client that reaches a
// dual-stack socket arrives as ::ffff:a.b.c.d; FromSockaddr gives it back as
// the IPv4 address it is, so that groups, logs and the pool see one form.
// Bytes are kept in network order, so that comparing two addresses of one
// family compares them as numbers.
class CNetAddress {
public:
    enum class Family : std::uint8_t { None, V4, V6 };

    CNetAddress() = default;
    static CNetAddress FromV4(std::uint32_t hostOrder);
    static CNetAddress FromV6(const std::array<std::uint8_t, 16>& bytes, std::uint32_t scope = 0);
    // Dotted IPv4 or IPv6 text (no brackets, no zone); none for anything else.
    static std::optional<CNetAddress> Parse(std::string_view text);
    // An IPv4 address in any numeric form that the resolver takes for one:
    // dotted, with fewer parts ("127.1"), one number ("2130706433"), octal
    // or hexadecimal parts ("0177.0.0.1", "0x7f.0.0.1"); none for anything
    // else.
    static std::optional<CNetAddress> ParseNumericIPv4(std::string_view text);
    // An IPv4 or IPv6 socket address, a mapped IPv4 one unwrapped; none for
    // another family.
    static CNetAddress FromSockaddr(const sockaddr* address, socklen_t length);

    Family GetFamily() const { return m_family; }
    bool Empty() const { return m_family == Family::None; }
    bool IsV4() const { return m_family == Family::V4; }
    bool IsV6() const { return m_family == Family::V6; }
    // The IPv4 address in host order; 0 for another family.
    std::uint32_t V4() const;
    const std::array<std::uint8_t, 16>& Bytes() const { return m_bytes; }
    // ::ffff:a.b.c.d as the IPv4 address; any other address as it is.
    CNetAddress Unmapped() const;

    // Dotted IPv4, or the shortest IPv6 text; empty for none.
    std::string Text() const;
    // For an address followed by a port: IPv6 text in brackets.
    std::string TextForURL() const;
    // The socket address with port (host order); returns its length, 0 for none.
    socklen_t ToSockaddr(std::uint16_t port, sockaddr_storage& out) const;

    // Whether the first bits of this address equal those of prefix (both of
    // one family; bits beyond the family's width count as all of them).
    bool InPrefix(const CNetAddress& prefix, int bits) const;

    auto operator<=>(const CNetAddress&) const = default;

private:
    Family m_family = Family::None;
    std::array<std::uint8_t, 16> m_bytes{}; // IPv4: the first four
    std::uint32_t m_scope = 0;              // IPv6 link-local zone
};
