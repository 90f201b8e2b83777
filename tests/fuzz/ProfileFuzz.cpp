// The settings file: any bytes read as a settings file give values or defaults, never a crash;
// a key written reads back, and every other key keeps its value; an integer read is one that
// reads the same once written.

#include "FuzzFiles.h"

#include "platform/ProfileFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using namespace vaultix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string Bytes(reinterpret_cast<const char*>(Data), Size);
    const std::filesystem::path File = fuzz::ScratchFile("Vaultix.ini");
    fuzz::WriteFile(File, Bytes);

    const std::vector<std::pair<std::string, std::string>> Keys = {
        {"Set", "PosY"},    {"Set", "Transmitter"}, {"Set", "Port"},
        {"Set", "Tracing"}, {"Ports", "COM1"},      {"Ports", "COM2"}};
    platform::TProfileFile Settings(File.string());
    std::vector<std::optional<std::string>> Before;
    for (const auto& [Section, Key] : Keys) {
        Before.push_back(Settings.ReadString(Section, Key));
        if (const auto Value = platform::ParseProfileInteger(Before.back().value_or(""))) {
            fuzz::Require(platform::ParseProfileInteger(std::to_string(*Value)) == Value,
                          "an integer reads differently once written");
        }
    }

    Settings.WriteInteger("Set", "PosX", -1234);
    platform::TProfileFile Back(File.string());
    fuzz::Require(Back.ReadInteger("Set", "PosX", 0) == -1234, "a written key does not read back");
    for (std::size_t I = 0; I < Keys.size(); ++I) {
        fuzz::Require(Back.ReadString(Keys[I].first, Keys[I].second) == Before[I],
                      "writing one key changed another");
    }
    return 0;
}
