#pragma once
// The transmitter types the program knows: everything the rest of the program needs to know
// about one transmitter family is one row of TxTypes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vaultix::transfer {

struct TTxInfo {
    const char* Code;
    bool SaveAllAllowed;
    bool RestoreAllAllowed;
    std::uint16_t ModelSize;     // bytes of one model memory
    const char* Ext;             // extension of one-model files, without the dot
    std::uint16_t NameOffset;    // offset of the model name in a model memory
    std::uint16_t NameLength;    // 0: the type has no model name
    std::uint16_t NumberOffset;  // offset of the model-number byte; NoModelNumber: none
    std::uint16_t BaudRate;
    const char* TxBoxEntry;      // the entry of the transmitter list for this row
    const char* Name;            // the type's everyday name: "MC-18", "MX-22", "Test"
};

inline constexpr std::uint16_t NoModelNumber = 1;
inline constexpr std::size_t TxTypeCount = 6;
// Row of the test type, listed only in debug mode.
inline constexpr int TestTypeRow = 5;
// Row used when the transmitter list has no valid selection.
inline constexpr int DefaultTxTypeRow = 2;

extern const std::array<TTxInfo, TxTypeCount> TxTypes;

// The row for a selection of the transmitter list; an invalid selection gives the default row.
const TTxInfo& TxTypeAt(int Selection);
bool IsValidTxSelection(int Selection);

// The row of a type named the way people write it: its everyday name ("MC-18"), its code
// ("mc18") or its list entry ("MC-18 (7 Models)"), in any letter case, with or without dashes
// and blanks ("mc18", "MC18", "mc 18"). -1 for a name that is none of these.
int FindTxType(std::string_view Name);

// The everyday names of the types, for texts that list them: "MC-18, MC-20, MC-22, MC-24,
// MX-22", with ", Test" when WithTest.
std::string TxTypeNames(bool WithTest);

// Size of the whole memory image that the all-models actions of the first two types move as
// one unit (0 for the types that go model by model).
std::uint16_t WholeMemorySize(int Selection);

// Model name and number of the model read last, as 8-bit Windows-1252 text (the transmitter's
// and the backups' own encoding). Each at most 255 characters.
extern std::string ModelName;
extern std::string ModelNumber;

// Reads the name and number of a model out of model bytes. Buffer holds bytes of one model
// memory, its first byte being the memory's byte at offset Start. Sets ModelName and
// ModelNumber and returns the name. Name bytes outside Buffer are never read.
std::string ExtractModelName(const TTxInfo& Row, std::span<const std::uint8_t> Buffer,
                             std::uint16_t Start);

} // namespace vaultix::transfer
