#pragma once
// The application's end of the simulator's pseudo-terminal, reduced to plain reads and writes.

#include "simulator/TxSimulator.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace vaultix::simulator::testing {

using namespace std::chrono_literals;
using TBytes = std::vector<std::uint8_t>;

class TSlaveEnd {
public:
    explicit TSlaveEnd(const std::string& Path) {
        Fd = ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_GE(Fd, 0) << Path;
        termios settings{};
        EXPECT_EQ(::tcgetattr(Fd, &settings), 0);
        ::cfmakeraw(&settings);
        EXPECT_EQ(::tcsetattr(Fd, TCSANOW, &settings), 0);
    }
    ~TSlaveEnd() {
        if (Fd >= 0) ::close(Fd);
    }
    TSlaveEnd(const TSlaveEnd&) = delete;
    TSlaveEnd& operator=(const TSlaveEnd&) = delete;

    // Up to Count bytes, waiting at most Timeout in all; fewer when the line goes quiet or
    // hangs up.
    TBytes Read(std::size_t Count, std::chrono::milliseconds Timeout = 3s) {
        TBytes bytes;
        const auto deadline = std::chrono::steady_clock::now() + Timeout;
        while (bytes.size() < Count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !Poll(static_cast<int>(left.count()))) break;
            std::uint8_t buffer[4096];
            const ssize_t n = ::read(Fd, buffer, std::min(sizeof buffer, Count - bytes.size()));
            if (n <= 0) break;
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
        return bytes;
    }

    // True when no byte arrives for Quiet.
    bool QuietFor(std::chrono::milliseconds Quiet) {
        return !Poll(static_cast<int>(Quiet.count()));
    }

    // True once the simulator's side has gone.
    bool HungUp(std::chrono::milliseconds Timeout = 3s) {
        pollfd pfd{Fd, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(Timeout.count())) <= 0) return false;
        return (pfd.revents & POLLHUP) != 0;
    }

    void Write(const TBytes& Bytes) {
        std::size_t done = 0;
        while (done < Bytes.size()) {
            const ssize_t n = ::write(Fd, Bytes.data() + done, Bytes.size() - done);
            if (n < 0 && errno == EAGAIN) {
                pollfd pfd{Fd, POLLOUT, 0};
                ::poll(&pfd, 1, 100);
                continue;
            }
            ASSERT_GT(n, 0);
            done += static_cast<std::size_t>(n);
        }
    }

    void Ack() { Write({0x40, 0xAA}); }

private:
    bool Poll(int TimeoutMs) {
        pollfd pfd{Fd, POLLIN, 0};
        return ::poll(&pfd, 1, TimeoutMs) > 0 && (pfd.revents & POLLIN) != 0;
    }

    int Fd = -1;
};

// Options for quick runs: no pacing, no linger.
inline TSimOptions QuickOptions(int TypeRow, TSimMode Mode) {
    TSimOptions options;
    options.TypeRow = TypeRow;
    options.Mode = Mode;
    options.Paced = false;
    options.Linger = 0ms;
    return options;
}

inline bool HasErrorWith(const TSimResult& Result, const std::string& Part) {
    for (const auto& error : Result.Errors)
        if (error.find(Part) != std::string::npos) return true;
    return false;
}

inline TBytes Slice(const TBytes& Bytes, std::size_t From, std::size_t Count) {
    return TBytes(Bytes.begin() + static_cast<std::ptrdiff_t>(From),
                  Bytes.begin() + static_cast<std::ptrdiff_t>(From + Count));
}

} // namespace vaultix::simulator::testing
