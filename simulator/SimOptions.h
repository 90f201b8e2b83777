#pragma once
// What the simulated transmitter does, and what it reports afterwards.

#include "simulator/ModelImages.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vaultix::simulator {

using std::chrono::milliseconds;

enum class TSimMode {
    smSendModel,     // one model memory, ModelSize bytes
    smSendMemory,    // the whole memory of the MC-18 types as one unit (2050 / 8194 bytes)
    smSendAll,       // all models with the block protocol (MC-22, MC-24, MX-22)
    smReceiveModels, // a restore of Models model memories, one after another
    smReceiveMemory, // a restore of the whole memory (MC-18 types)
};

// Deliberate misbehaviour. Byte positions count the bytes of the transfer itself (markers
// included, injected garbage not): in receive modes the bytes received.
struct TSimFaults {
    std::optional<std::size_t> StallAfter;  // go silent after this many bytes, until stopped
    std::optional<std::size_t> HangupAfter; // close the line after this many bytes
    std::size_t GarbageBytes = 0;           // noise bytes inserted into the output ...
    std::size_t GarbageAt = 0;              // ... before this byte of the transfer
    bool BadMarker = false; // after the first block: 0x80 BadMarkerByte, acknowledged again
    std::uint8_t BadMarkerByte = 0x55;
    bool EndFirst = false; // the end marker before any block; no acknowledgement expected
};

struct TSimOptions {
    int TypeRow = 2; // row of transfer::TxTypes
    TSimMode Mode = TSimMode::smSendModel;
    // Models to send with the block protocol or to receive; with an Image to send, the count
    // follows from its size.
    std::size_t Models = 1;
    std::uint32_t Baud = 0; // 0: the type's speed
    bool Paced = true;      // false: as fast as the line takes bytes
    // Bytes to send, or with a receive mode the bytes expected. Empty: generated images are
    // sent, and a receive only stores what arrives (unless CheckGenerated).
    TImage Image;
    bool CheckGenerated = false; // receive: expect the images this seed generates
    std::uint32_t Seed = 1;
    std::vector<std::string> Names; // code page 437; missing ones are generated
    std::uint8_t FirstNumber = 1;
    std::string DevicePath; // empty: a new pseudo-terminal pair

    milliseconds StartDelay{0};    // before the first byte
    milliseconds MinAckDelay{700}; // an acknowledgement sooner than this after a block fails
    milliseconds AckTimeout{5000}; // ... one that does not come within this fails and ends
    milliseconds IdleTimeout{0};   // receive: give up after this long without a byte; 0: never
    // Receive modes: after the restore, wait SendBackDelay and send the bytes received back, as
    // a transmitter does when its user sends that model to the PC; with SendBackChange the byte
    // at that offset goes back changed. The faults' byte positions go on counting there.
    bool SendBack = false;
    milliseconds SendBackDelay{1000};
    std::optional<std::size_t> SendBackChange;
    // After the transfer, listen this long and report any byte that still arrives.
    milliseconds Linger{1000};
    TSimFaults Faults;
};

enum class TAckKind {
    akBlock,  // after a model block
    akRepeat, // after 0x80 and a byte other than 0xAA / 0xFF
    akEnd,    // after the end marker that followed a block
};

struct TAckRecord {
    TAckKind Kind = TAckKind::akBlock;
    std::size_t Block = 0; // the block (from 1) that was last before it
    // From the last byte before the wait (the write that handed it to the line) to the arrival
    // of 0x40. Negative when the acknowledgement arrived while that part was still going out.
    milliseconds Delay{0};
    bool Early = false; // sooner than MinAckDelay
};

enum class TSimOutcome {
    soRunning,
    soCompleted, // the scenario ran to its end
    soStalled,   // stalled on purpose, then stopped
    soHungUp,    // hung up on purpose
    soStopped,   // Stop() before the end
    soFailed,    // ended by an error (no acknowledgement, line error, receive time-out)
};

struct TSimResult {
    TSimOutcome Outcome = TSimOutcome::soRunning;
    std::size_t BytesSent = 0;     // everything written, markers and garbage included
    std::size_t BytesReceived = 0; // everything read
    std::vector<TAckRecord> Acks;
    std::vector<std::string> Errors; // each one a complete sentence for the user
    TImage Received;                 // receive modes: the bytes of the restore
    milliseconds Duration{0};        // from the first byte sent or received to the last
    // CPU time the simulator's own thread used, so that a program hosting it in-process can
    // tell its own share apart.
    std::chrono::nanoseconds Cpu{0};

    // The transfer went through as the options asked, without any complaint.
    bool Ok() const { return Outcome == TSimOutcome::soCompleted && Errors.empty(); }
};

const char* OutcomeText(TSimOutcome Outcome);
const char* AckKindText(TAckKind Kind);

} // namespace vaultix::simulator
