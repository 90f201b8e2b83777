#pragma once
// Looking into backups without a transmitter: the units a data file holds for a type, what the
// model chooser would show for each of them, a model-by-model compare of two backups, one
// model taken out into a file of its own and several backups joined into one all-models file.
// The window and the command line both work through these; each turns EBackupError into its
// own words.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace vaultix::transfer {

enum TBackupFault {
    bfUnreadable,     // the file cannot be opened or read, or is no regular file
    bfSizeFitsNoType, // its size is no whole number of units of any type (an empty file too)
    bfSizeMismatch,   // its size does not fit the type it is read as
    bfNotComparable,  // one backup holds models, the other a whole memory image
    bfNoSuchModel,    // a model number beyond the backup's last model
    bfUnwritable,     // a result cannot be written
};

// A backup that cannot be read, understood or written. what() is one line that starts with the
// file's name ("club.a22: ..." unless Text says otherwise); Reason is what went wrong with it.
class EBackupError : public std::runtime_error {
public:
    EBackupError(TBackupFault AFault, std::filesystem::path AFile, std::string AReason);
    EBackupError(TBackupFault AFault, std::filesystem::path AFile, std::string AReason,
                 const std::string& Text);
    TBackupFault Fault;
    std::filesystem::path File;
    std::string Reason;
};

struct TUnitFile {
    std::filesystem::path Name;
    std::uint16_t Unit = 0;
    // The unit is the whole memory image of an MC-18 type, not one model.
    bool WholeMemory = false;
    std::vector<std::uint8_t> Bytes;

    std::size_t Count() const { return Unit == 0 ? 0 : Bytes.size() / Unit; }
    std::span<const std::uint8_t> UnitAt(std::size_t Index) const {
        return std::span<const std::uint8_t>(Bytes).subspan(Index * Unit, Unit);
    }
};

// The whole content of a data file, read only when it is a regular file; a named pipe or a
// device is refused before it is opened. Files larger than MaxBytes are refused unread.
inline constexpr std::uint64_t NoSizeLimit = ~std::uint64_t(0);
std::vector<std::uint8_t> ReadBackupBytes(const std::filesystem::path& Name,
                                          std::uint64_t MaxBytes = NoSizeLimit);

// The rows of TxTypes whose units a file of Size bytes is a whole number of (models, or for the
// MC-18 types also whole memory images), in table order; the test type only WithTest.
std::vector<int> TypesFittingSize(std::uint64_t Size, bool WithTest);

// The type to show a backup of Size bytes as, among Rows (those fitting its size): the type
// the person works with (Current) when it fits, else the one whose extension the file carries,
// else the first. -1 when Rows is empty.
int PreferredType(const std::vector<int>& Rows, int Current, const std::filesystem::path& Name);

// A file opened to be looked into, not knowing its type: its bytes and the types they fit.
// Refused with bfSizeFitsNoType when it is empty, when its size fits no type or when it is
// larger than any transmitter's memory could fill.
struct TAnyBackup {
    std::vector<std::uint8_t> Bytes;
    std::vector<int> Rows;
};
inline constexpr std::uint64_t LargestBackup = 16 * 1024 * 1024;
TAnyBackup ReadAnyBackup(const std::filesystem::path& Name, bool WithTest);

// Bytes of a data file read as the type in row TxRow. Its units are models when its size is a
// whole number of models; for the MC-18 types, whose all-models files are one memory image, a
// file of whole images is taken as such when WholeMemoryAllowed. Any other size raises
// bfSizeMismatch.
TUnitFile UnitFileOf(const std::filesystem::path& Name, std::vector<std::uint8_t> Bytes, int TxRow,
                     bool WholeMemoryAllowed);
// ReadBackupBytes and UnitFileOf in one.
TUnitFile LoadUnitFile(const std::filesystem::path& Name, int TxRow, bool WholeMemoryAllowed);

// One unit as the model chooser shows it.
struct TUnitEntry {
    std::size_t Index = 0;     // from 1
    std::optional<int> Number; // the model number, for types that keep one
    std::string Name;          // UTF-8, as stored: controls are not escaped
    std::string Entry;         // the chooser's entry, number and name, UTF-8, controls escaped
};

TUnitEntry DescribeUnit(const TUnitFile& File, int TxRow, std::size_t Index);
std::vector<TUnitEntry> DescribeUnits(const TUnitFile& File, int TxRow);

enum TCompareState { csSame, csChanged, csOnlyInA, csOnlyInB };

struct TCompareLine {
    TCompareState State;
    std::optional<std::size_t> A; // unit indices from 0
    std::optional<std::size_t> B;
};

// Model by model: units of types with model numbers pair by number, so that a model added or
// removed at the transmitter does not make every later model look changed; otherwise by place.
// A whole memory image against models raises bfNotComparable.
std::vector<TCompareLine> CompareBackups(const TUnitFile& FileA, const std::vector<TUnitEntry>& A,
                                         const TUnitFile& FileB, const std::vector<TUnitEntry>& B);

// The raw bytes of a whole file; nothing when it does not exist.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& Name);

// Writes Data as the file Name and, when given, Description as its description file, each
// replacing the old one in one step and the description only once the data are in place.
void WriteBackup(const std::filesystem::path& Name, std::span<const std::uint8_t> Data,
                 const std::optional<std::string>& Description);

// Model Model (from 1) of File as a one-model file Out, with a copy of File's description
// beside it when File has one. Returns the model's entry.
TUnitEntry ExtractModel(const TUnitFile& File, int TxRow, std::size_t Model,
                        const std::filesystem::path& Out);

// The models of Inputs, in order, as the all-models file Out. All inputs are read before Out
// is replaced, so Out may be one of them. Returns the number of models written.
std::size_t JoinBackups(const std::vector<std::filesystem::path>& Inputs, int TxRow,
                        const std::filesystem::path& Out);

} // namespace vaultix::transfer
