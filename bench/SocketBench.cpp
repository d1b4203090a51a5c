#include "http/CConnInfo.h"
#include "os/CBuffer.h"
#include "os/CUnixSocket.h"
#include "text/CIString.h"

#include <benchmark/benchmark.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

const std::string kHeaderBlock = "GET http://www.example.com/index.html HTTP/1.1\r\n"
                                 "Host: www.example.com\r\n"
                                 "User-Agent: Mozilla/5.0 (X11; Linux x86_64; rv:109.0)\r\n"
                                 "Accept: text/html,application/xhtml+xml,*/*;q=0.8\r\n"
                                 "Accept-Language: en-GB,en;q=0.5\r\n"
                                 "Accept-Encoding: gzip, deflate\r\n"
                                 "Referer: http://www.example.com/\r\n"
                                 "Cookie: session=0123456789abcdef; theme=dark\r\n"
                                 "Connection: keep-alive\r\n"
                                 "Upgrade-Insecure-Requests: 1\r\n"
                                 "Cache-Control: max-age=0\r\n"
                                 "\r\n";

bool WriteAll(int fd, const char* data, std::size_t n) {
    while (n > 0) {
        const ssize_t sent = ::send(fd, data, n, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data += sent;
        n -= static_cast<std::size_t>(sent);
    }
    return true;
}

// The browser's head arrives once per round on a socket pair, and read reads
// it off the socket.
template <typename Read> void ReadHeaderBlocks(benchmark::State& state, Read read) {
    int fds[2];
    ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
    CUnixSocket socket;
    socket.Attach(fds[0]);
    for (auto _ : state) {
        WriteAll(fds[1], kHeaderBlock.data(), kHeaderBlock.size());
        socket.Reset();
        read(socket);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kHeaderBlock.size()));
    ::close(fds[1]);
}

void BM_ReadLineHeaderBlock(benchmark::State& state) {
    CIString line;
    ReadHeaderBlocks(state, [&line](CUnixSocket& socket) {
        do
            socket.ReadLine(line, CGenericSocket::kMaxLine, false);
        while (!line.empty());
        benchmark::DoNotOptimize(line);
    });
}
BENCHMARK(BM_ReadLineHeaderBlock);

// The same head read as a request: fields, framing and the request URL in the
// spelling the lists judge.
void BM_ParseRequestHead(benchmark::State& state) {
    CConnInfo request;
    ReadHeaderBlocks(state, [&request](CUnixSocket& socket) {
        request.Reset();
        request.ParseHead(socket, CConnInfo::kParseRequest);
        benchmark::DoNotOptimize(request.RequestUri());
    });
}
BENCHMARK(BM_ParseRequestHead);

// A body with a known length flows from one socket pair through Read/Send to
// another, the way the proxy relays an unwashed response.
void BM_RelayBody(benchmark::State& state) {
    const std::size_t bodySize = static_cast<std::size_t>(state.range(0));
    int in[2], out[2];
    ::socketpair(AF_UNIX, SOCK_STREAM, 0, in);
    ::socketpair(AF_UNIX, SOCK_STREAM, 0, out);
    CUnixSocket server, browser;
    server.Attach(in[0]);
    browser.Attach(out[0]);
    const std::string block(65536, 'b');
    CBuffer body;
    for (auto _ : state) {
        std::thread source([&] {
            for (std::size_t left = bodySize; left > 0;) {
                const std::size_t n = std::min(left, block.size());
                if (!WriteAll(in[1], block.data(), n))
                    return;
                left -= n;
            }
        });
        std::thread sink([&] {
            char buffer[65536];
            for (std::size_t left = bodySize; left > 0;) {
                const ssize_t n = ::recv(out[1], buffer, sizeof buffer, 0);
                if (n <= 0)
                    return;
                left -= static_cast<std::size_t>(n);
            }
        });
        server.Reset();
        server.SetBodyBytesLeft(static_cast<std::int64_t>(bodySize));
        while (server.Read(body) > 0) {
            browser.Send(body.Data(), body.Size());
            body.Clear(16384);
        }
        source.join();
        sink.join();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bodySize));
    ::close(in[1]);
    ::close(out[1]);
}
BENCHMARK(BM_RelayBody)->Arg(1 << 20)->Arg(16 << 20)->UseRealTime();

} // namespace
