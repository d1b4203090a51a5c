#include "support/Pump.h"

#include "os/CBuffer.h"
#include "washers/BodyPump.h"

#include <gtest/gtest.h>

namespace {

// Holds back everything behind the last '<' until the '>' comes, and drops
// every "x"; stops once it has seen a "!". Enough to show how the pump moves
// ready bytes, held bytes and the stop.
class CHoldingWasher : public CWasher {
public:
    explicit CHoldingWasher(CBuffer& body) : CWasher(Context(body)) {}

    WashResult Wash(bool last) override {
        CBuffer& body = Body();
        for (std::uint32_t i = 0; i < body.Size();)
            if (body.Data()[i] == 'x')
                body.Erase(i, 1);
            else
                ++i;
        const std::string_view text = body.View();
        if (text.find('!') != std::string_view::npos)
            return {body.Size(), true};
        const auto open = text.rfind('<');
        const bool held = !last && open != std::string_view::npos &&
                          text.find('>', open) == std::string_view::npos;
        return {held ? static_cast<std::uint32_t>(open) : body.Size(), false};
    }

private:
    static WasherContext Context(CBuffer& body) {
        WasherContext context;
        context.body = &body;
        return context;
    }
};

} // namespace

TEST(BodyPump, SameBytesForEverySplit) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"abc", "abc"},
        {"a<xb>c<d", "a<b>c<d"}, // an unfinished tag at the end is released
        {"x<<x>>x", "<<>>"},
    };
    auto make = [](CBuffer& body) { return std::make_unique<CHoldingWasher>(body); };
    for (const auto& [in, out] : cases)
        for (std::size_t size : {1, 2, 3, 64}) {
            const testsupport::Pumped pumped = testsupport::PumpBlocks(make, in, {size});
            EXPECT_EQ(pumped.out, out) << in << " in blocks of " << size;
            EXPECT_TRUE(pumped.result.sourceEnded);
            EXPECT_EQ(pumped.result.bytesSent, static_cast<std::int64_t>(pumped.out.size()));
        }
}

TEST(BodyPump, AStopSendsWhatIsThereAndReadsNoMore) {
    auto make = [](CBuffer& body) { return std::make_unique<CHoldingWasher>(body); };
    const testsupport::Pumped whole = testsupport::PumpBlocks(make, "ax<x>!tail", {64});
    EXPECT_EQ(whole.out, "a<>!tail");
    EXPECT_FALSE(whole.result.sourceEnded);
    const testsupport::Pumped bytes = testsupport::PumpBlocks(make, "ax<x>!tail", {1});
    EXPECT_EQ(bytes.out, "a<>!");
    EXPECT_FALSE(bytes.result.sourceEnded);
}
