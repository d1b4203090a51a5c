#pragma once

// A washer rewrites a response body while it streams from the server to the
// browser. Only the interface the connection thread drives lives here so far:
// no washer class exists yet, so CreateWasher never finds one that accepts a
// response, and every body is relayed unchanged.
class CWasher {
public:
    CWasher() = default;
    CWasher(const CWasher&) = default;
    CWasher& operator=(const CWasher&) = default;
    virtual ~CWasher() = default;

    // Washes what the body buffer holds; returns how many bytes at its front
    // are final. finished is true on the last call after the server's data
    // ended; the washer sets it to stop reading the server.
    virtual long Wash(bool& finished) = 0;
};
