#include "simulator/SimSession.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace vaultix::simulator {

namespace {

constexpr auto HangupSettle = milliseconds(10);
constexpr auto HangupGrace = milliseconds(1000);

std::string Hex(std::uint8_t Byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", Byte);
    return text;
}

std::string Ms(milliseconds Value) {
    return std::to_string(Value.count()) + " ms";
}

std::string AckSubject(TAckKind Kind, std::size_t Block) {
    switch (Kind) {
    case TAckKind::akBlock:
        return "block " + std::to_string(Block);
    case TAckKind::akRepeat:
        return "the bad marker after block " + std::to_string(Block);
    case TAckKind::akEnd:
        return "the end marker";
    }
    return "?";
}

} // namespace

const char* OutcomeText(TSimOutcome Outcome) {
    switch (Outcome) {
    case TSimOutcome::soRunning:
        return "running";
    case TSimOutcome::soCompleted:
        return "completed";
    case TSimOutcome::soStalled:
        return "stalled";
    case TSimOutcome::soHungUp:
        return "hung up";
    case TSimOutcome::soStopped:
        return "stopped";
    case TSimOutcome::soFailed:
        return "failed";
    }
    return "?";
}

const char* AckKindText(TAckKind Kind) {
    switch (Kind) {
    case TAckKind::akBlock:
        return "block";
    case TAckKind::akRepeat:
        return "repeat";
    case TAckKind::akEnd:
        return "end";
    }
    return "?";
}

TSimSession::TSimSession(TSimLine& Line, const TSimOptions& Options, const TSimPlan& Plan,
                         TSimProgress& Progress, TSimLog Log)
    : Line(Line), Options(Options), Plan(Plan), Progress(Progress), Log(std::move(Log)),
      Pacer(Plan.Baud, Options.Paced) {}

TSimResult TSimSession::Run() {
    try {
        RunScenario();
        Result.Outcome = TSimOutcome::soCompleted;
    } catch (const TInterrupt& Interrupt) {
        Result.Outcome = Interrupt.Outcome;
    } catch (const std::exception& Error) {
        Report(std::string("line error: ") + Error.what());
        Result.Outcome = TSimOutcome::soFailed;
    }
    try {
        Finish();
    } catch (const std::exception& Error) {
        Result.Errors.emplace_back(std::string("internal error: ") + Error.what());
    }
    return std::move(Result);
}

void TSimSession::RunScenario() {
    if (Options.StartDelay.count() > 0) SleepUntil(TSimClock::now() + Options.StartDelay);
    Pacer.Restart(TSimClock::now());
    switch (Options.Mode) {
    case TSimMode::smSendModel:
    case TSimMode::smSendMemory:
        Phase = TPhase::phSending;
        SendPart(Plan.Data);
        break;
    case TSimMode::smSendAll:
        Phase = TPhase::phSending;
        SendAllModels();
        break;
    case TSimMode::smReceiveModels:
    case TSimMode::smReceiveMemory:
        Phase = TPhase::phReceiving;
        ReceiveRestore();
        if (Options.SendBack) SendBackRestore();
        break;
    }
    Linger();
}

void TSimSession::SendAllModels() {
    ExpectAcks = true;
    const std::uint8_t header[2] = {MarkerLead, MarkerBlock};
    const std::uint8_t end[2] = {MarkerLead, MarkerEnd};
    if (Options.Faults.EndFirst) {
        SendPart(end);
        Say("end marker sent before any block; no acknowledgement is due");
        return;
    }
    const std::span<const std::uint8_t> all(Plan.Data);
    for (std::size_t block = 0; block < Plan.Units; ++block) {
        SendPart(header);
        SendPart(all.subspan(block * Plan.UnitSize, Plan.UnitSize));
        WaitForAck(TAckKind::akBlock, block + 1);
        if (Options.Faults.BadMarker && block == 0) {
            const std::uint8_t bad[2] = {MarkerLead, Options.Faults.BadMarkerByte};
            SendPart(bad);
            WaitForAck(TAckKind::akRepeat, 1);
        }
    }
    SendPart(end);
    if (Plan.Units > 0) WaitForAck(TAckKind::akEnd, Plan.Units);
}

