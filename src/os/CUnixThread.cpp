#include "os/CUnixThread.h"

#include <pthread.h>

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

} // namespace

std::size_t CUnixThread::StackSize() {
    // Sanitizers keep shadow frames on the stack and need several times more.
    return kSanitized ? 2 * 1024 * 1024 : 256 * 1024;
}

bool CUnixThread::Start(std::unique_ptr<CUnixThread> thread) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, StackSize());
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t id;
    CUnixThread* raw = thread.get();
    const int rc = pthread_create(&id, &attr, &CUnixThread::Entry, raw);
    pthread_attr_destroy(&attr);
    if (rc != 0)
        return false;
    thread.release(); // the new thread owns it now
    return true;
}

void* CUnixThread::Entry(void* self) {
    std::unique_ptr<CUnixThread> thread(static_cast<CUnixThread*>(self));
    thread->Run();
    return nullptr;
}
