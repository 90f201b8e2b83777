#include "platform/PortInfo.h"

#include "platform/ShownText.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace vaultix::platform {

namespace fs = std::filesystem;

namespace {

std::string FirstLine(const fs::path& File) {
    std::ifstream In(File);
    std::string Line;
    std::getline(In, Line);
    while (!Line.empty() && (Line.back() == ' ' || Line.back() == '\r'))
        Line.pop_back();
    return Line;
}

// The USB device a tty belongs to: the nearest folder above its sysfs device that carries a
// vendor id (a USB interface sits between them for most adapters).
fs::path UsbDeviceOf(const fs::path& TtyClassEntry) {
    std::error_code Error;
    fs::path Folder = fs::canonical(TtyClassEntry / "device", Error);
    if (Error) return {};
    for (int Depth = 0; Depth < 4 && !Folder.empty() && Folder.has_relative_path(); ++Depth) {
        if (fs::exists(Folder / "idVendor", Error)) return Folder;
        Folder = Folder.parent_path();
    }
    return {};
}

// "QEMU" and "QEMU USB SERIAL" read as "QEMU USB SERIAL": many adapters repeat their maker at
// the start of the product name, and the label should not say it twice.
bool StartsWithWord(const std::string& Text, const std::string& Word) {
    if (Word.empty() || Text.size() < Word.size()) return false;
    for (std::size_t i = 0; i < Word.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(Text[i])) !=
            std::tolower(static_cast<unsigned char>(Word[i])))
            return false;
    return Text.size() == Word.size() ||
           !std::isalnum(static_cast<unsigned char>(Text[Word.size()]));
}

} // namespace

TDeviceInfo DescribeDevice(const std::string& DevicePath, const std::string& SysRoot) {
    TDeviceInfo Info;
    Info.Path = DevicePath;
    std::error_code Error;
    const fs::path Real = fs::canonical(DevicePath, Error);
    Info.Present = !Error;
    if (Info.Present && Real != fs::path(DevicePath)) Info.RealPath = Real.string();
    // A link (a udev name, a pinned path) is described by the device it names.
    const std::string Name = (Info.Present ? Real : fs::path(DevicePath)).filename().string();
    if (Name.empty()) return Info;
    const fs::path Usb = UsbDeviceOf(fs::path(SysRoot) / "class" / "tty" / Name);
    if (Usb.empty()) return Info;
    Info.Usb = true;
    Info.Maker = FirstLine(Usb / "manufacturer");
    Info.Product = FirstLine(Usb / "product");
    Info.Serial = FirstLine(Usb / "serial");
    return Info;
}

std::string DeviceSummary(const TDeviceInfo& Info) {
    if (!Info.Present) return ShownText(Info.Path) + " \u2014 not present";
    const std::string Where =
        Info.RealPath.empty() ? Info.Path : Info.Path + " (" + Info.RealPath + ")";
    std::string What = StartsWithWord(Info.Product, Info.Maker) ? std::string() : Info.Maker;
    if (!Info.Product.empty()) What += (What.empty() ? "" : " ") + Info.Product;
    if (What.empty() && Info.Usb) What = "USB adapter";
    // The adapter names itself, and a settings file names the path: both are shown escaped.
    return ShownText(What.empty() ? Where : Where + " \u2014 " + What);
}

} // namespace vaultix::platform
