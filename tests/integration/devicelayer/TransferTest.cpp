// Bytes through the dispatcher and its threads, both ways, with the far end of a
// pseudo-terminal pair.

#include "DeviceLayerFixture.h"

#include <mutex>

using namespace vaultix::serial;
using namespace vaultix::serial::testing;
using namespace vaultix::platform;

TEST(DeviceLayerTransfer, BytesKeepTheirOrderAcrossBothRingWraps) {
    TPtyPort port(3);
    TTestDispatcher d;
    ASSERT_EQ(d.OpenLine(port.Name()), ecOK);
    // Neither block size divides a ring size, and each direction carries several rings' worth,
    // so both rings wrap at varying places. The far end reads in small pieces with pauses, so
    // that writes back up and the output ring holds wrapped runs; the application reads its
    // input only now and then, so that the input ring fills up to its end.
    const auto out = Pattern(100000, 7);
    const auto in = Pattern(50000, 9);
    std::vector<std::uint8_t> received;
    std::thread farWriter([&] { port.Pty.WriteAll(in, std::chrono::milliseconds(10000)); });
    std::thread farReader([&] {
        while (received.size() < out.size()) {
            const std::size_t want = std::min<std::size_t>(1777, out.size() - received.size());
            auto piece = port.Pty.ReadExactly(want, std::chrono::milliseconds(5000));
            if (piece.empty()) break;
            received.insert(received.end(), piece.begin(), piece.end());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::vector<std::uint8_t> got;
    std::thread appReader([&] {
        while (got.size() < in.size()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            auto piece = ReadFromDispatcher(d, std::min<std::size_t>(3333, in.size() - got.size()));
            if (piece.empty()) break;
            got.insert(got.end(), piece.begin(), piece.end());
        }
    });
    EXPECT_TRUE(WriteToDispatcher(d, out, 701));
    farWriter.join();
    farReader.join();
    appReader.join();
    EXPECT_EQ(got, in);
    EXPECT_EQ(received, out);
    EXPECT_TRUE(Eventually([&] { return d.OutputUsed() == 0; }));
}

TEST(DeviceLayerTransfer, OneMebibyteEachWayAtOnce) {
    TPtyPort port(3);
    TTestDispatcher d;
    ASSERT_EQ(d.OpenLine(port.Name()), ecOK);
    constexpr std::size_t Size = 1 << 20;
    const auto out = Pattern(Size, 3);
    const auto in = Pattern(Size, 5);
    std::vector<std::uint8_t> received;
    std::thread farWriter([&] { port.Pty.WriteAll(in, std::chrono::milliseconds(20000)); });
    std::thread farReader(
        [&] { received = port.Pty.ReadExactly(Size, std::chrono::milliseconds(20000)); });
    std::vector<std::uint8_t> got;
    std::thread reader(
        [&] { got = ReadFromDispatcher(d, Size, std::chrono::milliseconds(20000)); });
    EXPECT_TRUE(WriteToDispatcher(d, out, 4096, std::chrono::milliseconds(20000)));
    reader.join();
    farWriter.join();
    farReader.join();
    ASSERT_EQ(got.size(), Size);
    ASSERT_EQ(received.size(), Size);
    EXPECT_EQ(Checksum(got), Checksum(in));
    EXPECT_EQ(Checksum(received), Checksum(out));
}

TEST(DeviceLayerTransfer, ExactlyFilledOutputRingIsSentOnceAndLeftEmpty) {
    TPtyPort port(3);
    TTestDispatcher d;
    constexpr std::uint32_t RingSize = 10240;
    ASSERT_EQ(d.OpenLine(port.Name(), 4800, RingSize), ecOK);
    const auto full = Pattern(RingSize, 4);
    ASSERT_EQ(d.OutputFree(), RingSize);
    ASSERT_EQ(d.WriteBlock(full.data(), RingSize), ecOK);
    EXPECT_EQ(port.Pty.ReadExactly(RingSize), full);
    ExpectOutputDrainedOnce(d, port);
}

TEST(DeviceLayerTransfer, OutputPurgeCancelsAPendingWrite) {
    TPtyPort port(3);
    TTestDispatcher d;
    ASSERT_EQ(d.OpenLine(port.Name(), 4800, 65536), ecOK);
    // More than the pseudo-terminal takes while the far end does not read.
    const auto stuck = Pattern(60000, 6);
    ASSERT_EQ(d.WriteBlock(stuck.data(), static_cast<std::uint32_t>(stuck.size())), ecOK);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_GT(d.OutputUsed(), 0u);

    EXPECT_EQ(d.PurgeOutput(), ecOK);
    EXPECT_EQ(d.OutputUsed(), 0u);
    EXPECT_EQ(d.OutputFree(), 65536u);
    // What the far end still finds is a prefix of what was queued, never more.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto before = port.Pty.ReadAvailable();
    ASSERT_LT(before.size(), stuck.size());
    EXPECT_TRUE(std::equal(before.begin(), before.end(), stuck.begin()));

    // The line works on afterwards.
    const auto after = Pattern(5000, 8);
    ASSERT_TRUE(WriteToDispatcher(d, after, 5000));
    EXPECT_EQ(port.Pty.ReadExactly(after.size()), after);
}

TEST(DeviceLayerTransfer, InputPurgeDropsWhatArrivedSoFar) {
    TPtyPort port(3);
    TTestDispatcher d;
    ASSERT_EQ(d.OpenLine(port.Name()), ecOK);
    ASSERT_TRUE(port.Pty.WriteAll("stale"));
    ASSERT_TRUE(Eventually([&] { return d.InputCount() == 5; }));
    EXPECT_EQ(d.PurgeInput(), ecOK);
    EXPECT_EQ(d.InputCount(), 0u);
    ASSERT_TRUE(port.Pty.WriteAll("fresh"));
    const auto got = ReadFromDispatcher(d, 5);
    EXPECT_EQ(std::string(got.begin(), got.end()), "fresh");
}

namespace {

// Takes every announced byte inside the delivery and counts the marker pattern's firings.
struct TStreamCollector {
    TTestDispatcher* Dispatcher = nullptr;
    std::mutex Lock;
    std::vector<std::uint8_t> Got;
    int Markers = 0;

    static void Handle(void* Object, std::uint32_t Msg, std::uint32_t First, std::uint32_t) {
        auto& self = *static_cast<TStreamCollector*>(Object);
        if (Msg == MsgTriggerAvail) {
            std::vector<std::uint8_t> piece(First);
            if (self.Dispatcher->ReadBlock(piece.data(), First) != static_cast<int>(First)) return;
            std::lock_guard guard(self.Lock);
            self.Got.insert(self.Got.end(), piece.begin(), piece.end());
        } else if (Msg == MsgTriggerData) {
            std::lock_guard guard(self.Lock);
            ++self.Markers;
        }
    }
    std::size_t Size() {
        std::lock_guard guard(Lock);
        return Got.size();
    }
};

} // namespace

TEST(DeviceLayerTransfer, AFastStreamIsAnnouncedWholeAndEveryPatternInItFires) {
    // The far end writes as fast as the pseudo-terminal takes it, so the dispatch thread keeps
    // reading full line buffers; bytes, announcements and pattern matches must all keep up.
    TPtyPort port(3);
    TTestDispatcher d;
    ASSERT_EQ(d.OpenLine(port.Name(), 115200), ecOK);
    constexpr std::size_t Size = 1 << 20;
    constexpr int Markers = 100;
    std::vector<std::uint8_t> in(Size);
    for (std::size_t i = 0; i < Size; ++i)
        in[i] = static_cast<std::uint8_t>('a' + (i * 7) % 26);
    for (int k = 0; k < Markers; ++k) {
        const std::size_t at = 1000 + static_cast<std::size_t>(k) * 10457;
        in[at] = '#';
        in[at + 1] = '!';
    }
    TTriggerSnapshot triggers;
    triggers.AvailThreshold = 1;
    TDataTrigger marker;
    marker.Handle = 0x51;
    marker.Length = 2;
    marker.Pattern[0] = '#';
    marker.Pattern[1] = '!';
    triggers.Data = {marker};
    d.LoadTriggerSnapshot(triggers);
    TStreamCollector collector;
    collector.Dispatcher = &d;
    d.RegisterNotifyEvent({&TStreamCollector::Handle, &collector}, false);

    ASSERT_TRUE(port.Pty.WriteAll(in, std::chrono::milliseconds(20000)));
    ASSERT_TRUE(Eventually([&] { return collector.Size() >= Size; }, std::chrono::seconds(20)));
    d.CloseDevice();
    std::lock_guard guard(collector.Lock);
    EXPECT_EQ(collector.Markers, Markers);
    EXPECT_EQ(Checksum(collector.Got), Checksum(in));
    EXPECT_EQ(collector.Got.size(), Size);
}
