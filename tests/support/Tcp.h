#pragma once

#include <chrono>
#include <cstdint>

namespace e2e {

// TCP helpers on 127.0.0.1.
// A port that nobody listens on (at the moment of the call).
std::uint16_t FreePort();
int Connect(std::uint16_t port);
// The same on ::1; -1 also where the machine has no IPv6 loopback.
int Connect6(std::uint16_t port);
// Whether a socket can listen on ::1 (tests that need it are skipped if not).
bool HasIPv6Loopback();
bool PeerClosed(int fd, std::chrono::seconds limit = std::chrono::seconds(5));
// Binds the port so that nobody else can listen on it.
int Occupy(std::uint16_t port);
// A listening socket on a port that the system picks, for a raw peer that
// the test drives by hand; -1 on failure.
int Listen(std::uint16_t& port);

} // namespace e2e
