#pragma once

#include "os/CUnixSocket.h"
#include "support/SocketTestSupport.h"

#include <string>
#include <string_view>

// A loopback TCP connection: the proxy's end as a CUnixSocket, the other end
// a plain descriptor that the test writes and reads.
struct LoopbackPair {
    LoopbackPair() { socket.Attach(m_peer.ours); }

    void Write(std::string_view bytes) const { m_peer.Write(bytes); }

    // Ends the proxy's sending side and returns everything it sent.
    std::string SentByProxy() {
        ::shutdown(socket.Descriptor(), SHUT_WR);
        return m_peer.ReadAvailable(2000);
    }

    CUnixSocket socket; // destroyed after the peer: its close need not drain

private:
    testsupport::SocketPair m_peer{true};
};
