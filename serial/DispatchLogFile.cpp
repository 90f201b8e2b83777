// The dispatch log's text file: the header that describes program, machine and moment, then
// one line per entry (continued on indented lines when its bytes do not fit).

#include "serial/DispatchLog.h"

#include "platform/SystemDescription.h"
#include "serial/ByteRendering.h"
#include "serial/DiagnosticFile.h"
#include "serial/ResultCodes.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

namespace vaultix::serial {

namespace {

constexpr std::array<const char*, 21> TypeNames = {
    "No event", "Dispatch", "Trigger",  "Error",  "Thread", "TrigAllc", "TrigDisp",
    "TrgHdAlc", "TrgHdDsp", "TrDatChg", "Telnet", "Fax",    "XModem",   "YModem",
    "ZModem",   "Kermit",   "Ascii",    "BPlus",  "Packet", "User",     "Script"};

constexpr std::array<const char*, 20> SubTypeNames = {
    "",      "ReadCom", "WriteCom", "Line status", "Modem status", "Avail", "Timer",
    "Data",  "Status",  "Start",    "Exit",        "Sleep",        "Wake",  "Data",
    "Timer", "Status",  "Avail",    "Window",      "Procedure",    "Method"};

constexpr std::array<const char*, 6> StatusKindNames = {
    "(Not active)",         "(Modem status)",       "(Line status)",
    "(Output buffer free)", "(Output buffer used)", "(Output sent)"};

constexpr std::array<const char*, 8> ModemBitNames = {"DCTS", "DDSR", "TERI", "DDCD",
                                                      "CTS",  "DSR",  "RI",   "DCD"};

// Bytes start after the 44-column prefix; a line is ended before an item that would take the
// count past LastColumn.
constexpr std::uint32_t FirstByteColumn = 45;
constexpr std::uint32_t LastColumn = 78;
constexpr std::string_view ContinuationIndent = "                                            ";
static_assert(ContinuationIndent.size() == FirstByteColumn - 1);

constexpr std::size_t HeaderTextLimit = 80;

std::string_view Cut(std::string_view Text) {
    return Text.substr(0, HeaderTextLimit);
}

// Milliseconds with at least seven digits and a point before the last three: 0001.234.
void FormatTime(std::uint32_t Ms, char (&Out)[16]) {
    char digits[12];
    const int n = std::snprintf(digits, sizeof digits, "%07u", static_cast<unsigned>(Ms));
    std::snprintf(Out, sizeof Out, "%.*s.%s", n - 3, digits, digits + n - 3);
}

} // namespace

const char* LogTypeName(std::uint8_t Type) {
    return Type < TypeNames.size() ? TypeNames[Type] : "";
}

const char* LogSubTypeName(std::uint8_t SubType) {
    return SubType < SubTypeNames.size() ? SubTypeNames[SubType] : "";
}

const char* StatusKindName(std::uint8_t Kind) {
    return Kind < StatusKindNames.size() ? StatusKindNames[Kind] : "";
}

TLogHeaderTexts CurrentLogHeaderTexts() {
    return {platform::CompilerText(), platform::OperatingSystemText(),
            platform::LocalDateTimeText()};
}

std::int32_t TDispatchLog::SaveLogToFile(const std::string& FileName, const std::string& DeviceName,
                                         bool InHex, bool AllHex) {
    return WriteLogFile(FileName, DeviceName, InHex, AllHex, false, CurrentLogHeaderTexts());
}

std::int32_t TDispatchLog::AppendLogToFile(const std::string& FileName,
                                           const std::string& DeviceName, bool InHex, bool AllHex) {
    return WriteLogFile(FileName, DeviceName, InHex, AllHex, true, CurrentLogHeaderTexts());
}

std::int32_t TDispatchLog::WriteLogFile(const std::string& FileName, const std::string& DeviceName,
                                        bool InHex, bool AllHex, bool Append,
                                        const TLogHeaderTexts& Texts) {
    if (!HasRing() || Empty()) {
        // Nothing recorded: the file is neither created nor touched.
        DiscardLog();
        return ecOK;
    }
    On = false;

    TDiagnosticFile file;
    // A file that cannot be opened leaves the entries in place for another attempt.
    if (const std::int32_t rc = file.Open(FileName, Append); rc != 0) return rc;

    file.WriteLine("Orvex v4.06");
    file.Write("Compiler : ");
    file.WriteLine(Texts.Compiler);
    file.Write("Operating System : ");
    file.WriteLine(Cut(Texts.OperatingSystem));
    file.Write("Device: ");
    file.WriteLine(DeviceName);
    file.Write("Date/time: ");
    file.WriteLine(Cut(Texts.DateTime));
    file.WriteLine("Time      Type      SubType       Data      OtherData");
    file.WriteLine("--------  --------  ------------  --------  ---------");

    THeader entry;
    while (TakeHeader(entry)) {
        char time[16];
        FormatTime(entry.Time, time);
        char prefix[80];
        const int n = std::snprintf(prefix, sizeof prefix, "%8s  %-8s  %-12s  %08X  ", time,
                                    LogTypeName(entry.Type), LogSubTypeName(entry.SubType),
                                    static_cast<unsigned>(entry.Data));
        file.Write(std::string_view(prefix, static_cast<std::size_t>(n)));

        if (entry.DataLen == 0) {
            file.EndLine();
            continue;
        }

        if (entry.SubType == lsTrigStatus &&
            (entry.Type == ltTrigAllc || entry.Type == ltTrigDisp)) {
            std::uint8_t kind = 0;
            TakeBytes(&kind, 1);
            SkipBytes(entry.DataLen - 1);
            file.WriteLine(StatusKindName(kind));
            continue;
        }

        // User entries carry text of their own, which AllHex must not turn into hex.
        const bool asChars = AllHex && entry.Type == ltUser;
        std::uint32_t column = FirstByteColumn;
        for (std::uint32_t left = entry.DataLen; left > 0;) {
            const std::uint32_t piece = std::min(left, ScratchAllocated);
            TakeBytes(Scratch.get(), piece);
            left -= piece;
            for (std::uint32_t i = 0; i < piece; ++i) {
                const TRenderedByte text =
                    asChars ? RenderByteAsChar(Scratch[i]) : RenderByte(Scratch[i], InHex, AllHex);
                column += text.Width;
                if (column > LastColumn) {
                    file.EndLine();
                    file.Write(ContinuationIndent);
                    column = text.Width + FirstByteColumn;
                }
                file.Write(text.View());
            }
        }

        if (entry.SubType == lsModemStatus) {
            file.Write("(");
            bool first = true;
            for (std::size_t bit = 0; bit < ModemBitNames.size(); ++bit) {
                if ((entry.Data & (1u << bit)) == 0) continue;
                if (!first) file.Write(" ");
                file.Write(ModemBitNames[bit]);
                first = false;
            }
            file.Write(")");
        }
        file.EndLine();
    }

    const std::int32_t rc = file.Close();
    DiscardLog();
    return rc;
}

} // namespace vaultix::serial
