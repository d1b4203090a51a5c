// Costs of the wildcard patterns and the URL lists on the request path.

#include "settings/BuiltInLists.h"
#include "settings/CSetURLList.h"
#include "text/CRegEx.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

const char* const kTypicalURL =
    "http://www.example-news.com/politics/2024/05/17/the-long-article-title-goes-here.html"
    "?utm_source=feed&utm_medium=rss";

CIString Encoded(const std::string& text) {
    CIString encoded(text);
    CRegEx::Encode(encoded);
    return encoded;
}

void CompilePattern(benchmark::State& state) {
    for (auto _ : state) {
        CRegEx pattern("~http://ads[0-9].*/(banner|ad)/*.gif$");
        benchmark::DoNotOptimize(pattern);
    }
}
BENCHMARK(CompilePattern);

void MatchSimplePattern(benchmark::State& state) {
    const CRegEx pattern("/adserver/");
    const CIString url = Encoded(kTypicalURL);
    std::size_t length = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(pattern.Match(url.c_str(), url.size(), length));
}
BENCHMARK(MatchSimplePattern);

void MatchWildcardPattern(benchmark::State& state) {
    const CRegEx pattern("*/[0-9][0-9][0-9]x[0-9][0-9]*.(gif|jpg|png)");
    const CIString url = Encoded(kTypicalURL);
    std::size_t length = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(pattern.Match(url.c_str(), url.size(), length));
}
BENCHMARK(MatchWildcardPattern);

// A whole list lookup of a typical URL, as the image filter makes it per tag.
void BuiltInListMatch(benchmark::State& state) {
    const CSetURLList& list = builtin::URLDomainList();
    for (auto _ : state)
        benchmark::DoNotOptimize(list.Match(kTypicalURL));
}
BENCHMARK(BuiltInListMatch);

// A link of a news page on the page's own server, the washer's usual question.
void BuiltInListMatchPageLink(benchmark::State& state) {
    const CSetURLList& list = builtin::URLDomainList();
    for (auto _ : state)
        benchmark::DoNotOptimize(list.Match("http://127.0.0.1:18080/section/lorem-ipsum-10.html"));
}
BENCHMARK(BuiltInListMatchPageLink);

void BuiltInPlusUserEntriesMatch(benchmark::State& state) {
    CSetURLList list(builtin::URLDomainList());
    for (int i = 0; i < 1000; ++i)
        list.AddLine("/user" + std::to_string(i) + "/*.gif");
    for (auto _ : state)
        benchmark::DoNotOptimize(list.Match(kTypicalURL));
    state.counters["entries"] = static_cast<double>(list.Count());
}
BENCHMARK(BuiltInPlusUserEntriesMatch);

// Patterns that make the plain search backtrack, against long URLs that almost
// match. The argument is the URL's length; the cost must grow no faster than
// the text squared, whatever the number of wildcards.
std::string LongURL(std::size_t length) {
    std::string url = "http://x/";
    while (url.size() < length)
        url += 'a';
    return url;
}

void HostileStars(benchmark::State& state) {
    const CRegEx pattern("*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b");
    const CIString url = Encoded(LongURL(static_cast<std::size_t>(state.range(0))));
    std::size_t length = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(pattern.Match(url.c_str(), url.size(), length));
}
BENCHMARK(HostileStars)->Arg(256)->Arg(1024)->Arg(4096)->Unit(benchmark::kMicrosecond);

void HostileGroupsAndQuestionMarks(benchmark::State& state) {
    const CRegEx pattern("(a|aa)*(a|aa)??*(a|aa)*?a*(a|aa)*a?a*c");
    const CIString url = Encoded(LongURL(static_cast<std::size_t>(state.range(0))));
    std::size_t length = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(pattern.Match(url.c_str(), url.size(), length));
}
BENCHMARK(HostileGroupsAndQuestionMarks)
    ->Arg(256)
    ->Arg(1024)
    ->Arg(4096)
    ->Unit(benchmark::kMicrosecond);

// The plain search without the bound, for comparison, on short texts only: it
// grows with the text length to the power of the number of wildcards.
void HostileStarsUnbounded(benchmark::State& state) {
    const CRegEx pattern("*a*a*a*a*a*b");
    const CIString url = Encoded(LongURL(static_cast<std::size_t>(state.range(0))));
    std::size_t length = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            pattern.Match(url.c_str(), url.size(), length, CRegEx::Strategy::Plain));
}
BENCHMARK(HostileStarsUnbounded)->Arg(32)->Arg(64)->Arg(128)->Unit(benchmark::kMicrosecond);

void HostileStarsBounded(benchmark::State& state) {
    const CRegEx pattern("*a*a*a*a*a*b");
    const CIString url = Encoded(LongURL(static_cast<std::size_t>(state.range(0))));
    std::size_t length = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(pattern.Match(url.c_str(), url.size(), length));
}
BENCHMARK(HostileStarsBounded)->Arg(32)->Arg(64)->Arg(128)->Unit(benchmark::kMicrosecond);

} // namespace