void TSimSession::ReceiveRestore() {
    const std::size_t total = Plan.TotalBytes();
    Result.Received.reserve(total);
    auto lastSeen = TSimClock::now();
    while (TransferPos < total) {
        ApplyFaultsAt(TransferPos);
        std::optional<TSimClock::time_point> deadline;
        if (Options.IdleTimeout.count() > 0) deadline = lastSeen + Options.IdleTimeout;
        const std::size_t before = TransferPos;
        if (WaitOnLine(leInput, deadline) == leNone) {
            Report("no byte for " + Ms(Options.IdleTimeout) + " after " +
                   std::to_string(TransferPos) + " of " + std::to_string(total) +
                   " bytes of the restore");
            throw TInterrupt{TSimOutcome::soFailed};
        }
        if (TransferPos > before) lastSeen = TSimClock::now();
    }
    ApplyFaultsAt(TransferPos);
    Say("restore of " + std::to_string(total) + " bytes received");
}

void TSimSession::SendBackRestore() {
    SleepUntil(TSimClock::now() + Options.SendBackDelay);
    TImage Back = Result.Received;
    if (Options.SendBackChange && *Options.SendBackChange < Back.size()) {
        Back[*Options.SendBackChange] ^= 0xFF;
        Say("byte " + std::to_string(*Options.SendBackChange) + " goes back changed");
    }
    Phase = TPhase::phSending;
    Pacer.Restart(TSimClock::now());
    ScheduledBytes = 0;
    SendPart(Back);
    Say("restore of " + std::to_string(Back.size()) + " bytes sent back");
}

void TSimSession::SendPart(std::span<const std::uint8_t> Bytes) {
    std::size_t done = 0;
    for (;;) {
        ApplyFaultsAt(TransferPos);
        if (done == Bytes.size()) return;
        std::size_t chunk = Bytes.size() - done;
        const auto limitBy = [&](bool Pending, std::size_t Point) {
            if (Pending && Point > TransferPos) chunk = std::min(chunk, Point - TransferPos);
        };
        const TSimFaults& faults = Options.Faults;
        limitBy(!GarbageDone && faults.GarbageBytes > 0, faults.GarbageAt);
        limitBy(faults.HangupAfter.has_value(), faults.HangupAfter.value_or(0));
        limitBy(faults.StallAfter.has_value(), faults.StallAfter.value_or(0));
        WriteOnLine(Bytes.subspan(done, chunk));
        done += chunk;
        TransferPos += chunk;
    }
}

void TSimSession::WriteOnLine(std::span<const std::uint8_t> Bytes) {
    while (!Bytes.empty()) {
        std::size_t allowed = Bytes.size();
        if (Pacer.Paced()) {
            const std::uint64_t due = Pacer.DueBy(TSimClock::now());
            if (due <= ScheduledBytes) {
                WaitOnLine(leInput, Pacer.DueAt(ScheduledBytes));
                continue;
            }
            allowed =
                static_cast<std::size_t>(std::min<std::uint64_t>(allowed, due - ScheduledBytes));
        }
        const std::size_t n = Line.WriteSome(Bytes.first(allowed));
        if (n == 0) {
            // The far end reads nothing and the line's buffer is full.
            WaitOnLine(leInput | leOutput, std::nullopt);
            continue;
        }
        LastWrite = TSimClock::now();
        NoteActivity(LastWrite);
        ScheduledBytes += n;
        Result.BytesSent += n;
        Progress.BytesSent.store(Result.BytesSent, std::memory_order_relaxed);
        Bytes = Bytes.subspan(n);
    }
    // Input that came while a fast burst went out.
    DrainInput();
}

void TSimSession::ApplyFaultsAt(std::size_t Position) {
    const TSimFaults& faults = Options.Faults;
    if (!GarbageDone && faults.GarbageBytes > 0 && Position == faults.GarbageAt) {
        GarbageDone = true;
        const TImage garbage = MakeNoise(faults.GarbageBytes, Options.Seed ^ 0x5EEDu);
        Say(std::to_string(garbage.size()) + " garbage bytes after " + std::to_string(Position) +
            " bytes");
        WriteOnLine(garbage);
    }
    if (faults.HangupAfter && Position == *faults.HangupAfter) HangUpNow();
    if (faults.StallAfter && Position == *faults.StallAfter) StallUntilStopped();
}

