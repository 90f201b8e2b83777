#pragma once
// Every result code that has an exception class of its own, with the class it must raise and
// that class's group. Written out by hand so that a slip in the production list shows up.

#include <cstdint>
#include <span>
#include <typeinfo>

#include "serial/OxExceptionClasses.h"

namespace vaultix::serial::test {

struct TExpectedClass {
    std::int32_t Code;
    const std::type_info& Class;
    bool (*InGroup)(const EOxException&);
};

std::span<const TExpectedClass> ExpectedClasses();

// The entry for Code, or nullptr when the code has no class.
const TExpectedClass* FindExpectedClass(std::int32_t Code);

} // namespace vaultix::serial::test
