#pragma once
// The bytes a run moves, fixed before the simulator thread starts: the images to send, or the
// image a restore is checked against.

#include "simulator/SimOptions.h"

#include <cstddef>
#include <cstdint>

namespace vaultix::simulator {

inline constexpr std::uint8_t MarkerLead = 0x80;
inline constexpr std::uint8_t MarkerBlock = 0xAA;
inline constexpr std::uint8_t MarkerEnd = 0xFF;
inline constexpr std::uint8_t AckFirst = 0x40;
inline constexpr std::uint8_t AckSecond = 0xAA;

struct TSimPlan {
    std::size_t UnitSize = 0; // bytes of one unit: a model, a block or the whole memory
    std::size_t Units = 0;    // units to send or receive
    TImage Data;              // send: Units * UnitSize bytes; receive: the expected bytes
    bool Check = false;       // receive: compare every byte with Data
    std::uint32_t Baud = 0;

    std::size_t TotalBytes() const { return UnitSize * Units; }
};

// Checks the options against the type and builds the plan. Throws std::invalid_argument with
// a message for the user when they do not fit together.
TSimPlan PlanRun(const TSimOptions& Options);

} // namespace vaultix::simulator