void TSimSession::WaitForAck(TAckKind Kind, std::size_t Block) {
    const auto deadline = LastWrite + Options.AckTimeout;
    while (PendingAcks.empty()) {
        if (WaitOnLine(leInput, deadline) == leNone && PendingAcks.empty()) {
            Report("no acknowledgement of " + AckSubject(Kind, Block) + " within " +
                   Ms(Options.AckTimeout));
            throw TInterrupt{TSimOutcome::soFailed};
        }
    }
    const TSimClock::time_point arrived = PendingAcks.front();
    PendingAcks.pop_front();
    const auto delay = arrived - LastWrite;
    TAckRecord record;
    record.Kind = Kind;
    record.Block = Block;
    record.Delay = std::chrono::duration_cast<milliseconds>(delay);
    record.Early = delay < Options.MinAckDelay;
    Result.Acks.push_back(record);
    Say("acknowledgement of " + AckSubject(Kind, Block) + " after " + Ms(record.Delay));
    if (record.Early)
        Report("the acknowledgement of " + AckSubject(Kind, Block) + " came " + Ms(record.Delay) +
               " after its last byte, sooner than " + Ms(Options.MinAckDelay));
    // The transmitter starts its next output only now.
    Pacer.Restart(TSimClock::now());
    ScheduledBytes = 0;
}

void TSimSession::StallUntilStopped() {
    Say("stalled after " + std::to_string(TransferPos) + " bytes; waiting to be stopped");
    // A stalled receiver reads nothing more, so that the sender's output backs up.
    const unsigned wanted = Phase == TPhase::phReceiving ? leNone : leInput;
    try {
        for (;;)
            WaitOnLine(wanted, std::nullopt);
    } catch (const TInterrupt& Interrupt) {
        if (Interrupt.Outcome == TSimOutcome::soStopped) throw TInterrupt{TSimOutcome::soStalled};
        throw;
    }
}

void TSimSession::HangUpNow() {
    Say("hanging up after " + std::to_string(TransferPos) + " bytes");
    if (Line.IsPty()) {
        // Closing the master discards whatever the slave has not read yet, while a pulled
        // cable leaves the received bytes with the PC. So let the application take them
        // first: the kernel hands written bytes to the slave a moment later, hence the
        // settling time before the count is trusted, and a limit in case nobody reads.
        const auto start = TSimClock::now();
        SleepUntil(start + HangupSettle);
        while (Line.UnreadBySlave().value_or(0) > 0 && TSimClock::now() < start + HangupGrace)
            SleepUntil(TSimClock::now() + HangupSettle);
    }
    Line.HangUp();
    throw TInterrupt{TSimOutcome::soHungUp};
}

void TSimSession::Linger() {
    Phase = TPhase::phLinger;
    if (Options.Linger.count() <= 0) return;
    const auto deadline = TSimClock::now() + Options.Linger;
    while (TSimClock::now() < deadline)
        WaitOnLine(leInput, deadline);
}

void TSimSession::SleepUntil(TSimClock::time_point Deadline) {
    while (TSimClock::now() < Deadline)
        WaitOnLine(leNone, Deadline);
}

unsigned TSimSession::WaitOnLine(unsigned Wanted, std::optional<TSimClock::time_point> Deadline) {
    const unsigned events = Line.Wait(Wanted, Deadline);
    if (events & leCancelled) throw TInterrupt{TSimOutcome::soStopped};
    if (events & leHangup) {
        Report("the line hung up");
        throw TInterrupt{TSimOutcome::soFailed};
    }
    if (events & leInput) DrainInput();
    return events;
}

void TSimSession::DrainInput() {
    for (;;) {
        std::size_t limit = ReadBuffer.size();
        if (Phase == TPhase::phReceiving) {
            // Read no further than the restore or the next fault point, so that a stall or
            // hang-up happens at its exact byte and surplus bytes stay for the linger check.
            std::size_t stop = Plan.TotalBytes();
            const TSimFaults& faults = Options.Faults;
            if (faults.StallAfter && *faults.StallAfter >= TransferPos)
                stop = std::min(stop, *faults.StallAfter);
            if (faults.HangupAfter && *faults.HangupAfter >= TransferPos)
                stop = std::min(stop, *faults.HangupAfter);
            limit = std::min(limit, stop - std::min(stop, TransferPos));
        }
        if (limit == 0) return;
        const std::size_t n = Line.ReadSome(std::span(ReadBuffer).first(limit));
        if (n == 0) return;
        TakeInput(std::span(ReadBuffer).first(n), TSimClock::now());
    }
}

