#include "os/CGenericSocket.h"

#include "os/CException.h"
#include "os/CGZIPEncoding.h"
#include "text/CIString.h"
#include "text/PercentEscape.h"

#include <algorithm>
#include <limits>

namespace {

// A chunk size is hexadecimal digits and nothing else; what may follow is an
// extension opened by ";". A sign, a "0x", a blank in front or a digit run
// too long for any real body is a framing the server may read otherwise, so
// it is refused (-1) rather than guessed at.
std::int64_t ParseChunkSize(std::string_view line) {
    constexpr std::size_t kMaxDigits = 15; // fits an int64 without overflow
    std::int64_t size = 0;
    std::size_t i = 0;
    for (; i < line.size(); ++i) {
        const int digit = HexDigitValue(line[i]);
        if (digit < 0)
            break;
        if (i == kMaxDigits)
            return -1;
        size = size * 16 + digit;
    }
    if (i == 0)
        return -1;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    if (i != line.size() && line[i] != ';')
        return -1;
    // An extension is not read, but a bare CR or another control byte in it
    // is a line end to some readers.
    for (; i < line.size(); ++i) {
        const auto b = static_cast<unsigned char>(line[i]);
        if ((b < 0x20 && b != '\t') || b == 0x7f)
            return -1;
    }
    return size;
}

// A server's body that breaks its own framing ends the answer as cut off: the
// browser must not be shown an error page inside it, nor its end.
const CException& BrokenBody() {
    static const CException error("Broken chunked body.");
    return error;
}

} // namespace

CGenericSocket::CGenericSocket() = default;

CGenericSocket::~CGenericSocket() = default;

void CGenericSocket::Reset() {
    m_bodyBytesLeft = -1;
    m_chunkBytesLeft = 0;
    m_chunkCRLFDue = false;
    m_proxyStyle = false;
    m_skipCR = false;
    m_keepAlive = false;
    m_chunkedOutput = false;
    m_chunkedInput = false;
    m_endOfData = false;
    m_nothingSent = true;
    m_statistics = nullptr;
    m_decoder.reset();
    m_decoderInput.Clear();
}

void CGenericSocket::AttachStatistics(CByteCounter* statistics) {
    m_statistics = statistics;
    if (statistics == nullptr)
        return;
    statistics->AddBytes(CByteCounter::BytesSentToClient, m_pending[kSentBrowserSide]);
    statistics->AddBytes(CByteCounter::BytesSentToServer, m_pending[kSentServerSide]);
    statistics->AddBytes(CByteCounter::BytesReceivedFromClient, m_pending[kReceivedBrowserSide]);
    statistics->AddBytes(CByteCounter::BytesReceivedFromServer, m_pending[kReceivedServerSide]);
    m_pending.fill(0);
}

void CGenericSocket::CountReceived(std::uint64_t n) {
    const bool server = IsServerSide();
    if (m_statistics != nullptr)
        m_statistics->AddBytes(server ? CByteCounter::BytesReceivedFromServer
                                      : CByteCounter::BytesReceivedFromClient,
                               n);
    else
        m_pending[server ? kReceivedServerSide : kReceivedBrowserSide] += n;
}

void CGenericSocket::CountSent(std::uint64_t n) {
    const bool server = IsServerSide();
    if (m_statistics != nullptr)
        m_statistics->AddBytes(
            server ? CByteCounter::BytesSentToServer : CByteCounter::BytesSentToClient, n);
    else
        m_pending[server ? kSentServerSide : kSentBrowserSide] += n;
}

void CGenericSocket::ConsumeBody(std::uint64_t n) {
    if (m_bodyBytesLeft <= 0 || n == 0)
        return;
    if (n > static_cast<std::uint64_t>(m_bodyBytesLeft)) {
        m_bodyBytesLeft = 0;
        m_keepAlive = false;
    } else {
        m_bodyBytesLeft -= static_cast<std::int64_t>(n);
    }
}

