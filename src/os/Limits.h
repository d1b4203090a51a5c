#pragma once

#include <cstdint>
#include <string_view>

// Every bound the proxy puts on its peers, in one place, so that no browser or
// server can hold a thread, a descriptor or memory for as long as it likes.
// The README lists them. The environment variable CORVAND_LIMITS may replace
// any of them, read once at the first use: a comma-separated list of name=value
// pairs ("head=200,idle=300,connections=8"; times in milliseconds). The
// end-to-end tests use it to run every limit in a fraction of a second.
struct Limits {
    // A request head must be complete this long after its first byte ("head").
    int requestHeadMs = 60 * 1000;
    // A browser connection that waits this long for a request, or sends
    // nothing for this long in the middle of one, is closed ("idle").
    int browserIdleMs = 120 * 1000;
    // A peer that takes nothing we send for this long is dropped ("stall").
    int sendStallMs = 5 * 60 * 1000;
    // A server that sends nothing for this long is given up ("server").
    int serverReadMs = 5 * 60 * 1000;
    // Interim (1xx) answers a server may send before its final one ("interim").
    int maxInterim = 16;
    // Browser connections held at once ("connections"); 0 derives the bound
    // from the open-file limit (see ConnectionBound).
    int maxConnections = 0;

    // The values in force for this process.
    static const Limits& Current();
    // base with the pairs of text applied; names it does not know, values that
    // are not plain positive decimal numbers and empty pieces are ignored.
    static Limits Parse(std::string_view text, Limits base);

    // How many browser connections fit into openFiles descriptors: each needs
    // one for itself and one for its server, and the server's may outlive the
    // request in the idle pool; a reserve stays for the listening socket,
    // settings, logs and templates. At least 1, at most kMaxConnectionsCap.
    static std::uint32_t ConnectionBound(std::uint64_t openFiles);

    static constexpr std::uint32_t kReservedFiles = 64;
    static constexpr std::uint32_t kFilesPerConnection = 3;
    // Every connection is a thread: beyond this, threads, not descriptors,
    // run out first.
    static constexpr std::uint32_t kMaxConnectionsCap = 4096;
};
