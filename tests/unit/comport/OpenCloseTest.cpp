#include "PortFixture.h"

#include "serial/OxExceptionClasses.h"
#include "serial/ResultCodes.h"
#include "serial/SystemErrorCodes.h"
#include "serial/ThreadExceptionHook.h"

#include <cerrno>
#include <string>
#include <vector>

namespace vaultix::serial::testing {
namespace {

using OpenClose = PortTest;

TEST_F(OpenClose, OpenNamesTheDeviceAndReappliesTheConfiguration) {
    std::vector<std::string> events;
    Port->SetOnPortOpen([&](TOxCustomComPort& P) {
        events.push_back("open " + std::to_string(P.State() == stOpen));
    });
    Port->SetOnPortClose([&](TOxCustomComPort& P) {
        events.push_back("close " + std::to_string(P.State() == stClosed));
    });
    Port->SetComNumber(12);
    Port->SetDTR(false);
    Port->SetOpen(true);

    ASSERT_EQ(Port->State(), stOpen);
    EXPECT_TRUE(Port->Open());
    EXPECT_EQ(Port->Device()->OpenedName(), "\\\\.\\COM12");
    EXPECT_EQ(Port->Device()->GetDeviceName(), "COM12");
    EXPECT_EQ(Port->Device()->AvailThresholdNow(), 1u);
    EXPECT_EQ(Port->Device()->OptionFlags() & 4u, 4u); // UseEventWord
    EXPECT_EQ(Port->Device()->Settings().Flags & platform::dcbDtrControlMask, 0u);
    EXPECT_NE(Port->NotifyWindow(), 0u);
    EXPECT_EQ(Port->Device()->WindowCount(), 1u);

    Port->SetOpen(false);
    EXPECT_EQ(Port->State(), stClosed);
    EXPECT_FALSE(Port->Open());
    EXPECT_EQ(Port->NotifyWindow(), 0u);
    EXPECT_EQ(events, (std::vector<std::string>{"open 1", "close 1"}));
}

TEST_F(OpenClose, OpenFailuresMapToTheirClassesAndLeaveThePortClosed) {
    struct TCase {
        int Errno;
        std::int32_t Code;
    };
    for (const TCase c : {TCase{ENOENT, ecBadId}, TCase{EIO, ecBadId}, TCase{EBUSY, ecAlreadyOpen},
                          TCase{EACCES, LineErrorCode(EACCES)}}) {
        SCOPED_TRACE(c.Errno);
        Port->OpenErrnoFor = [&](std::uint16_t) { return c.Errno; };
        try {
            Port->SetOpen(true);
            ADD_FAILURE() << "no exception";
        } catch (const EOxException& e) {
            EXPECT_EQ(e.ResultCode(), c.Code);
        } catch (const platform::EInOutError& e) {
            // Missing permission stays a system error of its own, for the window to explain.
            EXPECT_EQ(LineErrorCode(e.ErrorCode()), c.Code);
        }
        EXPECT_EQ(Port->LastOpenError(), c.Code);
        EXPECT_EQ(Port->State(), stClosed);
        EXPECT_FALSE(Port->Open());
        EXPECT_EQ(Port->NotifyWindow(), 0u);
        EXPECT_EQ(Port->ComNumber(), 1);
    }
}

TEST_F(OpenClose, AnOpenHandlerThatRaisesLeavesNothingOpen) {
    Port->SetOnPortOpen([](TOxCustomComPort&) { throw std::runtime_error("refused"); });
    EXPECT_THROW(Port->SetOpen(true), std::runtime_error);
    EXPECT_EQ(Port->State(), stClosed);
    EXPECT_FALSE(Port->Open());
    EXPECT_EQ(Port->NotifyWindow(), 0u);
}

TEST_F(OpenClose, APortNumberComesFromThePromptOrTheOpenFails) {
    Port->SetComNumber(0);
    Port->SetPromptForPort(false);
    EXPECT_THROW(Port->SetOpen(true), ENoPortSelected);
    EXPECT_EQ(Port->Created, 0);

    Port->SetPromptForPort(true);
    EXPECT_THROW(Port->SetOpen(true), ENoPortSelected); // no prompt installed: nothing chosen
    SetPortPrompt([] { return std::uint16_t{0}; });
    EXPECT_THROW(Port->SetOpen(true), ENoPortSelected);
    SetPortPrompt([] { return std::uint16_t{3}; });
    Port->SetOpen(true);
    SetPortPrompt({});
    EXPECT_EQ(Port->ComNumber(), 3);
    EXPECT_EQ(Port->Device()->OpenedName(), "\\\\.\\COM3");
}

TEST_F(OpenClose, NumberChangeOnAnOpenPortReopensAndKeepsTriggers) {
    Port->SetOpen(true);
    Port->Device()->SetAvailThreshold(7);
    Port->SetComNumber(2);
    ASSERT_EQ(Port->State(), stOpen);
    EXPECT_EQ(Port->Created, 2);
    EXPECT_EQ(Port->Device()->OpenedName(), "\\\\.\\COM2");
    EXPECT_EQ(Port->Device()->AvailThresholdNow(), 7u);
}

TEST_F(OpenClose, NumberChangeToAMissingPortLeavesItClosedOnTheNewNumber) {
    Port->OpenErrnoFor = [](std::uint16_t Number) { return Number == 9 ? ENOENT : 0; };
    Port->SetOpen(true);
    EXPECT_THROW(Port->SetComNumber(9), EBadId);
    EXPECT_EQ(Port->State(), stClosed);
    EXPECT_FALSE(Port->Open());
    EXPECT_EQ(Port->ComNumber(), 9);
}

TEST_F(OpenClose, LoadingStoresOpenAndOpensAtTheEnd) {
    std::vector<std::string> shown;
    SetThreadExceptionHandler([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const EOxException& x) {
            shown.push_back(x.Message());
        }
    });
    Port->BeginLoading();
    Port->SetOpen(true);
    EXPECT_EQ(Port->State(), stClosed);
    Port->SetTracing(tlOn);
    Port->Loaded();
    EXPECT_EQ(Port->State(), stOpen);
    Port->SetOpen(false);