void TSimSession::TakeInput(std::span<const std::uint8_t> Bytes, TSimClock::time_point At) {
    Result.BytesReceived += Bytes.size();
    Progress.BytesReceived.store(Result.BytesReceived, std::memory_order_relaxed);
    NoteActivity(At);
    if (Phase == TPhase::phReceiving) {
        for (const std::uint8_t byte : Bytes)
            TakeRestoreByte(byte);
        return;
    }
    for (const std::uint8_t byte : Bytes) {
        if (!ExpectAcks) {
            NoteUnexpected(byte);
            continue;
        }
        if (AckHalfSeen) {
            AckHalfSeen = false;
            if (byte == AckSecond) {
                PendingAcks.push_back(AckHalfTime);
                continue;
            }
            NoteUnexpected(AckFirst);
        }
        if (byte == AckFirst) {
            AckHalfSeen = true;
            AckHalfTime = At;
            continue;
        }
        NoteUnexpected(byte);
    }
}

void TSimSession::TakeRestoreByte(std::uint8_t Byte) {
    const std::size_t position = Result.Received.size();
    if (Plan.Check && (position >= Plan.Data.size() || Plan.Data[position] != Byte)) {
        if (Mismatches == 0) FirstMismatch = position;
        ++Mismatches;
    }
    Result.Received.push_back(Byte);
    ++TransferPos;
}

void TSimSession::NoteUnexpected(std::uint8_t Byte) {
    if (UnexpectedCount == 0) {
        FirstUnexpected = Byte;
        FirstUnexpectedAfter = Result.BytesSent;
    }
    ++UnexpectedCount;
}

void TSimSession::NoteActivity(TSimClock::time_point At) {
    if (!FirstActivity) FirstActivity = At;
    LastActivity = At;
}

void TSimSession::Report(const std::string& Error) {
    Result.Errors.push_back(Error);
    Say("error: " + Error);
}

void TSimSession::Say(const std::string& Text) const {
    if (Log) Log(Text);
}

void TSimSession::Finish() {
    if (AckHalfSeen) NoteUnexpected(AckFirst);
    if (!PendingAcks.empty()) {
        Report(Options.Faults.EndFirst
                   ? "an acknowledgement came after an end marker that followed no block"
                   : std::to_string(PendingAcks.size()) +
                         " acknowledgement(s) came that answered nothing");
    }
    if (UnexpectedCount > 0) {
        const bool restore =
            Options.Mode == TSimMode::smReceiveModels || Options.Mode == TSimMode::smReceiveMemory;
        Report(restore ? std::to_string(UnexpectedCount) + " byte(s) more than the " +
                             std::to_string(Plan.TotalBytes()) + "-byte restore arrived"
                       : std::to_string(UnexpectedCount) +
                             " unexpected byte(s) arrived, the first " + Hex(FirstUnexpected) +
                             " after " + std::to_string(FirstUnexpectedAfter) + " bytes sent");
    }
    if (Mismatches > 0) {
        const std::size_t at = FirstMismatch;
        std::string where = "byte " + std::to_string(at);
        if (Plan.Units > 1)
            where += " (model " + std::to_string(at / Plan.UnitSize + 1) + ", offset " +
                     std::to_string(at % Plan.UnitSize) + ")";
        const std::string expected = at < Plan.Data.size() ? Hex(Plan.Data[at]) : "nothing";
        Report(where + " of the restore differs: expected " + expected + ", received " +
               Hex(Result.Received[at]) + "; " + std::to_string(Mismatches) +
               " byte(s) differ in all");
    }
    if (FirstActivity)
        Result.Duration = std::chrono::duration_cast<milliseconds>(LastActivity - *FirstActivity);
}

} // namespace vaultix::simulator
