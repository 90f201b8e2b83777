#include "serial/CheckError.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <string>
#include <utility>

#include "platform/RuntimeExceptions.h"
#include "serial/MessageTable.h"
#include "serial/OxExceptionClasses.h"
#include "serial/ResultCodes.h"
#include "serial/SystemErrorCodes.h"

namespace vaultix::serial {

namespace {

struct TRaiser {
    std::int32_t Code;
    void (*Raise)(std::int32_t Code);
};

template <class E> [[noreturn]] void RaiseAs(std::int32_t Code) {
    throw E(Code);
}

#define VAULTIX_RAISER_FOR_LEAF(Name, Group, Code) TRaiser{Code, &RaiseAs<Name>},
#define VAULTIX_RAISER_FOR_SHARED(Name, Code) TRaiser{Code, &RaiseAs<Name>},

constexpr auto Raisers = [] {
    auto Table = std::to_array<TRaiser>({VAULTIX_OX_LEAVES(VAULTIX_RAISER_FOR_LEAF)
                                             VAULTIX_OX_SHARED_CODES(VAULTIX_RAISER_FOR_SHARED)});
    std::ranges::sort(Table, std::ranges::less{}, &TRaiser::Code);
    return Table;
}();

#undef VAULTIX_RAISER_FOR_LEAF
#undef VAULTIX_RAISER_FOR_SHARED

static_assert(std::ranges::adjacent_find(Raisers, std::ranges::equal_to{}, &TRaiser::Code) ==
                  std::end(Raisers),
              "a result code is given two exception classes");

} // namespace

std::int32_t CheckError(bool PortLoading, std::int32_t Code) {
    if (Code >= 0 || PortLoading) return Code;

    const auto Found = std::ranges::lower_bound(Raisers, Code, std::ranges::less{}, &TRaiser::Code);
    if (Found != std::end(Raisers) && Found->Code == Code) Found->Raise(Code);

    if (const int Number = SystemErrorNumber(Code); Number != 0)
        throw platform::EInOutError(MessageFor(Code), Number);
    if (Code >= ecLowestIoError && Code <= ecHighestIoError) {
        std::string Text = MessageFor(Code);
        if (Code == ecInsufficientMemory) throw platform::EOutOfMemory();
        throw platform::EInOutError(std::move(Text), -Code);
    }
    throw EOxException::CreateText("Orvex exception");
}

} // namespace vaultix::serial
