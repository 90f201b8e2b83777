#include "tools/cli/CliOutput.h"

#include "platform/ShownText.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QCryptographicHash>

#include <cstdio>

namespace vaultix::cli {

namespace {

std::string ReplaceBreaks(std::string_view Text, std::string_view By) {
    std::string Result;
    Result.reserve(Text.size());
    for (std::size_t I = 0; I < Text.size(); ++I) {
        if (Text[I] == '\r' || Text[I] == '\n') {
            if (Text[I] == '\r' && I + 1 < Text.size() && Text[I + 1] == '\n') ++I;
            Result += By;
        } else {
            Result.push_back(Text[I]);
        }
    }
    return Result;
}

} // namespace

std::string OneLine(std::string_view Text) {
    return platform::ShownText(ReplaceBreaks(Text, " "));
}

std::string WithNewlines(std::string_view Text) {
    return platform::ShownMessage(ReplaceBreaks(Text, "\n"));
}

void PrintError(std::string_view Text) {
    const std::string Line = "vaultix-cli: " + OneLine(Text) + "\n";
    std::fputs(Line.c_str(), stderr);
    std::fflush(stderr);
}

std::string Printable(std::string_view Utf8) {
    return platform::ShownText(Utf8);
}

std::size_t DisplayWidth(std::string_view Utf8) {
    std::size_t Width = 0;
    for (const char C : Utf8)
        if ((static_cast<unsigned char>(C) & 0xC0) != 0x80) ++Width;
    return Width;
}

std::string Sha256Hex(std::span<const std::uint8_t> Bytes) {
    const QByteArray Hash =
        QCryptographicHash::hash(QByteArrayView(Bytes.data(), static_cast<qsizetype>(Bytes.size())),
                                 QCryptographicHash::Sha256);
    return Hash.toHex().toStdString();
}

} // namespace vaultix::cli
