// Description files: whatever a file holds reads as valid text that is written back as the same
// text, and the bytes themselves stay when the text is written back unchanged. What the window's
// memo shows of it gives the text back, and what is printed holds no control characters.

#include "FuzzFiles.h"

#include "platform/ShownText.h"
#include "transfer/Cp1252Encode.h"
#include "transfer/DescriptionFile.h"

#include <cstdint>
#include <string>

using namespace vaultix;

namespace {

// Memo text as the file stores it and reads it back: each line break a "\n".
std::string WithNewlines(std::string_view Text) {
    std::string Result;
    for (std::size_t I = 0; I < Text.size(); ++I) {
        if (Text[I] == '\r') {
            if (I + 1 < Text.size() && Text[I + 1] == '\n') ++I;
            Result.push_back('\n');
        } else {
            Result.push_back(Text[I]);
        }
    }
    return Result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string Bytes(reinterpret_cast<const char*>(Data), Size);

    // The bytes as a description file.
    const std::string Text = transfer::DecodeDescription(Bytes);
    fuzz::Require(transfer::IsValidUtf8(Text), "a description reads as text that is not UTF-8");
    fuzz::Require(transfer::DecodeDescription(transfer::EncodeDescription(Text)) == Text,
                  "a description read and written again reads differently");
    const std::filesystem::path File = fuzz::ScratchFile("club.m22.dsc");
    fuzz::WriteFile(File, Bytes);
    fuzz::Require(transfer::DescriptionBytes(File, Text) == Bytes,
                  "an unchanged description is not written back byte for byte");

    // The memo and the terminal.
    fuzz::Require(platform::TypedText(platform::ShownLines(Text)) == Text,
                  "the memo does not give back the description it shows");
    fuzz::Require(fuzz::Printable(platform::ShownLines(Text), "\n\t"), "the memo shows controls");
    fuzz::Require(fuzz::Printable(platform::ShownText(Bytes)), "a control character is printed");
    fuzz::Require(fuzz::Printable(platform::ShownMessage(Bytes), "\n\t"),
                  "a message shows a control character");

    // The bytes as typed text.
    if (transfer::IsValidUtf8(Bytes)) {
        fuzz::Require(transfer::DecodeDescription(transfer::EncodeDescription(Bytes)) ==
                          WithNewlines(Bytes),
                      "typed text does not come back from its file");
    }
    return 0;
}