    // A failing open at the end of loading is shown, not raised.
    Port->OpenErrnoFor = [](std::uint16_t) { return ENOENT; };
    Port->BeginLoading();
    Port->SetOpen(true);
    EXPECT_NO_THROW(Port->Loaded());
    SetThreadExceptionHandler({});
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_FALSE(Port->Open());
}

// ---- Closing from inside an event handler --------------------------------------------------

class DeferredClose : public PortTest {
protected:
    void SetUp() override {
        PortTest::SetUp();
        Port->SetOnTriggerAvail([this](TOxCustomComPort& P, std::uint16_t) {
            P.SetOpen(false);
            StateInHandler = P.State();
            if (ReopenInHandler) P.SetOpen(true);
        });
        Port->SetOnPortClose([this](TOxCustomComPort&) { ++Closes; });
        Port->SetOpen(true);
        Port->Device()->Feed("x");
    }
    TPortState StateInHandler = stOpen;
    bool ReopenInHandler = false;
    int Closes = 0;
};

TEST_F(DeferredClose, CompletesOnceTheDispatcherIsIdle) {
    Port->Device()->Pass();
    // The dispatcher was delivering: only the deferred message can end the close.
    EXPECT_EQ(StateInHandler, stClosing);
    EXPECT_EQ(Port->State(), stClosing);
    EXPECT_EQ(Closes, 1);
    EXPECT_EQ(Port->InputCount(), 0);
    Port->ReadBlock(nullptr, 1); // does nothing while closing

    Port->Device()->SetThreadsRunning(true);
    Services.ProcessPendingMessages();
    EXPECT_EQ(Port->State(), stClosing); // posted again while the threads run
    Port->Device()->SetThreadsRunning(false);
    Services.ProcessPendingMessages();
    EXPECT_EQ(Port->State(), stClosed);
    EXPECT_FALSE(Port->Open());
    EXPECT_EQ(Port->Created, 1);
}

TEST_F(DeferredClose, OpenDuringTheCloseReopensWhenItCompletes) {
    ReopenInHandler = true;
    Port->Device()->Pass();
    EXPECT_EQ(Port->State(), stClosing);
    Services.ProcessPendingMessages();
    EXPECT_EQ(Port->State(), stOpen);
    EXPECT_EQ(Port->Created, 2);
}

TEST_F(DeferredClose, DestroyingThePortFinishesThePendingClose) {
    Port->Device()->Pass();
    ASSERT_EQ(Port->State(), stClosing);
    Port.reset();
    Services.ProcessPendingMessages(); // the posted message finds no window, no component
    EXPECT_EQ(Closes, 1);
}

} // namespace
} // namespace vaultix::serial::testing
