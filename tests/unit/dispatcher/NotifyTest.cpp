#include "DispatcherFixture.h"

#include "serial/ResultCodes.h"

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

namespace vaultix::serial::testing {
namespace {

using namespace vaultix::platform;

constexpr TWindowHandle OwnWindow = 0x100;
constexpr TWindowHandle OtherWindow = 0x200;

class Notifications : public DispatcherTest {
protected:
    void SetUp() override {
        DispatcherTest::SetUp();
        Services.SetWindowProc(OwnWindow, {});
        Services.SetWindowProc(OtherWindow, {});
        Device->RegisterNotifyWindow(OwnWindow);
    }

    // The messages of one kind the windows got, as (first parameter, low word of the second).
    std::vector<std::pair<std::uintptr_t, std::uint32_t>> SentOf(std::uint32_t Msg) {
        std::vector<std::pair<std::uintptr_t, std::uint32_t>> found;
        for (const auto& record : Services.Sent()) {
            if (record.Msg != Msg) continue;
            EXPECT_EQ(static_cast<std::uint32_t>(record.LParam) >> 16,
                      static_cast<std::uint32_t>(Device->GetHandle()));
            EXPECT_EQ(record.TimeoutMs, 3000u);
            found.emplace_back(record.WParam, static_cast<std::uint32_t>(record.LParam) & 0xFFFF);
        }
        return found;
    }
    using TSent = std::vector<std::pair<std::uintptr_t, std::uint32_t>>;
};

TEST_F(Notifications, DataAvailableGoesOutOncePerArrivalOfEnoughBytes) {
    Device->UpdateHandlerState(1);
    Device->SetAvailThreshold(10);
    Device->Feed(std::string(9, 'x'));
    Device->Pass();
    EXPECT_TRUE(SentOf(MsgTriggerAvail).empty());

    Device->Feed("yyy");
    Device->Pass();
    EXPECT_EQ(SentOf(MsgTriggerAvail), (TSent{{12, 0}}));

    Device->Pass(); // the 12 bytes stay unread: no repeat
    Device->Pass(0);
    EXPECT_EQ(SentOf(MsgTriggerAvail).size(), 1u);

    Device->Feed("z");
    Device->Pass();
    EXPECT_EQ(SentOf(MsgTriggerAvail), (TSent{{12, 0}, {13, 0}}));
}

TEST_F(Notifications, TwelveBytesInOnePassAtThresholdTenGiveOneMessage) {
    Device->UpdateHandlerState(1);
    Device->SetAvailThreshold(10);
    Device->Feed(std::string(12, 'x'));
    Device->Pass();
    Device->Pass();
    EXPECT_EQ(SentOf(MsgTriggerAvail), (TSent{{12, 0}}));
}

TEST_F(Notifications, TheComponentsOwnWindowAloneGetsNothing) {
    ASSERT_TRUE(Device->DeliveryNeeded); // registering the window asked for deliveries
    Device->SetAvailThreshold(1);
    Device->Feed("abc");
    Device->Pass();
    EXPECT_TRUE(Services.Sent().empty());
    EXPECT_EQ(Device->InputCount(), 3u); // nothing was taken on anyone's behalf

    Device->UpdateHandlerState(1); // now a trigger event is assigned
    Device->Feed("d");
    Device->Pass();
    EXPECT_EQ(SentOf(MsgTriggerAvail), (TSent{{4, 0}}));
}

TEST_F(Notifications, AnotherWindowMakesAllWindowsGetMessages) {
    Device->RegisterNotifyWindow(OtherWindow);
    Device->SetAvailThreshold(1);
    Device->Feed("a");
    Device->Pass();
    const auto sent = Services.Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].Window, OwnWindow);
    EXPECT_EQ(sent[1].Window, OtherWindow);
}

