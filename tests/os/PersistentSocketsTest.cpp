#include "os/CPersistentSockets.h"
#include "os/CUnixSocket.h"
#include "support/SocketTestSupport.h"
#include "text/CIString.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <string>

using testsupport::LoopbackServer;
using testsupport::ReadFrom;

namespace {

// The accept count once a connect that should have opened no new connection
// would have been accepted.
int SettledAccepts(LoopbackServer& server) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return server.Accepts();
}

// Connects through the pool, exchanges one request and response, and closes
// the way the connection thread does after a complete response.
void ExchangeAndRelease(CUnixSocket& socket, LoopbackServer& server, int connection,
                        const std::string& request) {
    socket.Reset();
    socket.Connect("127.0.0.1", server.Port(), true);
    socket.SetKeepAlive(true);
    socket.SendText(request);
    const int fd = server.Connection(connection);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(ReadFrom(fd), request);
    const std::string response = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    ::send(fd, response.data(), response.size(), MSG_NOSIGNAL);
    CIString line;
    do
        socket.ReadLine(line, CGenericSocket::kMaxLine, false);
    while (!line.empty());
    socket.SetBodyBytesLeft(2);
    CBuffer body;
    while (socket.Read(body) > 0) {
    }
    EXPECT_EQ(body.View(), "ok");
    socket.Close();
}

} // namespace

TEST(PersistentSockets, KeptAliveConnectionIsReusedWithoutANewConnection) {
    LoopbackServer server;
    CUnixSocket socket;
    auto& pool = CPersistentSockets::Instance();
    const std::size_t idleBefore = pool.IdleCount();

    ExchangeAndRelease(socket, server, 0, "GET /1 HTTP/1.1\r\n\r\n");
    EXPECT_FALSE(socket.IsOpen());
    EXPECT_EQ(pool.IdleCount(), idleBefore + 1);
    ExchangeAndRelease(socket, server, 0, "GET /2 HTTP/1.1\r\n\r\n");
    EXPECT_EQ(SettledAccepts(server), 1);

    // A connection whose response was not read to its end, or whose attempt
    // failed, is closed for good.
    socket.Reset();
    socket.Connect("127.0.0.1", server.Port(), true);
    EXPECT_EQ(SettledAccepts(server), 1);
    socket.SetKeepAlive(true);
    socket.Close();
    socket.Connect("127.0.0.1", server.Port(), true);
    EXPECT_EQ(server.Accepts(2), 2);
    socket.SetKeepAlive(true);
    socket.SetEndOfData(true);
    socket.CloseNoPool();
    socket.Connect("127.0.0.1", server.Port(), true);
    EXPECT_EQ(server.Accepts(3), 3);
    socket.CloseNoPool();
    EXPECT_EQ(pool.IdleCount(), idleBefore);
}

TEST(PersistentSockets, StaleIdleConnectionsAreNotHandedOut) {
    LoopbackServer server;
    auto& pool = CPersistentSockets::Instance();
    CUnixSocket socket;

    // Closed by the server while idle.
    ExchangeAndRelease(socket, server, 0, "GET /a HTTP/1.1\r\n\r\n");
    server.CloseConnection(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ExchangeAndRelease(socket, server, 1, "GET /b HTTP/1.1\r\n\r\n");
    EXPECT_EQ(server.Accepts(2), 2);

    // Sent bytes nobody asked for while idle.
    const int fd = server.Connection(1);
    ::send(fd, "junk", 4, MSG_NOSIGNAL);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ExchangeAndRelease(socket, server, 2, "GET /c HTTP/1.1\r\n\r\n");
    EXPECT_EQ(server.Accepts(3), 3);

    // Idle longer than the lifetime: /d reuses the connection of /c and
    // leaves it with no lifetime, so /e needs a new one.
    pool.SetIdleLifetime(std::chrono::milliseconds(0));
    ExchangeAndRelease(socket, server, 2, "GET /d HTTP/1.1\r\n\r\n");
    pool.SetIdleLifetime(CPersistentSockets::kIdleLifetime);
    EXPECT_EQ(SettledAccepts(server), 3);
    ExchangeAndRelease(socket, server, 3, "GET /e HTTP/1.1\r\n\r\n");
    EXPECT_EQ(server.Accepts(4), 4);
    socket.Reset();
    socket.Connect("127.0.0.1", server.Port(), true); // the fresh one from /e
    EXPECT_EQ(SettledAccepts(server), 4);
    socket.CloseNoPool();
}

TEST(PersistentSockets, ReaperClosesExpiredConnections) {
    LoopbackServer server;
    auto& pool = CPersistentSockets::Instance();
    pool.SetIdleLifetime(std::chrono::milliseconds(0));
    {
        CUnixSocket socket;
        ExchangeAndRelease(socket, server, 0, "GET / HTTP/1.1\r\n\r\n");
    }
    pool.SetIdleLifetime(CPersistentSockets::kIdleLifetime);
    const int fd = server.Connection(0);
    const std::size_t idle = pool.IdleCount();
    EXPECT_GE(idle, 1u);
    // The server closes its side once it sees ours half-closed.
    std::thread peer([fd] {
        ReadFrom(fd, 2000);
        ::shutdown(fd, SHUT_WR);
    });
    pool.ReapExpired();
    peer.join();
    EXPECT_EQ(pool.IdleCount(), idle - 1);
}
