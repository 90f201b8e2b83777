#include "serial/TraceRing.h"

#include "serial/ByteRendering.h"
#include "serial/DiagnosticFile.h"
#include "serial/ResultCodes.h"

namespace vaultix::serial {

namespace {
// A data line is ended before a byte that would take it past this column.
constexpr std::uint32_t LastColumn = 78;
} // namespace

std::int32_t TTraceRing::StartTrace(std::uint32_t EntryCount) {
    if (HasRing()) {
        ResetTrace();
    } else {
        if (EntryCount > MaxEntries) return ecBadArgument;
        Ring = std::make_unique<TEntry[]>(EntryCount);
        EntryCapacity = EntryCount;
        Position = 0;
        Wrapped = false;
    }
    On = true;
    return ecOK;
}

void TTraceRing::ResetTrace() {
    Position = 0;
    Wrapped = false;
}

void TTraceRing::DiscardTrace() {
    On = false;
    Ring.reset();
    EntryCapacity = 0;
    Position = 0;
    Wrapped = false;
}

void TTraceRing::AddTraceEntry(char Kind, std::uint8_t Byte) {
    // A ring of no entries exists but holds nothing.
    if (!HasRing() || EntryCapacity == 0) return;
    Ring[Position] = TEntry{Kind, Byte};
    if (++Position == EntryCapacity) {
        Position = 0;
        Wrapped = true;
    }
}

std::int32_t TTraceRing::SaveTraceToFile(const std::string& FileName, bool InHex, bool AllHex) {
    return WriteTraceFile(FileName, InHex, AllHex, false);
}

std::int32_t TTraceRing::AppendTraceToFile(const std::string& FileName, bool InHex, bool AllHex) {
    return WriteTraceFile(FileName, InHex, AllHex, true);
}

std::int32_t TTraceRing::WriteTraceFile(const std::string& FileName, bool InHex, bool AllHex,
                                        bool Append) {
    if (!HasRing()) return ecOK;
    On = false;
    const std::uint32_t count = EntryCount();
    if (count == 0) {
        // Nothing recorded: the file is neither created nor touched.
        DiscardTrace();
        return ecOK;
    }

    TDiagnosticFile file;
    if (const std::int32_t rc = file.Open(FileName, Append); rc != 0) {
        DiscardTrace();
        return rc;
    }

    std::uint32_t index = Wrapped ? Position : 0;
    std::uint32_t column = 0;
    char previousKind = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const TEntry entry = Ring[index];
        if (++index == EntryCapacity) index = 0;

        if (i == 0 || entry.Kind != previousKind) {
            if (i != 0) {
                // End the previous run's last line and leave one empty line.
                file.EndLine();
                file.EndLine();
            }
            column = 0;
            file.WriteLine(entry.Kind == 'R' ? "Receive: " : "Transmit: ");
            previousKind = entry.Kind;
        }

        const TRenderedByte text = RenderByte(entry.Byte, InHex, AllHex);
        column += text.Width;
        if (column > LastColumn) {
            file.EndLine();
            column = text.Width;
        }
        file.Write(text.View());
    }

    const std::int32_t rc = file.Close();
    DiscardTrace();
    return rc;
}

} // namespace vaultix::serial
