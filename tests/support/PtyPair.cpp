#include "tests/support/PtyPair.h"

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace vaultix::testsupport {

namespace {

using TClock = std::chrono::steady_clock;

// Milliseconds left until End, at least 0.
int RemainingMs(TClock::time_point End) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(End - TClock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace

TPtyPair::TPtyPair() {
    char name[128] = {};
    if (::openpty(&Master, &SlaveFd, name, nullptr, nullptr) != 0)
        throw std::system_error(errno, std::generic_category(), "openpty");
    Slave = name;
    ::fcntl(Master, F_SETFL, ::fcntl(Master, F_GETFL) | O_NONBLOCK);
    ::fcntl(Master, F_SETFD, FD_CLOEXEC);
    ::fcntl(SlaveFd, F_SETFD, FD_CLOEXEC);
}

TPtyPair::~TPtyPair() {
    CloseMaster();
    CloseSlave();
}

bool TPtyPair::WriteAll(const void* Data, std::size_t Count, TDeadline Deadline) {
    const auto end = TClock::now() + Deadline;
    const auto* bytes = static_cast<const std::uint8_t*>(Data);
    std::size_t done = 0;
    while (done < Count) {
        if (Master < 0) return false;
        const ssize_t n = ::write(Master, bytes + done, Count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return false;
        const int wait = RemainingMs(end);
        if (wait == 0) return false;
        pollfd p{Master, POLLOUT, 0};
        ::poll(&p, 1, wait);
    }
    return true;
}

bool TPtyPair::WriteAll(std::string_view Text, TDeadline Deadline) {
    return WriteAll(Text.data(), Text.size(), Deadline);
}

bool TPtyPair::WriteAll(const std::vector<std::uint8_t>& Bytes, TDeadline Deadline) {
    return WriteAll(Bytes.data(), Bytes.size(), Deadline);
}

std::vector<std::uint8_t> TPtyPair::ReadExactly(std::size_t Count, TDeadline Deadline) {
    const auto end = TClock::now() + Deadline;
    std::vector<std::uint8_t> got(Count);
    std::size_t done = 0;
    while (done < Count && Master >= 0) {
        const ssize_t n = ::read(Master, got.data() + done, Count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || errno != EAGAIN) break;
        const int wait = RemainingMs(end);
        if (wait == 0) break;
        pollfd p{Master, POLLIN, 0};
        ::poll(&p, 1, wait);
    }
    got.resize(done);
    return got;
}

std::vector<std::uint8_t> TPtyPair::ReadAvailable() {
    std::vector<std::uint8_t> got;
    std::uint8_t chunk[4096];
    while (Master >= 0) {
        const ssize_t n = ::read(Master, chunk, sizeof chunk);
        if (n <= 0) break;
        got.insert(got.end(), chunk, chunk + n);
    }
    return got;
}

platform::TKernelTermios TPtyPair::ReadTermios() const {
    platform::TKernelTermios termios;
    // The master answers with the settings of its slave.
    if (const int e = platform::ReadKernelTermios(Master, termios))
        throw std::system_error(e, std::generic_category(), "TCGETS2");
    return termios;
}

void TPtyPair::CloseMaster() {
    if (Master >= 0) ::close(Master);
    Master = -1;
}

void TPtyPair::CloseSlave() {
    if (SlaveFd >= 0) ::close(SlaveFd);
    SlaveFd = -1;
}

} // namespace vaultix::testsupport
