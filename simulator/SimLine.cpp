#include "simulator/SimLine.h"

#include "simulator/DeviceLineSetup.h"

#include <cerrno>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <system_error>
#include <unistd.h>

namespace vaultix::simulator {

namespace {

[[noreturn]] void ThrowErrno(int Error, const std::string& What) {
    throw std::system_error(Error, std::generic_category(), What);
}

void CloseFd(int& Fd) {
    if (Fd >= 0) ::close(Fd);
    Fd = -1;
}

} // namespace

TSimLine::TSimLine() {
    CancelFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (CancelFd < 0) ThrowErrno(errno, "eventfd");
}

TSimLine::~TSimLine() {
    HangUp();
    CloseFd(CancelFd);
}

void TSimLine::OpenPty() {
    if (IsOpen()) throw std::logic_error("line already open");
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) ThrowErrno(errno, "openpty");
    char name[PATH_MAX] = {};
    const int nameError = ::ptsname_r(master, name, sizeof name);
    const int flags = ::fcntl(master, F_GETFL);
    if (nameError != 0 || flags < 0 || ::fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0 ||
        ::fcntl(master, F_SETFD, FD_CLOEXEC) != 0 || ::fcntl(slave, F_SETFD, FD_CLOEXEC) != 0) {
        const int error = nameError != 0 ? nameError : errno;
        ::close(master);
        ::close(slave);
        ThrowErrno(error, "pseudo-terminal set-up");
    }
    MasterFd = master;
    SlaveFd = slave;
    LinePath = name;
}

void TSimLine::OpenDevice(const std::string& DevicePath, std::uint32_t Baud) {
    if (IsOpen()) throw std::logic_error("line already open");
    const int fd = ::open(DevicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) ThrowErrno(errno, "open " + DevicePath);
    if (const int error = ConfigureDeviceLine(fd, Baud); error != 0) {
        ::close(fd);
        ThrowErrno(error, "line settings of " + DevicePath);
    }
    MasterFd = fd;
    LinePath = DevicePath;
}

unsigned TSimLine::Wait(unsigned Wanted, std::optional<TSimClock::time_point> Deadline) {
    if (Cancelled()) return leCancelled;
    if (!IsOpen()) return leHangup;
    pollfd fds[2] = {};
    fds[0].fd = CancelFd;
    fds[0].events = POLLIN;
    fds[1].fd = MasterFd;
    fds[1].events =
        static_cast<short>(((Wanted & leInput) ? POLLIN : 0) | ((Wanted & leOutput) ? POLLOUT : 0));
    for (;;) {
        timespec limit{};
        timespec* limitPtr = nullptr;
        if (Deadline) {
            const auto left = std::max(TSimClock::duration::zero(), *Deadline - TSimClock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            limit.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
            limit.tv_nsec = static_cast<long>(ns % 1'000'000'000);
            limitPtr = &limit;
        }
        const int n = ::ppoll(fds, 2, limitPtr, nullptr);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowErrno(errno, "ppoll");
        }
        if (n == 0) return leNone;
        if (fds[0].revents != 0) return leCancelled;
        unsigned found = leNone;
        if (fds[1].revents & POLLIN) found |= leInput;
        if (fds[1].revents & POLLOUT) found |= leOutput;
        if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) found |= leHangup;
        return found;
    }
}

std::size_t TSimLine::ReadSome(std::span<std::uint8_t> Buffer) {
    if (!IsOpen()) ThrowErrno(EBADF, "read from a closed line");
    for (;;) {
        const ssize_t n = ::read(MasterFd, Buffer.data(), Buffer.size());
        if (n > 0) return static_cast<std::size_t>(n);
        // A tty opened by path reads raw with no minimum, so 0 there means "nothing yet"; its
        // hang-up shows in Wait. A pseudo-terminal master never reads 0 but on a hang-up.
        if (n == 0 && !IsPty()) return 0;
        if (n == 0) ThrowErrno(EIO, "read: line hung up");
        if (errno == EINTR) continue;
        if (errno == EAGAIN) return 0;
        ThrowErrno(errno, "read");
    }
}

std::size_t TSimLine::WriteSome(std::span<const std::uint8_t> Bytes) {
    if (!IsOpen()) ThrowErrno(EBADF, "write to a closed line");
    if (Bytes.empty()) return 0;
    for (;;) {
        const ssize_t n = ::write(MasterFd, Bytes.data(), Bytes.size());
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno == EINTR) continue;
        if (errno == EAGAIN) return 0;
        ThrowErrno(errno, "write");
    }
}

std::optional<std::size_t> TSimLine::UnreadBySlave() const {
    int unread = 0;
    if (SlaveFd < 0 || ::ioctl(SlaveFd, FIONREAD, &unread) != 0) return std::nullopt;
    return static_cast<std::size_t>(unread);
}

void TSimLine::HangUp() {
    CloseFd(MasterFd);
    CloseFd(SlaveFd);
}

void TSimLine::Cancel() {
    CancelRequested.store(true, std::memory_order_release);
    const std::uint64_t one = 1;
    // The eventfd counter cannot overflow with a handful of writes; a failed write would only
    // mean it is already signalled.
    [[maybe_unused]] const ssize_t n = ::write(CancelFd, &one, sizeof one);
}

} // namespace vaultix::simulator
