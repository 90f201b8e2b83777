#pragma once
// The readers under test take file names: each harness process writes its input to a file of
// its own, and a failed check ends the run the way a sanitizer does, so that libFuzzer keeps the
// input.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include <unistd.h>

namespace vaultix::fuzz {

// A file in a folder of this process's own, removed when the process ends.
inline std::filesystem::path ScratchFile(const std::string& Name) {
    static const std::filesystem::path Folder = [] {
        std::filesystem::path Made =
            std::filesystem::temp_directory_path() / ("vaultix-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(Made);
        std::atexit([] {
            std::error_code Ignored;
            std::filesystem::remove_all(std::filesystem::temp_directory_path() /
                                            ("vaultix-fuzz-" + std::to_string(::getpid())),
                                        Ignored);
        });
        return Made;
    }();
    return Folder / Name;
}

inline void WriteFile(const std::filesystem::path& Name, std::string_view Bytes) {
    std::ofstream(Name, std::ios::binary | std::ios::trunc)
        .write(Bytes.data(), std::streamsize(Bytes.size()));
}

// A check every input must pass.
inline void Require(bool Holds, const char* What) {
    if (Holds) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", What);
    std::abort();
}

// Whether Text is fit to print: no C0 control other than those in Allowed, no DEL.
inline bool Printable(std::string_view Text, std::string_view Allowed = "") {
    for (const char C : Text) {
        const auto Code = static_cast<unsigned char>(C);
        if ((Code < 0x20 && Allowed.find(C) == std::string_view::npos) || Code == 0x7F)
            return false;
    }
    return true;
}

} // namespace vaultix::fuzz
