#include "os/CBuffer.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Recorder : CBufferObserver {
    std::vector<std::string> events;
    void Inserted(std::uint32_t pos, std::uint32_t n) override {
        events.push_back("+" + std::to_string(pos) + "," + std::to_string(n));
    }
    void Erased(std::uint32_t pos, std::uint32_t n) override {
        events.push_back("-" + std::to_string(pos) + "," + std::to_string(n));
    }
};

} // namespace

TEST(Buffer, EditsKeepTheDataAndTellObservers) {
    CBuffer buffer;
    Recorder recorder;
    buffer.AddObserver(&recorder);
    buffer.Append("world");
    buffer.Prepend("hello", 5);
    EXPECT_EQ(buffer.View(), "helloworld");
    buffer.Insert(5, ", ", 2);
    EXPECT_EQ(buffer.View(), "hello, world");
    EXPECT_EQ(buffer.Erase(0, 7), 5u);
    EXPECT_EQ(buffer.View(), "world");
    // Out of range or empty erasures change nothing and tell nobody.
    EXPECT_EQ(buffer.Erase(3, 3), 5u);
    EXPECT_EQ(buffer.Erase(2, 0), 5u);
    buffer.Insert(99, "!", 1); // past the end: appended
    EXPECT_EQ(buffer.View(), "world!");
    // Consuming and clearing move every offset as an erasure at the front.
    buffer.Consume(2);
    buffer.Clear();
    EXPECT_EQ(recorder.events,
              (std::vector<std::string>{"+0,5", "+5,2", "-0,7", "+5,1", "-0,2", "-0,4"}));

    buffer.Append("again");
    buffer.RemoveObserver(&recorder);
    buffer.Erase(0, 1);
    EXPECT_EQ(recorder.events.size(), 6u);
}

TEST(Buffer, ConsumeCompactsOnlyAfterTwoKilobytes) {
    CBuffer buffer;
    const std::string data(3000, 'x');
    buffer.Append(data);
    const char* storage = buffer.Data();
    buffer.Consume(100);
    EXPECT_EQ(buffer.Data(), storage + 100); // nothing moved
    EXPECT_EQ(buffer.Capacity(), 3000u);
    buffer.Consume(1947);
    EXPECT_EQ(buffer.Capacity(), 3000u); // start 2047: still below the threshold
    buffer.Consume(1);
    EXPECT_EQ(buffer.Size(), 952u);
    EXPECT_EQ(buffer.Capacity(), 952u); // copied into storage of exactly its size
    buffer.Consume(5000);
    EXPECT_EQ(buffer.Size(), 0u);
    EXPECT_EQ(buffer.Capacity(), 0u); // emptied: storage freed
}

TEST(Buffer, ClearReserveDetach) {
    CBuffer buffer;
    buffer.Append(std::string(100, 'a'));
    buffer.Clear(16384);
    EXPECT_EQ(buffer.Size(), 0u);
    EXPECT_EQ(buffer.Capacity(), 100u); // small storage is kept
    buffer.Append(std::string(20000, 'b'));
    buffer.Clear(16384);
    EXPECT_EQ(buffer.Capacity(), 0u);

    buffer.Append("abc");
    buffer.Reserve(10, 100);
    EXPECT_EQ(buffer.Capacity(), 103u);
    buffer.Reserve(50, 0); // enough room already
    EXPECT_EQ(buffer.Capacity(), 103u);
    EXPECT_EQ(buffer.View(), "abc");

    buffer.Consume(1);
    std::uint32_t start = 0, length = 0;
    auto storage = buffer.Detach(start, length);
    EXPECT_EQ(std::string(storage.get() + start, length), "bc");
    EXPECT_EQ(buffer.Size(), 0u);
    EXPECT_EQ(buffer.Capacity(), 0u);
}

TEST(Buffer, WriteWindowHoldsTheLockUntilEndWrite) {
    CBuffer buffer;
    buffer.Append("ab");
    std::uint32_t room = 16384;
    char* at = buffer.BeginWrite(room, 8192);
    EXPECT_GE(room, 8192u);
    std::atomic<bool> appended{false};
    std::thread other([&] {
        buffer.Append("!");
        appended = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(appended.load());
    std::memcpy(at, "cd", 2);
    buffer.EndWrite(2);
    other.join();
    EXPECT_EQ(buffer.View(), "abcd!");
}
