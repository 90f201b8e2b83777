// How the output thread cuts the output ring into runs for single writes.

#include "serial/DispatcherThreads.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>

using namespace vaultix::serial;

namespace {

struct TRing {
    std::string Bytes;
    std::uint32_t Head, Tail;

    std::string Take(const TOutputRun& Run) const { return Bytes.substr(Run.Start, Run.Count); }
    TOutputRun Next() {
        return NextOutputRun(reinterpret_cast<std::uint8_t*>(Bytes.data()),
                             static_cast<std::uint32_t>(Bytes.size()), Head, Tail);
    }
};

} // namespace

TEST(OutputRun, UnwrappedBytesGoOutWhereTheyLie) {
    TRing ring{"..abcd....", 6, 2};
    const TOutputRun run = ring.Next();
    EXPECT_EQ(ring.Take(run), "abcd");
    EXPECT_EQ(ring.Head, 6u);
    EXPECT_EQ(ring.Tail, 2u);

    // Pending bytes that end exactly at the ring's end: the head has wrapped to 0.
    TRing atEnd{"......wxyz", 0, 6};
    EXPECT_EQ(atEnd.Take(atEnd.Next()), "wxyz");
    EXPECT_EQ(atEnd.Tail, 6u);
}

TEST(OutputRun, WrappedBytesAreMovedToTheFrontInOrder) {
    // "ab" was queued after "wxyz" and wrapped around the end.
    TRing ring{"ab....wxyz", 2, 6};
    const TOutputRun run = ring.Next();
    EXPECT_EQ(run.Start, 0u);
    EXPECT_EQ(ring.Take(run), "wxyzab");
    EXPECT_EQ(ring.Tail, 0u);
    EXPECT_EQ(ring.Head, 6u);
}

TEST(OutputRun, FullRingGoesOutWholeAndInOrder) {
    // Full with head and tail together at 0: the ring is one run as it lies.
    TRing atZero{"0123456789", 0, 0};
    EXPECT_EQ(atZero.Take(atZero.Next()), "0123456789");

    // Full with head and tail together inside the ring: rotated, and the head reads 0 again,
    // the full flag (kept by the caller) telling it apart from empty.
    TRing inside{"6789012345", 4, 4};
    const TOutputRun run = inside.Next();
    EXPECT_EQ(inside.Take(run), "0123456789");
    EXPECT_EQ(inside.Head, 0u);
    EXPECT_EQ(inside.Tail, 0u);
}
