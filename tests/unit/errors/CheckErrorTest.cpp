#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <typeinfo>

#include "ExpectedClasses.h"
#include "platform/RuntimeExceptions.h"
#include "platform/SystemErrorText.h"
#include "serial/CheckError.h"
#include "serial/MessageTable.h"
#include "serial/OxExceptionClasses.h"
#include "serial/SystemErrorCodes.h"

namespace vaultix::serial {
namespace {

using platform::EInOutError;
using platform::EOutOfMemory;

// Runs CheckError for a code that must raise an E and hands the exception, unsliced, to Check.
template <class E, class TCheck> void ExpectRaises(std::int32_t Code, TCheck Check) {
    SCOPED_TRACE(Code);
    try {
        CheckError(false, Code);
        ADD_FAILURE() << "did not raise";
    } catch (const E& Error) {
        Check(Error);
    } catch (const std::exception& Other) {
        ADD_FAILURE() << "raised " << typeid(Other).name();
    }
}

void ExpectPlainOrvexException(std::int32_t Code) {
    ExpectRaises<EOxException>(Code, [](const EOxException& Error) {
        EXPECT_EQ(typeid(Error), typeid(EOxException));
        EXPECT_EQ(Error.ResultCode(), 0);
        EXPECT_EQ(Error.Message(), "Orvex exception");
    });
}

TEST(CheckError, SuccessCodesAndLoadingPortReturnTheCode) {
    EXPECT_EQ(CheckError(false, 0), 0);
    EXPECT_EQ(CheckError(false, 7), 7);
    EXPECT_EQ(CheckError(false, std::numeric_limits<std::int32_t>::max()),
              std::numeric_limits<std::int32_t>::max());
    // A port being loaded passes every failure back instead of raising.
    for (const std::int32_t Code : {-2011, -2, -8, -1, -13980})
        EXPECT_EQ(CheckError(true, Code), Code);
}

TEST(CheckError, EveryClassedCodeRaisesItsClassInItsGroup) {
    for (const test::TExpectedClass& Entry : test::ExpectedClasses()) {
        SCOPED_TRACE(Entry.Code);
        try {
            CheckError(false, Entry.Code);
            ADD_FAILURE() << "did not raise";
        } catch (const EOxException& Error) {
            EXPECT_EQ(typeid(Error), Entry.Class) << typeid(Error).name();
            EXPECT_TRUE(Entry.InGroup(Error));
            EXPECT_EQ(Error.ResultCode(), Entry.Code);
            EXPECT_EQ(Error.Message(), MessageFor(Entry.Code));
            EXPECT_FALSE(Error.Message().empty());
        }
    }
}

TEST(CheckError, NoPortSelectedIsAnOpenCommFailure) {
    ExpectRaises<EOpenComm>(-2011, [](const EOpenComm& Error) {
        EXPECT_NE(dynamic_cast<const ENoPortSelected*>(&Error), nullptr);
        EXPECT_EQ(Error.ResultCode(), -2011);
        EXPECT_STREQ(Error.what(), "The ComNumber property of the TOxComPort has not been set");
    });
}

TEST(CheckError, InternalErrorCarriesTheTextOfItsCode) {
    ExpectRaises<EGeneral>(-7003, [](const EGeneral& Error) {
        EXPECT_NE(dynamic_cast<const EInternal*>(&Error), nullptr);
        EXPECT_EQ(Error.ResultCode(), -7003);
        EXPECT_EQ(Error.Message(), "No fields defined in database");
    });
}

TEST(CheckError, RuntimeIoErrorsRaiseTheRuntimeIoException) {
    ExpectRaises<EInOutError>(-2, [](const EInOutError& Error) {
        EXPECT_EQ(typeid(Error), typeid(EInOutError));
        EXPECT_EQ(Error.Message(), "File not found");
        EXPECT_EQ(Error.ErrorCode(), 2);
    });
    ExpectRaises<EInOutError>(-5, [](const EInOutError& Error) {
        EXPECT_EQ(Error.Message(), "File access denied");
        EXPECT_EQ(Error.ErrorCode(), 5);
    });
    ExpectRaises<EInOutError>(-162, [](const EInOutError& Error) {
        EXPECT_EQ(Error.Message(), "General failure");
        EXPECT_EQ(Error.ErrorCode(), 162);
    });
    // A system error number the table lacks reads the system's own words.
    ExpectRaises<EInOutError>(-31, [](const EInOutError& Error) {
        EXPECT_EQ(Error.ErrorCode(), 31);
        EXPECT_FALSE(Error.Message().empty());
        EXPECT_EQ(Error.Message(), NormaliseSystemText(platform::SystemErrorText(31)));
    });
}

TEST(CheckError, InsufficientMemoryRaisesOutOfMemory) {
    ExpectRaises<EOutOfMemory>(-8, [](const EOutOfMemory& Error) {
        EXPECT_EQ(typeid(Error), typeid(EOutOfMemory));
        EXPECT_EQ(Error.Message(), "Out of memory");
    });
}

TEST(CheckError, CodesWithoutClassOutsideTheIoRangeRaisePlainOrvexException) {
    for (const std::int32_t Code : {-1, -163, -1001, -3002, -4009, -13804, -13900, -13981, -20000})
        ExpectPlainOrvexException(Code);
    // The class and the I/O range are chosen by the whole code, not by its low 16 bits.
    ExpectPlainOrvexException(-2011 - 65536);
    ExpectPlainOrvexException(-2 - 65536);
    ExpectPlainOrvexException(std::numeric_limits<std::int32_t>::min());
}

// Every negative code in the 16-bit range takes exactly one of the four rules, so a code
// mapped by mistake (or a mapping lost) shows up here.
TEST(CheckError, EveryNegativeCodeTakesExactlyOneRule) {
    for (std::int32_t Code = -1; Code >= std::numeric_limits<std::int16_t>::min(); --Code) {
        const test::TExpectedClass* Expected = test::FindExpectedClass(Code);
        try {
            CheckError(false, Code);
            ADD_FAILURE() << Code << " did not raise";
        } catch (const EOxException& Error) {
            if (Expected) {
                if (typeid(Error) != Expected->Class) ADD_FAILURE() << Code << " wrong class";
            } else if (typeid(Error) != typeid(EOxException) || Error.ResultCode() != 0) {
                ADD_FAILURE() << Code << " raised a class although it has none";
            }
        } catch (const EOutOfMemory&) {
            if (Code != -8) ADD_FAILURE() << Code << " raised out of memory";
        } catch (const EInOutError& Error) {
            const bool RuntimeIo = Code >= -162 && Code <= -2 && Error.ErrorCode() == -Code;
            const bool LinuxIo = SystemErrorNumber(Code) != 0 &&
                                 Error.ErrorCode() == SystemErrorNumber(Code) &&
                                 Error.Message() == MessageFor(Code);
            if (Expected || !(RuntimeIo || LinuxIo))
                ADD_FAILURE() << Code << " raised an I/O error";
        }
    }
}

TEST(OxException, ConstructorsSetCodeAndMessage) {
    const EOxException ByCode(-3004);
    EXPECT_EQ(ByCode.ResultCode(), -3004);
    EXPECT_EQ(ByCode.Message(), "Failed to put entire block");
    EXPECT_STREQ(ByCode.what(), "Failed to put entire block");

    const EOxException ByText = EOxException::CreateText("Line lost");
    EXPECT_EQ(ByText.ResultCode(), 0);
    EXPECT_EQ(ByText.Message(), "Line lost");

    const ETapiBadDeviceID Leaf;
    EXPECT_EQ(Leaf.ResultCode(), -13802);
    EXPECT_EQ(Leaf.Message(), MessageFor(-13802));
}

} // namespace
} // namespace vaultix::serial
