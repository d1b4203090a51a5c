#include "stats/CStatistic.h"

#include "os/CActionTimer.h"
#include "os/Paths.h"
#include "stats/CStatisticFile.h"
#include "text/CIString.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <utility>
#include <vector>

namespace {

constexpr std::array<std::string_view, CStatistic::kEventCount> kEventNames = {
    "FilteredImages", "FilteredWindows", "FilteredScripts",   "FilteredLayers",
    "FilteredFrames", "FilteredForms",   "ImagesReceived",    "FilteredCookies",
    "GoodCookies",    "SentCookies",     "BlockedMediatypes", "FilteredEmbeddedObjects",
    "Requests",       "BlockedRequests"};

constexpr std::array<std::string_view, CStatistic::kBytesCount> kBytesNames = {
    "BytesSentToClient", "BytesSentToServer", "BytesReceivedFromClient", "BytesReceivedFromServer"};

constexpr std::string_view kConnections = "Connections";
constexpr std::string_view kActiveConnections = "ActiveConnections";
constexpr std::string_view kRefusedConnections = "RefusedConnections";
constexpr std::string_view kResetTime = "ResetTime";
constexpr std::string_view kResetDay = "ResetTimeDay";
constexpr std::string_view kResetMonth = "ResetTimeMonth";
constexpr std::string_view kResetYear = "ResetTimeYear";
constexpr std::string_view kResetHour = "ResetTimeHour";
constexpr std::string_view kResetMin = "ResetTimeMin";

// A stored counter: decimal digits only and within the counter's range, else 0.
// A hand-edited "12x" must not count as 12.
template <typename T> T ParseCounter(const std::string& text) {
    T value = 0;
    if (text.empty())
        return 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end)
        return 0;
    return value;
}

} // namespace

CStatistic::CStatistic(CStatistic* parent)
    : CTimedAction(kSaveInterval), m_parent(parent), m_resetTime(Now()) {}

CStatistic::CStatistic(CStatistic* parent, std::string_view group)
    : CStatistic(parent, std::make_unique<CStatisticFile>(paths::GroupStat(group))) {}

CStatistic::CStatistic(CStatistic* parent, std::unique_ptr<CPersistStatistic> store)
    : CTimedAction(kSaveInterval), m_parent(parent), m_store(std::move(store)), m_resetTime(Now()) {
    Load();
    CActionTimer::Register(this);
}

CStatistic::~CStatistic() {
    if (m_store) {
        // Off the timer first: a save the timer has begun completes before this
        // returns, and none can start on a half-destroyed object.
        CActionTimer::Unregister(this);
        Save();
    }
}

std::tm CStatistic::Now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

std::string_view CStatistic::EventName(Event event) {
    return kEventNames.at(event);
}

std::string_view CStatistic::BytesName(Bytes counter) {
    return kBytesNames.at(counter);
}

void CStatistic::Increment(Event event) {
    // The parent first, so that no increment ever holds two counter locks.
    if (m_parent != nullptr)
        m_parent->Increment(event);
    StCritical guard(m_counterLock);
    ++m_events[event];
}

void CStatistic::AddBytes(Bytes counter, std::uint64_t n) {
    if (m_parent != nullptr)
        m_parent->AddBytes(counter, n);
    StCritical guard(m_counterLock);
    m_bytes[counter] += n;
}

std::uint32_t CStatistic::Counter(Event event) {
    StCritical guard(m_counterLock);
    return m_events[event];
}

std::uint64_t CStatistic::ByteCount(Bytes counter) {
    StCritical guard(m_counterLock);
    return m_bytes[counter];
}

void CStatistic::ConnectionOpened() {
    StCritical guard(m_counterLock);
    ++m_activeConnections;
    ++m_connections;
}

void CStatistic::ConnectionClosed() {
    StCritical guard(m_counterLock);
    if (m_activeConnections > 0)
        --m_activeConnections;
}

void CStatistic::ConnectionRefused() {
    StCritical guard(m_counterLock);
    ++m_refusedConnections;
}

std::uint32_t CStatistic::RefusedConnections() {
    StCritical guard(m_counterLock);
    return m_refusedConnections;
}

std::uint32_t CStatistic::ActiveConnections() {
    StCritical guard(m_counterLock);
    return m_activeConnections;
}

std::uint32_t CStatistic::Connections() {
    StCritical guard(m_counterLock);
    return m_connections;
}

std::tm CStatistic::ResetTime() {
    StCritical guard(m_counterLock);
    return m_resetTime;
}

void CStatistic::Reset() {
    const std::tm now = Now();
    StCritical guard(m_counterLock);
    m_events.fill(0);
    m_bytes.fill(0);
    m_connections = 0;
    m_refusedConnections = 0;
    m_resetTime = now;
}

