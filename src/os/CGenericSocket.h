#pragma once

#include "os/CBuffer.h"
#include "os/CByteCounter.h"
#include "os/CNetAddress.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

class CGenericEncoding;
class CIString;

// A connection with an input buffer and the framing state of an HTTP transfer:
// body length left, chunked input and output, content decoder, end of data,
// keep-alive. Knows how to read a line, a chunk header and body data; the
// transport itself (Receive, Send, ...) comes from a subclass. A socket is used
// by its connection thread only and has no lock of its own.
class CGenericSocket {
public:
    // The longest request, status, header or chunk-size line accepted.
    static constexpr std::uint32_t kMaxLine = 4096;
    static constexpr std::uint32_t kMaxTrailer = 16384;
    // Connection-tag bits: browser-side socket, server-side socket.
    static constexpr std::uint32_t kTagBrowser = 1u << 31;
    static constexpr std::uint32_t kTagServer = 1u << 30;

    // Byte counts kept while no statistics object is attached.
    enum Pending : int {
        kReceivedServerSide = 0,
        kReceivedBrowserSide,
        kSentBrowserSide,
        kSentServerSide,
        kPendingCount
    };

    CGenericSocket();
    virtual ~CGenericSocket();
    CGenericSocket(const CGenericSocket&) = delete;
    CGenericSocket& operator=(const CGenericSocket&) = delete;

    // Prepares for the next message: body length unknown, every flag off except
    // nothing-sent, no statistics object, no decoder. The input buffer, the
    // connection tag and the peer address stay.
    void Reset();
    // Remembers the statistics object (not owned) and moves the pending byte
    // counts into it.
    void AttachStatistics(CByteCounter* statistics);
    CByteCounter* Statistics() const { return m_statistics; }
    std::uint64_t PendingBytes(Pending which) const { return m_pending[which]; }

    // Reads one line into out, without its line end. Accepts CR LF, bare LF and
    // LF CR endings. maxLen 0 means no limit; a longer line throws the
    // bad-request error. useReceive reads more input straight from the
    // transport, otherwise through Read. A peer that closed throws the
    // half-closed exception. Returns the bytes still buffered.
    std::uint32_t ReadLine(CIString& out, std::uint32_t maxLen, bool useReceive);
    // Skips the rest of the current chunk and reads the next chunk-size line;
    // returns the size, 0 at the last chunk (its trailer read, end of data set).
    std::int64_t ReadChunkHeader();
    // Appends the next piece of the body to out: at most what one receive
    // brings, decoded when a decoder is set, never beyond the body's end.
    // Returns the bytes appended, 0 at the end of the data.
    virtual std::uint32_t Read(CBuffer& out);
    // Moves what is buffered of the body (everything when its length is not
    // known) to out; returns the count.
    std::uint32_t TakeBuffered(CBuffer& out);

    // Drops the decoder; installs the gzip decoder when the response's
    // Content-Encoding value names gzip. Returns whether a decoder is now set,
    // in which case the caller removes the Content-Encoding header.
    bool SetupDecoder(std::string_view contentEncoding);
    void SetDecoder(std::unique_ptr<CGenericEncoding> decoder);
    CGenericEncoding* Decoder() const { return m_decoder.get(); }

    // Puts text and a CR LF back in front of the input.
    void PushBackLine(std::string_view text);
    std::uint32_t SendText(std::string_view text);

    // Sends n bytes (one chunk with chunked output; n == 0 then sends the last
    // chunk). Returns n. A failure throws.
    virtual std::uint32_t Send(const void* data, std::uint32_t n) = 0;
    virtual bool IsOpen() const = 0;
    // The text form of the local end's address (IPv4 dotted, IPv6 without
    // brackets; an IPv4 client of a dual-stack socket sees its IPv4 form).
    virtual void GetLocalAddress(CIString& out) = 0;
    // Waits until this socket or other (may be null) is readable; seconds 0
    // waits without a limit. Returns whether other is readable.
    virtual bool WaitReadable(CGenericSocket* other, int seconds) = 0;
    // One receive into buf: returns the bytes stored, 0 when the peer closed or
    // the body is complete.
    virtual std::uint32_t Receive(CBuffer& buf) = 0;

    CBuffer& Input() { return m_input; }
    // The descriptor WaitReadable polls; -1 when there is none.
    virtual int Descriptor() const { return -1; }

    // Framing state.
    std::int64_t BodyBytesLeft() const { return m_bodyBytesLeft; }
    void SetBodyBytesLeft(std::int64_t n) { m_bodyBytesLeft = n; }
    std::int64_t ChunkBytesLeft() const { return m_chunkBytesLeft; }

    // Flags.
    bool ProxyStyle() const { return m_proxyStyle; }
    void SetProxyStyle(bool on) { m_proxyStyle = on; }
    bool KeepAlive() const { return m_keepAlive; }
    void SetKeepAlive(bool on) { m_keepAlive = on; }
    bool ChunkedOutput() const { return m_chunkedOutput; }
    void SetChunkedOutput(bool on) { m_chunkedOutput = on; }
    bool ChunkedInput() const { return m_chunkedInput; }
    void SetChunkedInput(bool on) { m_chunkedInput = on; }
    bool EndOfData() const { return m_endOfData; }
    void SetEndOfData(bool on) { m_endOfData = on; }
    bool NothingSent() const { return m_nothingSent; }
    bool SkipCR() const { return m_skipCR; }

    // The connection number with kTagBrowser or kTagServer set.
    std::uint32_t Tag() const { return m_tag; }
    void SetTag(std::uint32_t tag) { m_tag = tag; }
    bool IsServerSide() const { return (m_tag & kTagServer) != 0; }

    // Peer of a server-side connection (port in host order); none on a
    // browser-side socket.
    const CNetAddress& PeerAddress() const { return m_peerAddress; }
    std::uint16_t PeerPort() const { return m_peerPort; }

protected:
    // Byte counting into the statistics object or the pending counts.
    void CountReceived(std::uint64_t n);
    void CountSent(std::uint64_t n);
    // Takes n consumed bytes off a positive body length; running past it
    // means the peer sent more than it announced: keep-alive goes off.
    void ConsumeBody(std::uint64_t n);

    CBuffer m_input;
    std::int64_t m_bodyBytesLeft = -1;
    std::int64_t m_chunkBytesLeft = 0;
    bool m_chunkCRLFDue = false; // chunk data read, its CR LF not yet
    CNetAddress m_peerAddress;
    std::uint16_t m_peerPort = 0;
    bool m_proxyStyle = false;
    bool m_skipCR = false;
    bool m_keepAlive = false;
    bool m_chunkedOutput = false;
    bool m_chunkedInput = false;
    bool m_endOfData = false;
    bool m_nothingSent = true;

private:
    std::uint32_t ReadChunked(CBuffer& out);
    // Framing that cannot be read one way only: a bad request from a
    // browser, a broken body from a server.
    [[noreturn]] void RefuseFraming() const;
    std::uint32_t ReadDecoded(CBuffer& out);
    // Moves up to n bytes from the front of the input to out.
    std::uint32_t MoveInput(CBuffer& out, std::uint32_t n);

    std::array<std::uint64_t, kPendingCount> m_pending{};
    CByteCounter* m_statistics = nullptr;
    std::uint32_t m_tag = 0;
    std::unique_ptr<CGenericEncoding> m_decoder;
    // Chunk payload waiting for the decoder.
    CBuffer m_decoderInput;
};