std::uint32_t CGenericSocket::ReadLine(CIString& out, std::uint32_t maxLen, bool useReceive) {
    if (m_input.Empty() && Receive(m_input) == 0)
        throw CException::HalfClosed();

    std::size_t scanned = 0;
    std::size_t lf;
    for (;;) {
        const std::string_view data = m_input.View();
        lf = data.find('\n', scanned);
        if (lf != std::string_view::npos)
            break;
        scanned = data.size();
        if (maxLen != 0 && data.size() > maxLen)
            throw errors::BadRequest();
        const std::uint32_t got = useReceive ? Receive(m_input) : Read(m_input);
        if (got == 0) {
            m_endOfData = true;
            throw CException::HalfClosed();
        }
    }

    const std::string_view data = m_input.View();
    if (maxLen != 0 && lf > maxLen)
        throw errors::BadRequest();
    std::size_t end = lf;
    while (end > 0 && data[end - 1] == '\r')
        --end;
    const bool bareLF = end == lf;
    out.assign(data.data(), end);

    std::size_t consumed = lf + 1;
    if (bareLF) // "\n\r" ends a line as well
        while (consumed < data.size() && data[consumed] == '\r')
            ++consumed;
    m_input.Consume(static_cast<std::uint32_t>(consumed));
    ConsumeBody(consumed);
    if (m_chunkBytesLeft > 0) {
        if (static_cast<std::int64_t>(consumed) > m_chunkBytesLeft) {
            m_chunkBytesLeft = 0;
            m_keepAlive = false;
        } else {
            m_chunkBytesLeft -= static_cast<std::int64_t>(consumed);
        }
    }

    const std::uint32_t left = m_input.Size();
    // A bare LF at the very end of what arrived may be the first half of an
    // "\n\r" ending: the CRs that open the next receive belong to this line.
    if (left == 0 && bareLF)
        m_skipCR = true;
    return left;
}

void CGenericSocket::RefuseFraming() const {
    if (IsServerSide())
        throw BrokenBody();
    throw errors::BadRequest();
}

std::int64_t CGenericSocket::ReadChunkHeader() {
    while (m_chunkBytesLeft > 0) {
        if (m_input.Empty() && Receive(m_input) == 0) {
            // The peer closed inside a chunk: the body is cut short.
            m_endOfData = true;
            throw CException::HalfClosed();
        }
        const std::uint32_t drop =
            static_cast<std::uint32_t>(std::min<std::int64_t>(m_chunkBytesLeft, m_input.Size()));
        m_input.Consume(drop);
        m_chunkBytesLeft -= drop;
    }

    // Chunk data ends in exactly CR LF; anything else means the two ends
    // disagree on where the chunk stops.
    if (m_chunkCRLFDue) {
        while (m_input.Size() < 2)
            if (Receive(m_input) == 0) {
                m_endOfData = true;
                throw CException::HalfClosed();
            }
        if (m_input.View().substr(0, 2) != "\r\n")
            RefuseFraming();
        m_input.Consume(2);
        ConsumeBody(2);
        m_chunkCRLFDue = false;
    }

    CIString line;
    try {
        ReadLine(line, kMaxLine, true);
    } catch (const CHTMLErrException&) {
        RefuseFraming(); // a size line beyond the limit
    }
    const std::int64_t size = ParseChunkSize(line.View());
    if (size < 0)
        RefuseFraming();
    if (size > 0) {
        m_chunkBytesLeft += size;
        m_chunkCRLFDue = true;
        return size;
    }
    // The last chunk: its trailer lines are not passed on, and are bounded
    // like a head.
    std::uint32_t trailer = 0;
    for (;;) {
        try {
            ReadLine(line, kMaxLine, true);
        } catch (const CHTMLErrException&) {
            RefuseFraming(); // a trailer line beyond the limit
        }
        if (line.empty())
            break;
        trailer += static_cast<std::uint32_t>(line.size());
        if (trailer > kMaxTrailer)
            RefuseFraming();
    }
    m_endOfData = true;
    return 0;
}

std::uint32_t CGenericSocket::MoveInput(CBuffer& out, std::uint32_t n) {
    n = std::min(n, m_input.Size());
    if (n == 0)
        return 0;
    out.Append(m_input.Data(), n);
    m_input.Consume(n);
    return n;
}

