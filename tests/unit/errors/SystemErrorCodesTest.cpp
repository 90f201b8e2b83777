// What the user reads when a Linux call fails: the error number, taken where it arises (opening
// the port, a call on the open line, a file), through to the exception the window shows.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <exception>
#include <string>
#include <typeinfo>

#include "platform/RuntimeExceptions.h"
#include "serial/CheckError.h"
#include "serial/MessageTable.h"
#include "serial/OxExceptionClasses.h"
#include "serial/SystemErrorCodes.h"
#include "transfer/FileError.h"

namespace vaultix::serial {
namespace {

using platform::EInOutError;

enum TWhere { wOpen, wLine, wFile };

struct TCase {
    TWhere Where;
    int ErrorNumber;
    const char* Text;
    const std::type_info& Class;
};

constexpr char Gone[] =
    "The serial device was disconnected or is no longer there. Plug the cable in again.";
constexpr char NotThere[] = "ie_BadId - Specified comport doesn't exist";
constexpr char Held[] = "ie_Open - device already open";
constexpr char Denied[] = "File access denied";

const TCase Cases[] = {
    // A port that is not there, or held by another program, keeps the open's own failures.
    {wOpen, EIO, NotThere, typeid(EBadId)},
    {wOpen, ENXIO, NotThere, typeid(EBadId)},
    {wOpen, ENODEV, NotThere, typeid(EBadId)},
    {wOpen, EBUSY, Held, typeid(EAlreadyOpen)},
    {wOpen, EAGAIN, Held, typeid(EAlreadyOpen)},
    {wOpen, EACCES, Denied, typeid(EInOutError)},
    {wOpen, EPERM, Denied, typeid(EInOutError)},
    // On an open line these numbers mean that the device went away.
    {wLine, EIO, Gone, typeid(EInOutError)},
    {wLine, ENXIO, Gone, typeid(EInOutError)},
    {wLine, ENODEV, Gone, typeid(EInOutError)},
    {wLine, EBUSY, "Device or resource busy", typeid(EInOutError)},
    {wLine, EAGAIN, "Resource temporarily unavailable", typeid(EInOutError)},
    {wLine, EBADF, "Invalid file handle", typeid(EInOutError)},
    {wLine, EACCES, Denied, typeid(EInOutError)},
    // On a file they read as the system states them, or in the table's words where those fit.
    {wFile, EIO, "Input/output error", typeid(EInOutError)},
    {wFile, ENXIO, "No such device or address", typeid(EInOutError)},
    {wFile, ENODEV, "No such device", typeid(EInOutError)},
    {wFile, EBUSY, "Device or resource busy", typeid(EInOutError)},
    {wFile, EAGAIN, "Resource temporarily unavailable", typeid(EInOutError)},
    {wFile, EACCES, Denied, typeid(EInOutError)},
    {wFile, EPERM, Denied, typeid(EInOutError)},
    {wFile, ENOSPC, "Disk is full", typeid(EInOutError)},
    {wFile, EROFS, "Disk is write-protected", typeid(EInOutError)},
    {wFile, EBADF, "Invalid file handle", typeid(EInOutError)},
};

template <class TFail> std::exception_ptr Caught(TFail Fail) {
    try {
        Fail();
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

void ExpectShown(const std::exception_ptr& Raised, const TCase& Case) {
    ASSERT_TRUE(Raised) << "nothing raised";
    try {
        std::rethrow_exception(Raised);
    } catch (const platform::Exception& Error) {
        EXPECT_EQ(Error.Message(), Case.Text);
        EXPECT_EQ(typeid(Error), Case.Class) << typeid(Error).name();
        if (const auto* Io = dynamic_cast<const EInOutError*>(&Error)) {
            EXPECT_EQ(Io->ErrorCode(), Case.ErrorNumber);
        }
    } catch (const std::exception& Other) {
        ADD_FAILURE() << "raised " << typeid(Other).name();
    }
}

TEST(SystemErrorCodes, EachErrorNumberReadsAsTheFailureItIs) {
    for (const TCase& Case : Cases) {
        const int Number = Case.ErrorNumber;
        SCOPED_TRACE(testing::Message() << "where " << Case.Where << ", errno " << Number);
        switch (Case.Where) {
        case wOpen:
            ExpectShown(Caught([&] { CheckError(false, OpenErrorCode(Number)); }), Case);
            // The window explains how to get permission for exactly these.
            EXPECT_EQ(IsAccessDenied(OpenErrorCode(Number)), Number == EACCES || Number == EPERM);
            break;
        case wLine:
            ExpectShown(Caught([&] { CheckError(false, LineErrorCode(Number)); }), Case);
            break;
        case wFile:
            // Data files raise at once; the trace and the log files hand back a code.
            ExpectShown(Caught([&] { transfer::RaiseFileError(Number); }), Case);
            ExpectShown(Caught([&] { CheckError(false, SystemErrorCode(Number)); }), Case);
            break;
        }
    }
}

} // namespace
} // namespace vaultix::serial
