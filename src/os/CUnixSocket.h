#pragma once

#include "os/CCriticalSection.h"
#include "os/CGenericSocket.h"
#include "os/CNetAddress.h"
#include "os/CSplicePipe.h"
#include "text/CIString.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A TCP connection over a BSD socket. Server-side connections that stay alive
// are handed to the idle-connection pool when closed.
//
// Only the owning thread opens and closes the descriptor. Another thread may
// only Abort(), which shuts the connection down in both directions: that wakes
// a blocked receive, send or connect of the owner, and the descriptor number
// cannot be reused under the owner because the owner still holds it.
class CUnixSocket : public CGenericSocket {
public:
    static constexpr int kConnectTimeoutMs = 30 * 1000;
    // The head start of one address before the next is tried beside it.
    static constexpr int kNextAddressDelayMs = 250;
    // Longest wait for the peer to close after our half-close.
    static constexpr int kDrainTimeoutMs = 2000;

    CUnixSocket();
    // Closes (a kept-alive server connection goes to the pool).
    ~CUnixSocket() override;

    // Takes an accepted browser connection: no peer address, keep-alive off,
    // the browser's idle limit on every read (os/Limits.h).
    void Attach(int fd);

    std::uint32_t Receive(CBuffer& buf) override;
    std::uint32_t Send(const void* data, std::uint32_t n) override;

    // What SpliceTo returns when this transfer has to go through user space.
    static constexpr std::int64_t kCopyInstead = -1;
    // Moves the next piece of the body to `to` through the pipe, without
    // copying it: what Read and to.Send would do for one block, with the same
    // body bound, time limits, end-of-data rules, byte counts and held head.
    // Returns the bytes moved, 0 at the end of the data, or kCopyInstead when
    // the bytes must be looked at (buffered input, chunks, a decoder, CRs to
    // skip, chunked output on `to`) or splicing is not available; nothing
    // has been consumed then. Bytes a failed send leaves in the pipe are
    // dropped with it, and the failure is thrown as a copy's would be.
    // Unless null, taken grows by the bytes received before they are sent on,
    // as a caller of Read counts a block before its Send.
    std::int64_t SpliceTo(CUnixSocket& to, CSplicePipe& pipe, std::int64_t* taken = nullptr);
    bool IsOpen() const override { return m_fd >= 0; }
    void GetLocalAddress(CIString& out) override;
    bool WaitReadable(CGenericSocket* other, int seconds) override;

    // A kept-alive server connection whose response was read to its end goes to
    // the pool (after the last chunk when chunked output is on); anything else
    // is half-closed, drained for a bounded time and closed.
    virtual void Close();
    // Connects to host (an IPv4 or IPv6 literal, the latter perhaps in
    // brackets, or a name) and port: every address of a name is tried, each
    // one after its predecessor had a short head start, and the first that
    // answers is kept. With usePool an idle connection to one of the
    // addresses and the port is reused when one is alive. Throws
    // cannotconnect.html for an unknown host, the operating-system error of
    // the last failing address, or a time-out after the connect limit.
    virtual void Connect(std::string_view host, std::uint16_t port, bool usePool);
    // The same with the addresses given, in the order to try them.
    void ConnectAny(const std::vector<CNetAddress>& addresses, std::uint16_t port, bool usePool);
    // Closes for good: the connection is never handed to the pool.
    void CloseNoPool();
    // Closes at once, without waiting for the peer to close its side: for a
    // connection that failed, whose peer may never do so.
    void Drop();

    // From any thread: shuts the connection down both ways and makes every
    // later Connect fail. The owner still closes the descriptor.
    void Abort();
    bool Aborted() const { return m_aborted.load(); }

    // Read time limit in milliseconds, 0 for none: a single receive that waits
    // longer fails with ETIMEDOUT. Connect sets it to the server limit, Attach
    // to the browser's idle limit. A tunnel sets 0 after connecting.
    int ReadTimeout() const { return m_readTimeoutMs; }
    void SetReadTimeout(int ms) { m_readTimeoutMs = ms; }
    // The limit every Connect applies (default: Limits::serverReadMs).
    void SetServerReadTimeout(int ms) { m_serverReadTimeoutMs = ms; }
    void SetConnectTimeout(int ms) { m_connectTimeoutMs = ms; }
    // A point in time by which every receive must be done, however many it
    // takes (a trickling peer passes any per-receive limit); a receive that
    // would end later fails with ETIMEDOUT. Cleared by ClearReadDeadline.
    void SetReadDeadline(std::chrono::steady_clock::time_point deadline);
    void ClearReadDeadline() { m_hasDeadline = false; }
    // Waits up to ms for input (buffered input counts, and so does the peer's
    // close, which a read then reports). False when nothing came in time.
    bool WaitForInput(int ms);

    // Ends our sending direction (the peer reads the end of the data) and
    // keeps receiving: passes a half-close on through a tunnel.
    void ShutdownSend();
    // Sends an interim (1xx) head: the browser still gets a whole response
    // after it, so an error page then still writes its own head.
    void SendInterim(std::string_view head);

    int Descriptor() const override { return m_fd; }

    // Keeps bytes (a response head) to go out in front of the next Send, so
    // that a head and a small body leave in one call; Flush sends them alone.
    // Close flushes what is still held.
    void Hold(std::string_view bytes);
    void Flush();

private:
    enum class Origin { Fresh, Pooled };
    // Installs a descriptor (just accepted or connected, or taken from the
    // pool) unless the socket was aborted.
    bool Adopt(int fd, Origin origin);
    // Gives up the descriptor: closes it at once, or hands it over.
    void CloseDescriptor();
    int ReleaseDescriptor();
    void SendAll(const void* head, std::size_t headLength, const void* data, std::size_t n,
                 const void* tail, std::size_t tailLength, int flags = 0);
    // Sends what the pipe holds (count bytes) on this socket.
    void SendFromPipe(CSplicePipe& pipe, std::size_t count);
    // Puts the read time limit into the descriptor when it changed.
    void ApplyReadTimeout();
    // Waits for input until the read deadline; throws ETIMEDOUT after it.
    void AwaitDeadline();
    void SendHeldWith(const void* data, std::size_t n, const void* tail, std::size_t tailLength);
    // Connects to the addresses as they come, each started after the one
    // before had its head start or failed; returns the first descriptor that
    // connected (blocking again) and its index. The others are closed.
    int Race(const std::vector<CNetAddress>& addresses, std::uint16_t port, std::size_t& winner);
    void CloseConnecting(int fd);
    static int Blocking(int fd);

    CCriticalSection m_fdLock; // guards m_fd against Abort from another thread
    int m_fd = -1;
    std::vector<int> m_connecting; // under way in Race; guarded like m_fd
    std::atomic<bool> m_aborted{false};
    int m_readTimeoutMs = 0;
    int m_appliedTimeoutMs = 0; // the limit the descriptor has
    CIString m_localAddress;    // cached: a connection's own end never moves
    std::string m_held;
    int m_serverReadTimeoutMs;
    int m_connectTimeoutMs = kConnectTimeoutMs;
    bool m_hasDeadline = false;
    std::chrono::steady_clock::time_point m_deadline;
};
