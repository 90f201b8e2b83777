#include "PortFixture.h"

#include "serial/ThreadExceptionHook.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace vaultix::serial::testing {
namespace {

class Notify : public PortTest {
protected:
    void SetUp() override {
        PortTest::SetUp();
        Port->SetOnTrigger(
            [this](TOxCustomComPort&, std::uint16_t Msg, std::uint16_t Handle, std::uint16_t Data) {
                Log.push_back("trigger " + std::to_string(Msg) + " " + std::to_string(Handle) +
                              " " + std::to_string(Data));
            });
        Port->SetOnTriggerAvail([this](TOxCustomComPort& P, std::uint16_t Count) {
            Log.push_back("avail " + std::to_string(Count));
            std::string bytes(Count, '\0');
            P.ReadBlock(bytes.data(), Count);
        });
        Port->SetOnTriggerStatus([this](TOxCustomComPort&, std::uint16_t Handle) {
            Log.push_back("status " + std::to_string(Handle));
        });
        Port->SetOnTriggerLineError([this](TOxCustomComPort&, std::uint16_t Error, bool Break) {
            Log.push_back("line " + std::to_string(Error) + " " + std::to_string(Break));
        });
        Port->SetOnTriggerOutSent([this](TOxCustomComPort&) { Log.push_back("sent"); });
        Port->SetOpen(true);
    }

    // Delivers a message to the port's window as a dispatcher thread would.
    void Send(std::uint32_t Msg, std::uint32_t First, std::uint32_t Low, std::int32_t Handle = -1) {
        if (Handle < 0) Handle = Port->Device()->GetHandle();
        Services.SendMessageTimeout(Port->NotifyWindow(), Msg, First,
                                    static_cast<std::intptr_t>((std::uint32_t(Handle) << 16) | Low),
                                    3000);
    }

    std::vector<std::string> Log;
};

TEST_F(Notify, DataArrivalRaisesTheGeneralThenTheSpecificEvent) {
    EXPECT_TRUE(Port->Device()->PortHandlerOn());
    Port->Device()->Feed("hello");
    Port->Device()->Pass();
    EXPECT_EQ(Log, (std::vector<std::string>{"trigger 32257 5 5", "avail 5"}));
    EXPECT_EQ(Port->InputCount(), 0); // the handler took them
}

TEST_F(Notify, StatusTriggersRaiseTheEventOfTheirKind) {
    Port->Device()->SetLineErrorBits(platform::ceBreak);
    Send(MsgTriggerStatus, 0x12, 3); // kind 2: line error; the break is asked for first
    Send(MsgTriggerStatus, 0x25, 0); // kind 5: output sent
    Send(MsgTriggerStatus, 0x27, 0); // kind 7: none
    EXPECT_EQ(Log, (std::vector<std::string>{"trigger 32260 18 3", "status 18", "line 0 1",
                                             "trigger 32260 37 0", "status 37", "sent",
                                             "trigger 32260 39 0", "status 39"}));
}

TEST_F(Notify, MessagesThatFindNoComponentAreIgnored) {
    Send(MsgTriggerTimer, 1, 0, Port->Device()->GetHandle() + 50);
    Send(0x7E05, 1, 0);
    EXPECT_TRUE(Log.empty());
}

TEST_F(Notify, AHandlersExceptionGoesToTheApplicationHandler) {
    std::vector<std::string> shown;
    SetThreadExceptionHandler([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            shown.push_back(x.what());
        }
    });
    Port->SetOnTriggerTimer(
        [](TOxCustomComPort&, std::uint16_t) { throw std::runtime_error("handler failed"); });
    Send(MsgTriggerTimer, 4, 0);
    SetThreadExceptionHandler({});
    EXPECT_EQ(shown, (std::vector<std::string>{"handler failed"}));
}

TEST_F(Notify, TheDispatcherDeliversOnlyWhileATriggerEventIsAssigned) {
    for (auto clear : std::vector<std::function<void()>>{
             [&] { Port->SetOnTrigger({}); }, [&] { Port->SetOnTriggerAvail({}); },
             [&] { Port->SetOnTriggerStatus({}); }, [&] { Port->SetOnTriggerLineError({}); }}) {
        EXPECT_TRUE(Port->Device()->PortHandlerOn());
        clear();
    }
    EXPECT_TRUE(Port->Device()->PortHandlerOn());
    Port->SetOnTriggerOutSent({});
    EXPECT_FALSE(Port->Device()->PortHandlerOn());
}

} // namespace
} // namespace vaultix::serial::testing