void CStatistic::Load() {
    std::string name, value;
    if (!m_store->OpenRead(name, value))
        return;
    do
        SetValue(name, value);
    while (m_store->ReadNext(name, value));
    m_store->Close();

    // The file holds only the date and the minute; the weekday the statistics
    // page prints is worked out from them rather than left at today's.
    StCritical guard(m_counterLock);
    std::tm normalized = m_resetTime;
    normalized.tm_sec = 0;
    normalized.tm_isdst = -1;
    if (std::mktime(&normalized) != static_cast<std::time_t>(-1))
        m_resetTime = normalized;
}

void CStatistic::SetValue(const std::string& name, const std::string& value) {
    StCritical guard(m_counterLock);
    for (int i = 0; i < kEventCount; ++i)
        if (name == kEventNames[i]) {
            m_events[i] = ParseCounter<std::uint32_t>(value);
            return;
        }
    for (int i = 0; i < kBytesCount; ++i)
        if (name == kBytesNames[i]) {
            m_bytes[i] = ParseCounter<std::uint64_t>(value);
            return;
        }
    const int number = std::atoi(value.c_str());
    if (name == kResetDay)
        m_resetTime.tm_mday = number;
    else if (name == kResetMonth)
        m_resetTime.tm_mon = number - 1;
    else if (name == kResetYear)
        m_resetTime.tm_year = number - 1900;
    else if (name == kResetHour)
        m_resetTime.tm_hour = number;
    else if (name == kResetMin)
        m_resetTime.tm_min = number;
    else if (name == kConnections && IsTopLevel())
        m_connections = ParseCounter<std::uint32_t>(value);
}

void CStatistic::Save() {
    if (!m_store)
        return;
    std::vector<std::pair<std::string, std::string>> entries;
    entries.reserve(std::size_t{kEventCount} + kBytesCount + 6);
    std::tm resetTime{};
    {
        StCritical guard(m_counterLock);
        for (int i = 0; i < kEventCount; ++i)
            entries.emplace_back(kEventNames[i], std::to_string(m_events[i]));
        for (int i = 0; i < kBytesCount; ++i)
            entries.emplace_back(kBytesNames[i], std::to_string(m_bytes[i]));
        if (IsTopLevel())
            entries.emplace_back(kConnections, std::to_string(m_connections));
        resetTime = m_resetTime;
    }
    entries.emplace_back(kResetDay, std::to_string(resetTime.tm_mday));
    entries.emplace_back(kResetMonth, std::to_string(resetTime.tm_mon + 1));
    entries.emplace_back(kResetYear, std::to_string(resetTime.tm_year + 1900));
    entries.emplace_back(kResetHour, std::to_string(resetTime.tm_hour));
    entries.emplace_back(kResetMin, std::to_string(resetTime.tm_min));

    StCritical guard(m_fileLock);
    bool ok = m_store->OpenWrite(entries.front().first, entries.front().second);
    for (std::size_t i = 1; ok && i < entries.size(); ++i)
        ok = m_store->WriteNext(entries[i].first, entries[i].second);
    // Close also abandons a write that stopped half-way, keeping the old file.
    m_store->Close();
}

std::string CStatistic::FormatBytes(std::uint64_t value) {
    constexpr std::uint64_t kKB = 1024, kMB = 1048576, kGB = 1073741824;
    std::uint64_t unit = 0;
    const char* suffix = "";
    if (value >= kGB)
        unit = kGB, suffix = " GB";
    else if (value >= kMB)
        unit = kMB, suffix = " MB";
    else if (value >= kKB)
        unit = kKB, suffix = " KB";
    if (unit == 0)
        return std::to_string(value);
    // Tenths of the unit, truncated; split so that huge counts cannot overflow.
    const std::uint64_t tenths = value / unit * 10 + value % unit * 10 / unit;
    std::string text = std::to_string(tenths / 10);
    text += '.';
    text += static_cast<char>('0' + tenths % 10);
    return text + suffix;
}

std::string CStatistic::ValueText(std::string_view name, bool humanReadable) {
    if (EqualsNoCase(name, kResetTime)) {
        const std::tm resetTime = ResetTime();
        char text[64];
        const std::size_t length =
            std::strftime(text, sizeof text, "%a, %d. %b %Y, %H:%M", &resetTime);
        return std::string(text, length);
    }
    if (EqualsNoCase(name, kConnections))
        return std::to_string(Connections());
    if (EqualsNoCase(name, kActiveConnections))
        return std::to_string(ActiveConnections());
    if (EqualsNoCase(name, kRefusedConnections))
        return std::to_string(RefusedConnections());
    for (int i = 0; i < kEventCount; ++i)
        if (EqualsNoCase(name, kEventNames[i]))
            return std::to_string(Counter(static_cast<Event>(i)));
    for (int i = 0; i < kBytesCount; ++i)
        if (EqualsNoCase(name, kBytesNames[i])) {
            const std::uint64_t value = ByteCount(static_cast<Bytes>(i));
            return humanReadable ? FormatBytes(value) : std::to_string(value);
        }
    return "0";
}
