#include "proxy/CConnectionStandIn.h"

#include <sys/socket.h>
#include <unistd.h>

CConnectionStandIn::CConnectionStandIn(int fd, CConnCounter& counter, std::uint32_t peerAddress)
    : m_fd(fd), m_counter(counter), m_peerAddress(peerAddress),
      m_registration(counter.Register([fd] { ::shutdown(fd, SHUT_RDWR); })) {}

CConnectionStandIn::~CConnectionStandIn() {
    // Unregister before closing: an abort must never reach a closed descriptor.
    m_counter.Unregister(m_registration.handle);
    ::close(m_fd);
}

void CConnectionStandIn::Run() {
    char scratch[4096];
    while (::recv(m_fd, scratch, sizeof scratch, 0) > 0) {
    }
}