std::uint32_t CGenericSocket::Read(CBuffer& out) {
    if (m_endOfData)
        return 0;
    if (m_chunkedInput)
        return ReadChunked(out);

    const bool own = &out == &m_input;
    if (own || (!m_decoder && m_input.Empty())) {
        const std::int64_t expected = m_bodyBytesLeft;
        const std::uint32_t n = Receive(out);
        if (n == 0) {
            m_endOfData = true;
            // A body whose announced length was not reached is cut short;
            // passing it on as complete would hide that from the browser.
            if (!own && expected > 0)
                throw CException::HalfClosed();
        } else if (!own && m_bodyBytesLeft == 0) {
            m_endOfData = true;
        }
        return n;
    }
    if (m_decoder)
        return ReadDecoded(out);

    // Bytes already buffered, never beyond the announced length: what follows
    // the body is not part of it and is not passed on.
    std::uint32_t n = m_input.Size();
    if (m_bodyBytesLeft >= 0 && n > m_bodyBytesLeft) {
        n = static_cast<std::uint32_t>(m_bodyBytesLeft);
        // A server that sent more than it announced can't be trusted with the
        // next request; behind a browser's body comes its next request.
        if (IsServerSide())
            m_keepAlive = false;
    }
    MoveInput(out, n);
    ConsumeBody(n);
    if (m_bodyBytesLeft == 0)
        m_endOfData = true;
    return n;
}

std::uint32_t CGenericSocket::ReadDecoded(CBuffer& out) {
    const std::uint32_t before = out.Size();
    DecodeResult result;
    for (;;) {
        const std::uint32_t raw = m_input.Size();
        result = m_decoder->Decode(m_input, out);
        ConsumeBody(raw - m_input.Size());
        if (result != kDecodeMoreInput || out.Size() != before)
            break;
        if (Receive(m_input) == 0) {
            // The body ended before the encoded stream did.
            m_endOfData = true;
            result = kDecodeBroken;
            break;
        }
    }
    if (result == kDecodeBroken)
        throw errors::InternalError();
    if (result == kDecodeComplete) {
        m_endOfData = true;
        // Anything left of the body after the stream's end leaves the
        // connection out of step.
        if (m_bodyBytesLeft > 0 || !m_input.Empty())
            m_keepAlive = false;
    }
    return out.Size() - before;
}

std::uint32_t CGenericSocket::ReadChunked(CBuffer& out) {
    for (;;) {
        if (m_chunkBytesLeft < 1 && ReadChunkHeader() == 0) {
            if (m_decoder)
                throw errors::InternalError(); // body ended before the stream
            return 0;
        }
        if (&out == &m_input) {
            const std::uint32_t before = m_input.Size();
            Receive(m_input);
            return m_input.Size() - before;
        }
        if (m_input.Empty() && Receive(m_input) == 0) {
            m_endOfData = true;
            throw CException::HalfClosed(); // cut off inside a chunk
        }
        const std::uint32_t take =
            static_cast<std::uint32_t>(std::min<std::int64_t>(m_chunkBytesLeft, m_input.Size()));
        m_chunkBytesLeft -= take;
        if (!m_decoder)
            return MoveInput(out, take);

        // Chunk payload collects in front of the decoder until it can use it.
        MoveInput(m_decoderInput, take);
        const std::uint32_t before = out.Size();
        const DecodeResult result = m_decoder->Decode(m_decoderInput, out);
        const std::uint32_t produced = out.Size() - before;
        if (result == kDecodeBroken)
            throw errors::InternalError();
        if (result == kDecodeComplete) {
            m_endOfData = true;
            // The last chunk is left unread: the connection cannot be reused.
            m_keepAlive = false;
            return produced;
        }
        if (produced > 0)
            return produced;
    }
}

std::uint32_t CGenericSocket::TakeBuffered(CBuffer& out) {
    std::uint32_t n = m_input.Size();
    if (m_bodyBytesLeft >= 0 && n > m_bodyBytesLeft)
        n = static_cast<std::uint32_t>(m_bodyBytesLeft);
    MoveInput(out, n);
    ConsumeBody(n);
    return n;
}

bool CGenericSocket::SetupDecoder(std::string_view contentEncoding) {
    m_decoder.reset();
    m_decoderInput.Clear();
    if (IsGzipEncoding(contentEncoding))
        m_decoder = std::make_unique<CGZIPEncoding>();
    return m_decoder != nullptr;
}

void CGenericSocket::SetDecoder(std::unique_ptr<CGenericEncoding> decoder) {
    m_decoder = std::move(decoder);
    m_decoderInput.Clear();
}

void CGenericSocket::PushBackLine(std::string_view text) {
    std::string line;
    line.reserve(text.size() + 2);
    line.append(text).append("\r\n");
    m_input.Prepend(line.data(), static_cast<std::uint32_t>(line.size()));
}

std::uint32_t CGenericSocket::SendText(std::string_view text) {
    return Send(text.data(), static_cast<std::uint32_t>(text.size()));
}
