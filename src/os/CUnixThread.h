#pragma once

#include <cstddef>
#include <memory>

// A detached thread that owns itself: once started, the thread runs Run() and
// then deletes the object. Nobody joins or deletes it from outside.
//
// The threads are created with pthreads rather than std::thread because a proxy
// keeps one of them per open browser connection, and only pthreads lets us give
// them a modest stack so that thousands of connections fit in memory.
class CUnixThread {
public:
    CUnixThread() = default;
    virtual ~CUnixThread() = default;
    CUnixThread(const CUnixThread&) = delete;
    CUnixThread& operator=(const CUnixThread&) = delete;

    // Hands the thread object to a new detached thread. On failure the object
    // is destroyed here and false is returned.
    static bool Start(std::unique_ptr<CUnixThread> thread);

    // Stack size of every such thread: enough for the deepest request path,
    // small enough for thousands of idle connections.
    static std::size_t StackSize();

protected:
    virtual void Run() = 0;

private:
    static void* Entry(void* self);
};
