#include "PortFixture.h"

#include "platform/RuntimeExceptions.h"

namespace vaultix::serial::testing {
namespace {

using Trace = PortTest;

TEST_F(Trace, AClosedPortKeepsOnlyTheWishToRecord) {
    for (const TTraceLogState state : {tlDump, tlAppend, tlClear, tlPause}) {
        Port->SetTracing(tlOn);
        Port->SetTracing(state);
        EXPECT_EQ(Port->Tracing(), tlOff) << int(state);
    }
    Port->SetTracing(tlOn);
    Port->SetLogging(tlOn);
    EXPECT_EQ(Port->Tracing(), tlOn);
    Port->SetOpen(true); // the wish becomes a recording
    EXPECT_TRUE(Port->Device()->TracingOn());
    EXPECT_TRUE(Port->Device()->LoggingOn());
}

TEST_F(Trace, ClosingWritesTheRecordingsAndSwitchesThemOff) {
    Port->SetTracing(tlOn);
    Port->SetLogging(tlOn);
    Port->SetOpen(true);
    Port->WriteText("AB");
    Port->SetOpen(false);
    EXPECT_EQ(Port->Tracing(), tlOff);
    EXPECT_EQ(Port->Logging(), tlOff);
    const std::string trace = ReadFile(Dir / "trace.txt");
    EXPECT_NE(trace.find("Transmit: "), std::string::npos) << trace;
    EXPECT_NE(trace.find("AB"), std::string::npos) << trace;
    EXPECT_FALSE(ReadFile(Dir / "log.txt").empty());
}

TEST_F(Trace, NumberChangeWritesTheTraceAndStartsAnEmptyOne) {
    Port->SetTracing(tlOn);
    Port->SetOpen(true);
    Port->WriteText("xyz");
    Port->SetComNumber(2);
    EXPECT_NE(ReadFile(Dir / "trace.txt").find("xyz"), std::string::npos);
    EXPECT_EQ(Port->Tracing(), tlOn);
    EXPECT_TRUE(Port->Device()->TracingOn());
    EXPECT_EQ(Port->Device()->TraceEntries(), 0u);
}

TEST_F(Trace, AFailingDumpKeepsThePortOpen) {
    Port->SetTraceName((Dir / "missing" / "trace.txt").string());
    Port->SetTracing(tlOn);
    Port->SetOpen(true);
    Port->WriteByte('a');
    EXPECT_THROW(Port->SetOpen(false), platform::EInOutError);
    EXPECT_EQ(Port->State(), stOpen);
    EXPECT_TRUE(Port->Open());
    EXPECT_EQ(Port->Tracing(), tlOn);
    Port->SetOpen(false); // the recording is gone: nothing left to fail
    EXPECT_EQ(Port->State(), stClosed);
}

TEST_F(Trace, ResizingRestartsARunningTraceAndEndsAPausedOne) {
    Port->SetTraceSize(5000000);
    EXPECT_EQ(Port->TraceSize(), TOxCustomComPort::MaxTraceSize);
    Port->SetLogSize(20000000);
    EXPECT_EQ(Port->LogSize(), TOxCustomComPort::MaxLogSize);

    Port->SetTracing(tlOn);
    Port->SetOpen(true);
    Port->WriteText("abc");
    Port->SetTraceSize(100);
    EXPECT_EQ(Port->Tracing(), tlOn);
    EXPECT_EQ(Port->Device()->TraceEntries(), 0u);

    Port->SetTracing(tlPause);
    EXPECT_EQ(Port->Tracing(), tlPause);
    Port->SetTracing(tlClear); // stays paused
    EXPECT_EQ(Port->Tracing(), tlPause);
    Port->SetTraceSize(200);
    EXPECT_EQ(Port->Tracing(), tlOff);
}

} // namespace
} // namespace vaultix::serial::testing
