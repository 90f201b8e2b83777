#pragma once
// Verifying a restore: the transmitter sends the model back as for a save, the driver receives
// it into memory (never into a file), and it is compared byte for byte with the unit the
// restore sent. Here are the unit's reading, the comparison and its words; both faces show the
// same sentences.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace vaultix::transfer {

// What a verify found.
struct TVerifyResult {
    bool Compared = false;           // the whole unit came back; false: nothing was verified
    std::size_t Size = 0;            // bytes of the unit
    std::size_t Differing = 0;       // bytes that differ
    std::size_t FirstDifference = 0; // offset of the first, from 0
    bool Identical() const { return Compared && Differing == 0; }
};

// The unit a restore sent: UnitSize bytes of File after SkipUnits units. Raises the file's
// I/O error when the file cannot be read or is too short.
std::vector<std::uint8_t> ReadRestoredUnit(const std::filesystem::path& File,
                                           std::uint16_t UnitSize, std::size_t SkipUnits);

// How the words name what was restored, from its bytes and the type in row TxRow: "Model 12
// "GLIDER"", "Model "GLIDER"" for a type without numbers, "The memory image" for the whole
// memory of the first two types. UTF-8, control characters escaped.
std::string RestoredSubject(std::span<const std::uint8_t> Unit, int TxRow);

// The same inside a sentence: "model 12 "GLIDER"", "the memory image".
std::string SubjectInSentence(std::string Subject);

// Compares what came back with what was sent, byte for byte.
TVerifyResult CompareUnits(std::span<const std::uint8_t> Sent,
                           std::span<const std::uint8_t> Received);

// The result for the user; "\r" breaks the lines.
std::string VerifyResultText(const TVerifyResult& Result, const std::string& Subject);

// What a verify that ended without the whole unit says after its reason ("Verify cancelled by
// user!", the port's trouble, a silent line).
inline constexpr char NothingVerifiedText[] =
    "Nothing was verified; the transmitter and the backup files are as they were.";
inline constexpr char VerifyCancelledMessage[] =
    "Verify cancelled by user!\rNothing was verified; the transmitter and the backup files are "
    "as they were.";

} // namespace vaultix::transfer
