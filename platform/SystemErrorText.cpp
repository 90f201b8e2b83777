#include "platform/SystemErrorText.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <locale.h>
#include <string_view>
#include <system_error>

namespace vaultix::platform {

namespace {

constexpr std::size_t MaxTextLength = 255;

// The application may switch the process to the user's language; error texts stay neutral so
// that they read the same in every message box and log. Created once, never freed.
locale_t NeutralLocale() {
    static const locale_t Locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return Locale;
}

// The runtime's words for the error numbers whose meaning they state exactly.
struct TFileWords {
    int ErrorNumber;
    const char* Text;
};

constexpr TFileWords FileWords[] = {
    {EPERM, FileAccessDeniedText}, {EACCES, FileAccessDeniedText}, {EBADF, InvalidFileHandleText},
    {ENOSPC, DiskFullText},        {EROFS, WriteProtectedText},
};

bool IsPlaceholder(std::string_view Text) {
    return Text.empty() || Text.starts_with("Unknown error") ||
           Text.starts_with("No error information");
}

} // namespace

std::string SystemErrorText(int ErrorNumber) {
    std::string Text;
    if (const locale_t Locale = NeutralLocale(); Locale != static_cast<locale_t>(0)) {
        // strerror_l is thread-safe, unlike strerror.
        Text = strerror_l(ErrorNumber, Locale);
    } else {
        Text = std::system_category().message(ErrorNumber);
    }
    if (IsPlaceholder(Text)) return {};
    if (Text.size() > MaxTextLength) Text.resize(MaxTextLength);
    return Text;
}

std::string NormaliseSystemText(std::string Text) {
    std::ranges::replace_if(
        Text, [](char C) { return static_cast<unsigned char>(C) < 32; }, ' ');
    const auto Tail =
        std::unique(Text.begin(), Text.end(), [](char A, char B) { return A == ' ' && B == ' '; });
    Text.erase(Tail, Text.end());
    return Text;
}

std::string FileErrorMessage(int ErrorNumber) {
    if (ErrorNumber < 1) return {};
    for (const TFileWords& Words : FileWords)
        if (Words.ErrorNumber == ErrorNumber) return Words.Text;
    std::string Text = NormaliseSystemText(SystemErrorText(ErrorNumber));
    return Text.empty() ? "System error " + std::to_string(ErrorNumber) : Text;
}

} // namespace vaultix::platform
