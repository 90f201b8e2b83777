#include "DispatcherFixture.h"
#include "platform/ActivitySignal.h"

#include "serial/ResultCodes.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace vaultix::serial::testing {
namespace {

using InputRing = DispatcherTest;

TEST_F(InputRing, BytesWrappingAcrossTheEndComeBackInOrder) {
    Device->Feed(Sequence(8000));
    ASSERT_TRUE(Device->FillInputRing());
    Read(8000);

    // 192 bytes fit before the end, the other 108 go to the start: two device reads.
    const auto bytes = Sequence(300, 7);
    Device->Feed(bytes);
    ASSERT_TRUE(Device->FillInputRing());
    EXPECT_EQ(Device->InHead, 108u);
    EXPECT_EQ(Device->InputCount(), 300u);
    EXPECT_EQ(Read(300), bytes);
    EXPECT_EQ(Device->InputCount(), 0u);
}

TEST_F(InputRing, FillingItExactlyMarksItFullAndStopsFurtherReads) {
    Device->Feed(Sequence(100));
    Device->FillInputRing();
    Read(100); // head and tail now both at 100: the fill wraps

    Device->Feed(Sequence(InRingSize + 10));
    ASSERT_TRUE(Device->FillInputRing());
    EXPECT_TRUE(Device->InFull);
    EXPECT_EQ(Device->InHead, Device->InTail);
    EXPECT_EQ(Device->InputCount(), InRingSize);

    EXPECT_TRUE(Device->FillInputRing()); // full: the pass goes on, nothing is read
    EXPECT_EQ(Device->InputCount(), InRingSize);

    EXPECT_EQ(Read(InRingSize), Sequence(InRingSize));
    EXPECT_FALSE(Device->InFull);
    Device->FillInputRing();
    EXPECT_EQ(Read(10), Sequence(10, static_cast<std::uint8_t>(InRingSize % 256)));
}

TEST_F(InputRing, AShortRingYieldsNothingAndAnExactReadEmptiesIt) {
    Device->Feed("abcd");
    Device->FillInputRing();
    std::uint8_t buffer[5] = {};
    EXPECT_EQ(Device->ReadBlock(buffer, 5), ecBufferIsEmpty);
    EXPECT_EQ(Device->InputCount(), 4u);
    EXPECT_EQ(Device->ReadBlock(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, buffer + 4), "abcd");
    EXPECT_EQ(Device->InputCount(), 0u);
    EXPECT_EQ(Device->ReadBlock(buffer, 1), ecBufferIsEmpty);
}

TEST_F(InputRing, AnEmptyReadOfAFullRingKeepsItFull) {
    Device->Feed(Sequence(InRingSize));
    Device->FillInputRing();
    std::uint8_t none = 0;
    EXPECT_EQ(Device->ReadBlock(&none, 0), 0);
    EXPECT_EQ(Device->InputCount(), InRingSize);
}

TEST_F(InputRing, NothingWaitingMeansTheDeviceIsNotRead) {
    EXPECT_FALSE(Device->FillInputRing());
    EXPECT_EQ(Device->InputCount(), 0u);
}

TEST_F(InputRing, PurgeDropsTheRingAndTheDriverQueue) {
    Device->Feed("12345");
    Device->FillInputRing();
    Device->Feed("678");
    EXPECT_EQ(Device->PurgeInput(), 0);
    EXPECT_EQ(Device->InputCount(), 0u);
    EXPECT_EQ(Device->Calls().Purges, std::vector<bool>{true});
    EXPECT_FALSE(Device->FillInputRing()); // the driver's bytes went too
}

class OutputRing : public DispatcherTest {
protected:
    std::uint32_t OutSize() const override { return 16; }
};

TEST_F(OutputRing, ABlockIsTakenWholeOrNotAtAll) {
    const auto first = Sequence(10);
    EXPECT_EQ(Device->WriteBlock(first.data(), 10), 0);
    EXPECT_EQ(Device->OutputUsed(), 10u);
    EXPECT_EQ(Device->OutputFree(), 6u);

    const auto tooMany = Sequence(7, 100);
    EXPECT_EQ(Device->WriteBlock(tooMany.data(), 7), ecOutputBufferTooSmall);
    EXPECT_EQ(Device->OutputUsed(), 10u);

    const auto exact = Sequence(6, 10);
    EXPECT_EQ(Device->WriteBlock(exact.data(), 6), 0);
    EXPECT_TRUE(Device->OutFull);
    EXPECT_EQ(Device->OutHead, Device->OutTail);
    EXPECT_EQ(Device->OutputUsed(), 16u);
    EXPECT_EQ(Device->WriteByte(0xEE), ecOutputBufferTooSmall);

    EXPECT_EQ(Device->TakeSent(), Sequence(16));
    EXPECT_FALSE(Device->OutFull);
    EXPECT_EQ(Device->OutHead, 0u);
    EXPECT_EQ(Device->OutTail, 0u);
}

TEST_F(OutputRing, BytesWrappingAroundTheEndAreSentOnceInOrder) {
    const auto head = Sequence(12);
    Device->WriteBlock(head.data(), 12);
    Device->TakeSent();
    const auto wrapped = Sequence(12, 50); // 4 at the end, 8 at the start
    Device->WriteBlock(head.data(), 4);
    Device->TakeSent();
    ASSERT_EQ(Device->WriteBlock(wrapped.data(), 12), 0);
    EXPECT_EQ(Device->TakeSent(), wrapped);
}

TEST_F(OutputRing, AnEmptyBlockQueuesNothing) {
    EXPECT_EQ(Device->WriteBlock(nullptr, 0), 0);
    EXPECT_EQ(Device->OutputUsed(), 0u);
}

TEST_F(OutputRing, ADeviceThatTakesPartOfABlockGivesPutBlockFail) {
    Device->QueueLimit = 3;
    const auto block = Sequence(5);
    EXPECT_EQ(Device->WriteBlock(block.data(), 5), ecPutBlockFail);
    EXPECT_FALSE(Device->OutFull);
    EXPECT_EQ(Device->TakeSent(), Sequence(3));
}

TEST_F(OutputRing, Rs485WithoutRtsToggleNeedsTheUartAddress) {
    Device->HasRtsToggle = false;
    Device->SetRs485Mode(true);
    const auto block = Sequence(16);
    EXPECT_EQ(Device->WriteBlock(block.data(), 16), ecBaseAddressNotSet);
    EXPECT_FALSE(Device->OutFull);
    EXPECT_EQ(Device->OutputUsed(), 0u);

    Device->UartBase = 0x3F8;
    Device->ClearCalls();
    EXPECT_EQ(Device->WriteBlock(block.data(), 16), 0);
    EXPECT_EQ(Device->Calls().Escapes, std::vector<int>{platform::escSetRts});
}

TEST_F(OutputRing, PurgeEmptiesTheRing) {
    const auto block = Sequence(16);
    Device->WriteBlock(block.data(), 16);
    EXPECT_EQ(Device->PurgeOutput(), 0);
    EXPECT_EQ(Device->OutputUsed(), 0u);
    EXPECT_EQ(Device->Calls().Purges, std::vector<bool>{false});
    EXPECT_EQ(Device->WriteBlock(block.data(), 16), 0);
}

// ---- Trace and dispatch log -------------------------------------------------------------

class Recording : public DispatcherTest {
protected:
    void TearDown() override {
        std::filesystem::remove(File);
        DispatcherTest::TearDown();
    }
    std::string Contents() {
        std::ifstream in(File, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string File = (std::filesystem::temp_directory_path() /
                        ("vaultix-dispatcher-" + std::to_string(::getpid()) + ".txt"))
                           .string();
};

TEST_F(Recording, TheTraceHoldsEveryByteTakenOrQueuedAndNothingRefused) {
    ASSERT_EQ(Device->StartTrace(100), 0);
    const std::uint8_t sent[] = {0x41, 0xAA};
    ASSERT_EQ(Device->WriteBlock(sent, 2), 0);
    Device->Feed(std::vector<std::uint8_t>{0x42, 0x0D});
    Device->FillInputRing();
    std::uint8_t buffer[3];
    EXPECT_EQ(Device->ReadBlock(buffer, 3), ecBufferIsEmpty);
    EXPECT_EQ(Device->ReadBlock(buffer, 2), 2);
    EXPECT_EQ(Device->Trace.EntryCount(), 4u);

    ASSERT_EQ(Device->SaveTraceToFile(File, false, false), 0);
    EXPECT_EQ(Contents(), "Transmit: \r\nA[170]\r\n\r\nReceive: \r\nB[13]");
    EXPECT_FALSE(Device->TracingOn());
}

TEST_F(Recording, APausedTraceRecordsNothing) {
    Device->StartTrace(100);
    Device->PauseTrace();
    Device->WriteByte(1);
    EXPECT_EQ(Device->Trace.EntryCount(), 0u);
    Device->ResumeTrace();
    Device->WriteByte(2);
    EXPECT_EQ(Device->Trace.EntryCount(), 1u);
}

TEST_F(Recording, TheLogHoldsDeviceReadsAndQueuedWrites) {
    Device->SetDeviceName("COM3");
    Device->StartLog(4096);
    Device->Feed("xyz");
    Device->FillInputRing();
    const std::uint8_t sent[] = {'A', 'B'};
    Device->WriteBlock(sent, 2);
    ASSERT_EQ(Device->SaveLogToFile(File, false, false), 0);
    const std::string log = Contents();
    EXPECT_NE(log.find("Device: COM3"), std::string::npos);
    EXPECT_NE(log.find("Dispatch  ReadCom       00000003  xyz"), std::string::npos);
    EXPECT_NE(log.find("Dispatch  WriteCom      00000002  AB"), std::string::npos);
}

} // namespace
} // namespace vaultix::serial::testing

namespace vaultix::serial::testing {
namespace {

// The idle loop sleeps through input until the level it was given is reached: told at once
// when that much already waits, but not told twice of the same input it could not use.
TEST_F(InputRing, TheWakeLevelWakesTheLoopOnlyForInputItCanActOn) {
    int wakes = 0;
    platform::SetActivityReceiver([&wakes] { ++wakes; });
    struct TRestore {
        ~TRestore() { platform::SetActivityReceiver({}); }
    } restore;
    Device->Feed(Sequence(5));
    Device->Pass();
    Device->SetInputWakeLevel(10);
    EXPECT_EQ(wakes, 0);
    Device->SetInputWakeLevel(2);
    EXPECT_EQ(wakes, 1) << "two bytes of a header already wait";
    Device->SetInputWakeLevel(2);
    EXPECT_EQ(wakes, 1) << "the same input at the same level would only spin the loop";
    Read(2);
    Device->SetInputWakeLevel(2);
    EXPECT_EQ(wakes, 2) << "what is left after a take is enough for the next header";
    Device->SetInputWakeLevel(0);
    EXPECT_EQ(wakes, 2);
}

// Below the level, arriving bytes may gather in the device for a while (4800 baud here), but
// never for so long that the byte completing the level is the one held back.
TEST_F(InputRing, InputBelowTheWakeLevelGathersNoLongerThanTheLineNeeds) {
    Device->Feed(Sequence(5));
    Device->Pass();
    for (const std::uint32_t level : {0u, 1u, 2u, 7u}) {
        Device->SetInputWakeLevel(level);
        EXPECT_EQ(Device->InputGatherMs(), 0u) << "level " << level;
    }
    Device->SetInputWakeLevel(12);
    EXPECT_EQ(Device->InputGatherMs(), 8u) << "six more bytes of at least seven bits";
    Device->SetInputWakeLevel(5120);
    EXPECT_EQ(Device->InputGatherMs(), 20u) << "capped";
    Device->Feed(Sequence(InRingSize));
    Device->Pass();
    ASSERT_TRUE(Device->InFull);
    EXPECT_EQ(Device->InputGatherMs(), 0u) << "a full ring is taken at once";
}

} // namespace
} // namespace vaultix::serial::testing