TEST_F(Notifications, HandlersShareTheBytesAndTheTailMovesByTheMostTaken) {
    Device->RegisterNotifyWindow(OtherWindow);
    std::vector<std::string> seen;
    auto reader = [&](std::uint32_t Count) {
        return [&, Count](std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t {
            std::string bytes(Count, '\0');
            EXPECT_EQ(Device->ReadBlock(reinterpret_cast<std::uint8_t*>(bytes.data()), Count),
                      static_cast<std::int32_t>(Count));
            seen.push_back(bytes);
            return 0;
        };
    };
    Services.SetWindowProc(OwnWindow, reader(3));
    Services.SetWindowProc(OtherWindow, reader(5));
    Device->SetAvailThreshold(1);
    Device->Feed("abcdefgh");
    Device->Pass();
    EXPECT_EQ(seen, (std::vector<std::string>{"abc", "abcde"}));
    EXPECT_EQ(Device->InputCount(), 3u);
    std::uint8_t rest[3];
    ASSERT_EQ(Device->ReadBlock(rest, 3), 3);
    EXPECT_EQ(std::string(rest, rest + 3), "fgh");
}

TEST_F(Notifications, AHandlerCannotReadPastWhatIsLeftForIt) {
    Device->UpdateHandlerState(1);
    std::vector<std::int32_t> results;
    Services.SetWindowProc(OwnWindow, [&](std::uint32_t, std::uintptr_t, std::intptr_t) {
        std::uint8_t buffer[4];
        results.push_back(Device->ReadBlock(buffer, 4));
        results.push_back(Device->ReadBlock(buffer, 4));
        results.push_back(static_cast<std::int32_t>(Device->InputCount()));
        return std::intptr_t{0};
    });
    Device->SetAvailThreshold(1);
    Device->Feed("abcdef");
    Device->Pass();
    EXPECT_EQ(results, (std::vector<std::int32_t>{4, ecBufferIsEmpty, 2}));
    EXPECT_EQ(Device->InputCount(), 2u);
}

TEST_F(Notifications, AHandlerDeletedDuringADeliveryGoesWhenItEnds) {
    Device->RegisterNotifyWindow(OtherWindow);
    std::size_t listDuring = 0;
    Services.SetWindowProc(OwnWindow, [&](std::uint32_t, std::uintptr_t, std::intptr_t) {
        Device->UnregisterNotifyWindow(OtherWindow);
        listDuring = Device->NotifyWindows.size();
        return std::intptr_t{0};
    });
    Device->SetAvailThreshold(1);
    Device->Feed("a");
    Device->Pass();
    EXPECT_EQ(listDuring, 2u);
    ASSERT_EQ(Services.Sent().size(), 1u); // the deleted window got nothing
    ASSERT_EQ(Device->NotifyWindows.size(), 1u);
    EXPECT_EQ(Device->NotifyWindows[0].Window, OwnWindow);
    // One window left and no trigger event: no more deliveries needed.
    EXPECT_FALSE(Device->DeliveryNeeded);
}

TEST_F(Notifications, RemovingOutsideADeliveryIsImmediate) {
    Device->RegisterNotifyWindow(OtherWindow);
    Device->UnregisterNotifyWindow(OtherWindow);
    EXPECT_EQ(Device->NotifyWindows.size(), 1u);
    EXPECT_FALSE(Device->DeliveryNeeded);
    Device->UnregisterNotifyWindow(OtherWindow); // unknown: nothing changes
    EXPECT_EQ(Device->NotifyWindows.size(), 1u);
}

std::vector<std::string>* CallOrder = nullptr;

void ProcHandler(std::uint32_t, std::uint32_t, std::uint32_t) {
    CallOrder->push_back("proc");
}

void MethodHandler(void* Object, std::uint32_t Msg, std::uint32_t First, std::uint32_t Second) {
    static_cast<std::vector<std::string>*>(Object)->push_back("event " + std::to_string(Msg) + " " +
                                                              std::to_string(First) + " " +
                                                              std::to_string(Second & 0xFFFF));
}

TEST_F(Notifications, EventsRunBeforeProceduresBeforeWindows) {
    std::vector<std::string> order;
    CallOrder = &order;
    Services.SetWindowProc(OwnWindow, [&](std::uint32_t, std::uintptr_t, std::intptr_t) {
        order.push_back("window");
        return std::intptr_t{0};
    });
    Device->UpdateHandlerState(1);
    Device->RegisterNotifyProc(&ProcHandler);
    Device->RegisterNotifyEvent({&MethodHandler, &order}, true);
    Device->SetAvailThreshold(2);
    Device->Feed("ab");
    Device->Pass();
    EXPECT_EQ(order, (std::vector<std::string>{"event 32257 2 0", "proc", "window"}));
    EXPECT_EQ(Services.MainThreadCalls(), 1u);

    Device->UnregisterNotifyEvent({&MethodHandler, &order});
    Device->UnregisterNotifyProc(&ProcHandler);
    Device->UpdateHandlerState(2);
    EXPECT_FALSE(Device->DeliveryNeeded);
    CallOrder = nullptr;
}

TEST_F(Notifications, ACloseFromInsideAHandlerIsLeftToTheDispatchThread) {
    Device->UpdateHandlerState(1);
    bool delivering = false;
    Services.SetWindowProc(OwnWindow, [&](std::uint32_t, std::uintptr_t, std::intptr_t) {
        delivering = Device->IsDelivering();
        std::uint8_t byte;
        Device->ReadBlock(&byte, 1);
        Device->CloseDevice();
        return std::intptr_t{0};
    });
    Device->SetAvailThreshold(1);
    Device->Feed("ab");
    Device->FillInputRing();
    EXPECT_FALSE(Device->CheckInputTriggers()); // cut short
    EXPECT_TRUE(delivering);
    EXPECT_FALSE(Device->IsOpen());
    EXPECT_FALSE(Device->InRing.empty()); // still there for the dispatch thread
    EXPECT_FALSE(Device->IsDelivering());
    Device->ReleaseBuffers(); // what the dispatch thread does as it leaves
    EXPECT_TRUE(Device->InRing.empty());
    EXPECT_EQ(Device->InputCount(), 0u);
}

TEST_F(Notifications, AnnouncedBytesAllTakenCountAsDelivered) {
    Device->UpdateHandlerState(1);
    Services.SetWindowProc(OwnWindow, [&](std::uint32_t, std::uintptr_t First, std::intptr_t) {
        std::vector<std::uint8_t> buffer(First);
        Device->ReadBlock(buffer.data(), static_cast<std::uint32_t>(First));
        return std::intptr_t{0};
    });
    Device->Feed("abc");
    Device->FillInputRing();
    EXPECT_TRUE(Device->DeliverEvent(MsgTriggerAvail, 3, 0));
    EXPECT_EQ(Device->InputCount(), 0u);
    Device->Feed("de");
    Device->FillInputRing();
    EXPECT_FALSE(Device->DeliverEvent(MsgTriggerAvail, 3, 0)); // only 2 could be taken
}

TEST_F(Notifications, ARingFilledFromEmptyInOnePassIsStillAnnounced) {
    Device->UpdateHandlerState(1);
    Device->SetAvailThreshold(1);
    Device->Feed(Sequence(InRingSize));
    Device->Pass();
    EXPECT_EQ(SentOf(MsgTriggerAvail), (TSent{{InRingSize, 0}}));
    Device->Pass();
    EXPECT_EQ(SentOf(MsgTriggerAvail).size(), 1u);
}

TEST_F(Notifications, PurgedBytesAreNotAnnounced) {
    Device->UpdateHandlerState(1);
    Device->SetAvailThreshold(1);
    Device->Feed("abc");
    Device->FillInputRing();
    Device->PurgeInput();
    Device->Pass();
    EXPECT_TRUE(Services.Sent().empty());
}

// ---- Triggers carried in by a snapshot ------------------------------------------------------

TDataTrigger Pattern(std::uint32_t Handle, const std::string& Text, bool IgnoreCase = false) {
    TDataTrigger trigger;
    trigger.Handle = Handle;
    trigger.Length = static_cast<std::uint32_t>(Text.size());
    trigger.IgnoreCase = IgnoreCase ? 1 : 0;
    std::copy(Text.begin(), Text.end(), trigger.Pattern.begin());
    return trigger;
}

TEST_F(Notifications, ADataTriggerFiresAfterTheBytesBeforeItAreAnnounced) {
    Device->UpdateHandlerState(1);
    TTriggerSnapshot snapshot;
    snapshot.AvailThreshold = 2;
    snapshot.Data = {Pattern(0x31, "aab"), Pattern(0x41, "OK", true)};
    Device->LoadTriggerSnapshot(snapshot);
    Device->Feed("xyzaaab--ok");
    Device->Pass();
    const auto sent = Services.Sent();
    std::vector<std::tuple<std::uint32_t, std::uintptr_t, std::uint32_t>> messages;
    for (const auto& record : sent)
        messages.emplace_back(record.Msg, record.WParam,
                              static_cast<std::uint32_t>(record.LParam) & 0xFFFF);
    using TMessage = std::tuple<std::uint32_t, std::uintptr_t, std::uint32_t>;
    EXPECT_EQ(messages, (std::vector<TMessage>{{MsgTriggerAvail, 4, 0},
                                               {MsgTriggerData, 0x31, 3},
                                               {MsgTriggerAvail, 9, 0},
                                               {MsgTriggerData, 0x41, 2},
                                               {MsgTriggerAvail, 11, 0}}));

    TTriggerSnapshot back;
    back.Timers.resize(3);
    Device->SnapshotTriggers(back);
    EXPECT_EQ(back.AvailThreshold, 2u);
    EXPECT_EQ(back.Data.size(), 2u);
    EXPECT_TRUE(back.Timers.empty());
}

TEST_F(Notifications, StatusTriggersFireOnceEach) {
    Device->UpdateHandlerState(1);
    TTriggerSnapshot snapshot;
    snapshot.Status = {{0x11, stkModem, 0x1000, 1, 0}, // CTS, last seen low
                       {0x0B, stkOutFree, 9000, 1, 0}, // room for 9000 bytes
                       {0x15, stkOutSent, 0, 1, 0},
                       {0x0A, stkLineError, ceFrame, 1, 0}};
    Device->LoadTriggerSnapshot(snapshot);
    const std::uint8_t block[300] = {};
    Device->WriteBlock(block, 300);
    Device->Pass(0);
    EXPECT_EQ(SentOf(MsgTriggerStatus), (TSent{{0x0B, 9940}, {0x15, 0}}));

    Device->SetModemLevels(msCtsOn);
    Device->RaiseErrors(ceFrame);
    Device->Pass(evCts | evErr);
    EXPECT_EQ(SentOf(MsgTriggerStatus), (TSent{{0x0B, 9940}, {0x15, 0}, {0x11, 0}, {0x0A, 0}}));
    EXPECT_EQ(TOxBaseDispatcher::StatusTriggerKind(0x0A), stkLineError);

    Device->SetModemLevels(0);
    Device->Pass(evCts);
    EXPECT_EQ(SentOf(MsgTriggerStatus).size(), 4u); // fired triggers stay inactive
}

TEST_F(Notifications, AnExpiredTimerTriggerFiresOnce) {
    Device->UpdateHandlerState(1);
    TTriggerSnapshot snapshot;
    TTimerTrigger expired;
    expired.Handle = 0x77;
    SetTickTimerAt(expired.Timer, 1, Ticks() - 5);
    expired.Active = 1;
    TTimerTrigger later = expired;
    later.Handle = 0x78;
    SetTickTimer(later.Timer, MaxTimerTicks);
    snapshot.Timers = {later, expired};
    Device->LoadTriggerSnapshot(snapshot);
    Device->Pass(0);
    Device->Pass(0);
    EXPECT_EQ(SentOf(MsgTriggerTimer), (TSent{{0x77, 0}}));
}

} // namespace
} // namespace vaultix::serial::testing
