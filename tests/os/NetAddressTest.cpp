#include "os/CNetAddress.h"

#include <gtest/gtest.h>

#include <cstring>
#include <netinet/in.h>

TEST(NetAddress, ParseAndText) {
    // Input, its text form ("" for refused), family.
    const struct {
        const char* text;
        const char* expected;
        CNetAddress::Family family;
    } cases[] = {
        {"127.0.0.1", "127.0.0.1", CNetAddress::Family::V4},
        {"255.255.255.255", "255.255.255.255", CNetAddress::Family::V4},
        {"::1", "::1", CNetAddress::Family::V6},
        {"2001:DB8:0:0:0:0:0:1", "2001:db8::1", CNetAddress::Family::V6},
        {"::ffff:10.1.2.3", "::ffff:10.1.2.3", CNetAddress::Family::V6},
        {"::", "::", CNetAddress::Family::V6},
        {"10.1", "", CNetAddress::Family::None},
        {" 10.0.0.1", "", CNetAddress::Family::None},
        {"[::1]", "", CNetAddress::Family::None},
        {"fe80::1%eth0", "", CNetAddress::Family::None},
        {"1:2:3:4:5:6:7:8:9", "", CNetAddress::Family::None},
        {"", "", CNetAddress::Family::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto address = CNetAddress::Parse(c.text);
        EXPECT_EQ(address ? address->Text() : std::string(), c.expected);
        EXPECT_EQ(address ? address->GetFamily() : CNetAddress::Family::None, c.family);
    }
    EXPECT_EQ(CNetAddress::Parse("::1")->TextForURL(), "[::1]");
    EXPECT_EQ(CNetAddress::FromV4(0x7F000001).TextForURL(), "127.0.0.1");
}

TEST(NetAddress, MappedClientsAreIPv4) {
    sockaddr_in6 mapped{};
    mapped.sin6_family = AF_INET6;
    const unsigned char bytes[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 192, 168, 1, 5};
    std::memcpy(&mapped.sin6_addr, bytes, sizeof bytes);
    const CNetAddress client =
        CNetAddress::FromSockaddr(reinterpret_cast<sockaddr*>(&mapped), sizeof mapped);
    EXPECT_TRUE(client.IsV4());
    EXPECT_EQ(client.V4(), 0xC0A80105u);
    EXPECT_EQ(client.Text(), "192.168.1.5");

    // Back to a socket address and in again: the same address.
    sockaddr_storage out{};
    const socklen_t length = CNetAddress::Parse("2001:db8::7")->ToSockaddr(8080, out);
    EXPECT_EQ(length, sizeof(sockaddr_in6));
    EXPECT_EQ(CNetAddress::FromSockaddr(reinterpret_cast<sockaddr*>(&out), length).Text(),
              "2001:db8::7");
    EXPECT_EQ(ntohs(reinterpret_cast<sockaddr_in6*>(&out)->sin6_port), 8080);
    EXPECT_TRUE(CNetAddress::FromSockaddr(reinterpret_cast<sockaddr*>(&out), 8).Empty());
}

TEST(NetAddress, Prefixes) {
    const struct {
        const char* address;
        const char* prefix;
        int bits;
        bool inside;
    } cases[] = {
        {"2001:db8:1::5", "2001:db8::", 32, true},
        {"2001:db9::5", "2001:db8::", 32, false},
        {"2001:db8::5", "2001:db8::", 127, false},
        {"2001:db8::5", "2001:db8::4", 127, true},
        {"2001:db8::5", "2001:db8::5", 128, true},
        {"2001:db8::5", "2001:db8::4", 200, false},
        {"fe80::1", "fe00::", 7, true},
        {"fd00::1", "fe00::", 7, false},
        {"10.1.2.3", "10.0.0.0", 8, true},
        {"10.1.2.3", "::", 0, false}, // another family never matches
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.address) + " in " + c.prefix);
        EXPECT_EQ(CNetAddress::Parse(c.address)->InPrefix(*CNetAddress::Parse(c.prefix), c.bits),
                  c.inside);
    }
}
