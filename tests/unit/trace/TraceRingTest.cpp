#include "serial/TraceRing.h"

#include "TraceFiles.h"
#include "serial/ResultCodes.h"
#include "serial/SystemErrorCodes.h"

#include <cerrno>
#include <string_view>

using namespace vaultix::serial;
using vaultix::serial::testing::Golden;

namespace {

void Add(TTraceRing& Trace, char Kind, std::string_view Bytes) {
    for (const char c : Bytes)
        Trace.AddTraceEntry(Kind, static_cast<std::uint8_t>(c));
}

class TraceFile : public vaultix::serial::testing::TFileTest {
protected:
    void SetUp() override {
        TFileTest::SetUp();
        ASSERT_EQ(Trace.StartTrace(1000), ecOK);
    }
    std::string Save(bool InHex = false, bool AllHex = false) {
        EXPECT_EQ(Trace.SaveTraceToFile(PathOf("t.log"), InHex, AllHex), ecOK);
        return Contents("t.log");
    }
    TTraceRing Trace;
};

} // namespace

TEST_F(TraceFile, RunsGetHeadingsAndAreSeparatedByAnEmptyLine) {
    Add(Trace, 'T', "A\xAA");
    Add(Trace, 'R', "B\r");
    EXPECT_EQ(Save(), Golden("trace_example.txt"));
}

TEST_F(TraceFile, LongRunWrapsAfterColumn78) {
    std::string bytes;
    for (int i = 0; i < 100; ++i)
        bytes += static_cast<char>('0' + i % 10);
    Add(Trace, 'R', bytes);
    EXPECT_EQ(Save(), Golden("trace_wrap100.txt"));
}

TEST_F(TraceFile, BlankIsShownInHexOnlyWithInHex) {
    Add(Trace, 'R', "a b");
    EXPECT_EQ(Save(false), Golden("trace_blank.txt"));

    ASSERT_EQ(Trace.StartTrace(1000), ecOK);
    Add(Trace, 'R', "a b");
    EXPECT_EQ(Save(true), Golden("trace_blank_hex.txt"));
}

TEST_F(TraceFile, AllHexShowsEveryByteInHexAndWrapsByItsWidth) {
    Add(Trace, 'T', "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(Save(false, true), Golden("trace_allhex.txt"));
}

TEST_F(TraceFile, FullRingKeepsTheNewestEntriesOldestFirst) {
    TTraceRing small;
    ASSERT_EQ(small.StartTrace(2), ecOK);
    Add(small, 'T', "ab");
    Add(small, 'R', "c");
    EXPECT_EQ(small.EntryCount(), 2u);
    ASSERT_EQ(small.SaveTraceToFile(PathOf("t.log"), false, false), ecOK);
    EXPECT_EQ(Contents("t.log"), Golden("trace_capacity2.txt"));
}

TEST_F(TraceFile, SaveReplacesAndAppendAddsAfterTheExistingText) {
    {
        std::ofstream old(PathOf("t.log"), std::ios::binary);
        old << "an older and much longer file";
    }
    Add(Trace, 'T', "A");
    ASSERT_EQ(Trace.SaveTraceToFile(PathOf("t.log"), false, false), ecOK);
    EXPECT_EQ(Contents("t.log"), "Transmit: \r\nA");

    ASSERT_EQ(Trace.StartTrace(1000), ecOK);
    Add(Trace, 'R', "B");
    ASSERT_EQ(Trace.AppendTraceToFile(PathOf("t.log"), false, false), ecOK);
    EXPECT_EQ(Contents("t.log"), Golden("trace_append.txt"));
}

TEST_F(TraceFile, AppendCreatesAMissingFile) {
    Add(Trace, 'R', "x");
    ASSERT_EQ(Trace.AppendTraceToFile(PathOf("new.log"), false, false), ecOK);
    EXPECT_EQ(Contents("new.log"), "Receive: \r\nx");
}

TEST_F(TraceFile, WritingEndsTheTrace) {
    Add(Trace, 'R', "x");
    Save();
    EXPECT_FALSE(Trace.HasRing());
    EXPECT_FALSE(Trace.TracingOn());
    // Nothing is left for a second write.
    EXPECT_EQ(Trace.SaveTraceToFile(PathOf("again.log"), false, false), ecOK);
    EXPECT_FALSE(Exists("again.log"));
}

TEST_F(TraceFile, EmptyTraceCreatesNoFileAndIsDiscarded) {
    EXPECT_EQ(Trace.SaveTraceToFile(PathOf("t.log"), false, false), ecOK);
    EXPECT_FALSE(Exists("t.log"));
    EXPECT_FALSE(Trace.HasRing());

    // A reset trace counts as empty too, even after it had wrapped.
    TTraceRing small;
    small.StartTrace(2);
    Add(small, 'R', "abc");
    small.ResetTrace();
    EXPECT_EQ(small.AppendTraceToFile(PathOf("t.log"), false, false), ecOK);
    EXPECT_FALSE(Exists("t.log"));
}

TEST_F(TraceFile, UnwritablePathGivesItsErrorAndDiscardsTheTrace) {
    Add(Trace, 'R', "x");
    EXPECT_EQ(Trace.SaveTraceToFile(Unwritable(), false, false), SystemErrorCode(ENOENT));
    EXPECT_FALSE(Trace.HasRing());
    EXPECT_FALSE(Trace.TracingOn());
}

TEST(TraceRing, StartRefusesTooManyEntriesWithoutAllocating) {
    TTraceRing trace;
    EXPECT_EQ(trace.StartTrace(TTraceRing::MaxEntries + 1), ecBadArgument);
    EXPECT_FALSE(trace.HasRing());
    EXPECT_FALSE(trace.TracingOn());
    EXPECT_EQ(trace.StartTrace(TTraceRing::MaxEntries), ecOK);
    EXPECT_EQ(trace.Capacity(), TTraceRing::MaxEntries);
}

TEST(TraceRing, RestartEmptiesTheRingAndKeepsItsCapacity) {
    TTraceRing trace;
    trace.StartTrace(3);
    Add(trace, 'R', "abcd");
    trace.PauseTrace();
    EXPECT_EQ(trace.StartTrace(50), ecOK);
    EXPECT_TRUE(trace.TracingOn());
    EXPECT_EQ(trace.Capacity(), 3u);
    EXPECT_EQ(trace.EntryCount(), 0u);
}

TEST(TraceRing, ResumeNeedsARing) {
    TTraceRing trace;
    trace.ResumeTrace();
    EXPECT_FALSE(trace.TracingOn());
    trace.StartTrace(0); // a ring that holds nothing: recording is a no-op
    Add(trace, 'R', "a");
    EXPECT_EQ(trace.EntryCount(), 0u);
    trace.DiscardTrace();
    trace.ResumeTrace();
    EXPECT_FALSE(trace.TracingOn());
}
