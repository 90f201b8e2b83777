#include "platform/ComPortMap.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace vaultix::platform {

namespace {

struct TMapState {
    std::mutex Lock;
    std::map<int, std::string> Overrides;
    std::string ScanDirectory = "/dev";
};

TMapState& State() {
    static TMapState state;
    return state;
}

bool StartsWithNoCase(std::string_view Text, std::string_view Prefix) {
    if (Text.size() < Prefix.size()) return false;
    for (std::size_t i = 0; i < Prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(Text[i])) !=
            std::toupper(static_cast<unsigned char>(Prefix[i])))
            return false;
    return true;
}

// The number after Prefix in Name ("ttyUSB12" → 12), or -1 when the rest is not all digits.
long SuffixNumber(std::string_view Name, std::string_view Prefix) {
    if (Name.size() <= Prefix.size() || Name.substr(0, Prefix.size()) != Prefix) return -1;
    const std::string_view digits = Name.substr(Prefix.size());
    long value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size()) return -1;
    return value;
}

// Whether the driver behind a ttyS node has a UART: most PCs carry placeholder lines without
// hardware, whose type is 0. Sysfs answers without opening the line (an open raises DTR); the
// ioctl is the fallback where sysfs has no entry.
bool HasRealUart(const std::filesystem::path& Node) {
    std::ifstream typeFile("/sys/class/tty/" + Node.filename().string() + "/type");
    int type = 0;
    if (typeFile >> type) return type != 0;
    const int fd = ::open(Node.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    serial_struct info{};
    const bool real = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != 0;
    ::close(fd);
    return real;
}

std::vector<std::string> Scan(const std::string& Directory) {
    if (Directory.empty()) return {};
    struct TFound {
        int Group;
        long Number;
        std::string Path;
    };
    std::vector<TFound> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(Directory, ec)) {
        const std::string name = entry.path().filename().string();
        static constexpr std::string_view groups[] = {"ttyUSB", "ttyACM", "ttyS"};
        for (int g = 0; g < 3; ++g) {
            const long n = SuffixNumber(name, groups[g]);
            if (n < 0) continue;
            if (g == 2 && !HasRealUart(entry.path())) break;
            found.push_back({g, n, entry.path().string()});
            break;
        }
    }
    std::sort(found.begin(), found.end(), [](const TFound& a, const TFound& b) {
        return a.Group != b.Group ? a.Group < b.Group : a.Number < b.Number;
    });
    std::vector<std::string> paths;
    paths.reserve(found.size());
    for (auto& f : found)
        paths.push_back(std::move(f.Path));
    return paths;
}

} // namespace

int ParseComPortName(std::string_view Name) {
    if (StartsWithNoCase(Name, "\\\\.\\")) Name.remove_prefix(4);
    if (!StartsWithNoCase(Name, "COM") || Name.size() == 3) return -1;
    Name.remove_prefix(3);
    if (!std::isdigit(static_cast<unsigned char>(Name.front()))) return -1;
    int value = 0;
    const auto [end, ec] = std::from_chars(Name.data(), Name.data() + Name.size(), value);
    if (ec != std::errc() || end != Name.data() + Name.size()) return -1;
    return value;
}

std::string ComPortPath(int Number) {
    if (Number < 1 || Number > MaxComPort) return {};
    std::map<int, std::string> overrides;
    std::string directory;
    {
        std::lock_guard lock(State().Lock);
        overrides = State().Overrides;
        directory = State().ScanDirectory;
    }
    if (const auto it = overrides.find(Number); it != overrides.end()) return it->second;

    // The scan runs outside the lock: it touches the file system and may open devices.
    int next = 1;
    for (auto& path : Scan(directory)) {
        const bool pinned = std::any_of(overrides.begin(), overrides.end(),
                                        [&](const auto& o) { return o.second == path; });
        if (pinned) continue;
        while (overrides.count(next) != 0)
            ++next;
        if (next == Number) return std::move(path);
        if (next > Number) break;
        ++next;
    }
    return {};
}

std::string ResolveDeviceName(std::string_view Name) {
    const int number = ParseComPortName(Name);
    return number < 0 ? std::string(Name) : ComPortPath(number);
}

void SetPortOverride(int Number, std::string Path) {
    if (Number < 1 || Number > MaxComPort) return;
    std::lock_guard lock(State().Lock);
    if (Path.empty())
        State().Overrides.erase(Number);
    else
        State().Overrides[Number] = std::move(Path);
}

void ClearPortOverrides() {
    std::lock_guard lock(State().Lock);
    State().Overrides.clear();
}

void SetScanDirectory(std::string Directory) {
    std::lock_guard lock(State().Lock);
    State().ScanDirectory = std::move(Directory);
}

std::vector<std::string> ScanSerialDevices() {
    std::string directory;
    {
        std::lock_guard lock(State().Lock);
        directory = State().ScanDirectory;
    }
    return Scan(directory);
}

} // namespace vaultix::platform
