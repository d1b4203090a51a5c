#pragma once

class CBuffer;

// What a decoder says after a Decode call.
enum DecodeResult : int {
    kDecodeMoreInput = 0, // more input is needed
    kDecodeComplete = 1,  // the encoded stream is complete
    kDecodeBroken = 2,    // the data are broken
};

// A content decoder that the server socket runs over a response body as it
// arrives. This base class is the identity coding: it moves nothing and
// reports the stream complete.
class CGenericEncoding {
public:
    CGenericEncoding() = default;
    virtual ~CGenericEncoding() = default;
    CGenericEncoding(const CGenericEncoding&) = delete;
    CGenericEncoding& operator=(const CGenericEncoding&) = delete;

    // Turns bytes at the front of in (raw bytes received) into bytes appended to
    // out, consuming from in what it used. Produces at most a bounded block per
    // call, so a body that inflates enormously still streams.
    virtual DecodeResult Decode(CBuffer& in, CBuffer& out);
};
