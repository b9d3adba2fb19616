// The lane engine of the fast kernel: keeps VECTORS x WIDTH pixels in flight
// and gives each lane the next pixel as soon as its own is finished. Included
// by the vector kernels (kernel_sse2.cpp, kernel_avx2.cpp, kernel_avx512.cpp),
// each with its own vector type (see kernel_step.h), and by the kernel test,
// which runs it on a plain-C++ stand-in at every build's tuning; runs on the
// calling worker thread and reads nothing but its job.
//
// One lane's life, as scalar code:
//     take the next pixel c; z = 0
//     repeat: BLOCK steps of z = z^2 - c, nothing else
//             |z|^2 >= bound at the block's end?  the lane has escaped in
//                 this block: it runs on, idle, until the lanes are retired
//             every EPOCH blocks (sooner once a vector's worth of lanes has
//             escaped), retire the lanes, if any:
//                 escaped: queue (z at the start of the half block that
//                     holds the escape, c) for a replay; take the next pixel
//                 z equal to a saved z, or the counter out: k = 0; take the
//                     next pixel
//     later, for a batch of queued lanes at once: the half of the block
//     that holds the escape again, from z saved at its start, counting the
//     steps before |z|^2 reaches the bound; that gives the escape
//
// What keeps it near the step's own speed (mandel-bench's ceiling; the
// measurements behind each choice are in docs/kernel.md): z and c of every
// vector are held in local variables between retirements, never reread from
// the lane state (RunBlocks; the block by hand reads c and part of z from
// it, as its registers allow); enough independent vectors cover the step's
// latency, chosen for each build and width (LaneTuningFor): in eight registers
// AVX-512 keeps three vectors whole, c read as memory operands, SSE2 runs
// eight with part of z in the compiler's stack slots, each reloaded a whole
// step after its store, and AVX2 four in a block allocated by hand
// (kernel_avx2.cpp), three whole and the fourth's v in memory; the tuning
// also says which vectors double u on the multiplier and which on the adder
// (Step), and where registers are eight the block loop is a function of its
// own (for AVX2 the retirement one more; in 64-bit builds the top-up of
// pending pixels is one);
// the end of a block only gathers one bit a lane, and the branch to retire
// lanes is taken at epoch ends, where a predictor expects it, so escapes cost
// no mispredicted branch; an epoch end with nothing to retire does not leave
// the block loop; the check for lanes that cannot escape comes rarer where it
// keeps finding none (CheckEvery); lanes are queued and given new pixels a
// vector at a time, by compressing and expanding vectors (Enqueue, Refill);
// queued blocks are replayed many vectors together, so no lane waits on a
// replay's latency (ReplayQueue).
//
// Why the result is the literal loop's, bit for bit:
// - Step (kernel_step.h) performs the literal operations in the literal order,
//   and so does the block by hand (kernel_avx2.cpp).
// - The end of a block shows every escape in it (RunBlocks): for |c| < 2 - t
//   (t well above rounding) and a bound of at least 4, once |z| reaches the
//   bound it grows at every step, |z'| >= |z|^2 - |c| >= |z| + t, until it
//   overflows to infinity or NaN; rounding (a few ulps) cannot undo a margin
//   of t. So a lane whose |z|^2 at the block's last test is at or beyond the
//   bound (or NaN) has escaped at one of that block's steps, and at no
//   earlier block's; the first block that shows it is the one replayed
//   (escapedIn_), whatever the lane computes after it.
// - Lanes without that guarantee (|c|^2 >= UNSAFE_C2, NaN c, a bound below 4)
//   are suspect at every block: they keep their pixel and are replayed at once
//   (SettleWaitingLanes); one without a recorded escape goes on.
// - The replay (ReplayQueue) repeats the same operations in the same order
//   from the same z and so computes the same |z|^2 values; the first that
//   reaches the bound (NaN counts as below) is the literal loop's escape,
//   unless the lane's counter ran out before it (ReplayGroup).
// - A safe lane's escape lies in the block's second half when the test at
//   its middle (|z|^2 of the z saved there) is below the bound: by the growth
//   above, an escape in the first half would leave it at or beyond the bound
//   or NaN. Otherwise it lies in the first half or is that test itself, which
//   the replay of the first half counts when none of its own tests reaches
//   the bound (Enqueue). An unsafe lane has its first half replayed, then
//   its second where the first shows no escape (SettleWaitingLanes).
// - A lane whose z repeats bit for bit never escapes: from then on it computes
//   the same |z|^2 values again, all already below the bound, so the literal
//   loop runs its counter out (k = 0, iterLimit iterations). The check is
//   Brent's: z is saved at steps that at least double each time, and later
//   checks compare against it. No tolerance: equal bits only (CannotEscape).
// - Repetition and the end of the counter are looked at every EPOCH blocks
//   only, or a few times rarer where the checks keep finding nothing
//   (CheckEvery); a lane may run a little past its limit, which changes
//   nothing: its count is 0 whatever it computes there, escape or not.
// - Each pixel's c is the literal loop's: x from the running sum along its
//   row, y from the running sum down the rows (TopUpPending); Refill hands
//   the values out in row order.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "engine/kernel.h"
#include "engine/kernel_paths.h"
#include "engine/kernel_step.h"

namespace {

// 0, 1, 2, ... 63: lane i's number as a double, to load them a vector at a time.
struct LaneNumbers {
    double lanes[64];
    constexpr LaneNumbers() : lanes()
    {
        for (int lane = 0; lane < 64; ++lane)
            lanes[lane] = lane;
    }
};
constexpr LaneNumbers LANE_NUMBERS;

// The set bits of a mask of 32 or 64 bits, without the POPCNT instruction the
// SSE2 build may not have (compilers turn this into it where it exists).
template <class Mask>
inline int CountBits(Mask mask)
{
    constexpr Mask ONES = ~Mask(0);
    constexpr int TOP = 8 * sizeof(Mask) - 8;
    mask -= mask >> 1 & ONES / 3;
    mask = (mask & ONES / 5) + (mask >> 2 & ONES / 5);
    mask = (mask + (mask >> 4)) & ONES / 17;
    return static_cast<int>(mask * (ONES / 255) >> TOP);
}

// The block a vector type brings allocated by hand (Vec::BlockByHand: its
// VECTORS, BLOCK, U and Run, see kernel_avx2.cpp), or none.
struct NoBlockByHand {
    static constexpr int VECTORS = 0;
    static constexpr int BLOCK = 0;
    struct U {};
};
template <class Vec, class = void>
struct BlockByHandOf {
    using Type = NoBlockByHand;
};
template <class Vec>
struct BlockByHandOf<Vec, std::void_t<typename Vec::BlockByHand>> {
    using Type = typename Vec::BlockByHand;
};

template <class Vec, int VECTORS, int BLOCK, int EPOCH, bool BLOCKS_APART, bool RETIRING_APART,
          bool TOP_UP_APART, unsigned DOUBLING_ON_MULTIPLIER>
class LaneKernel {
public:
    explicit LaneKernel(const RegionJob& job)
        : job_(job), black_(PackColor(0, job.colors)), nextX_(job.Xmin), nextY_(job.Ymax),
          columnsLeft_(job.width), rowsLeft_(job.rows)
    {
    }

    // Computes every pixel of the job; returns the pixel-iterations of the
    // literal loop.
    uint64_t Run()
    {
        for (int i = 0; i < VECTORS; ++i)
            Refill(i, ALL_LANES);
        while (active_) {
            if constexpr (BLOCKS_APART)
                RunBlocksApart();
            else
                RunBlocks();
            if (queued_ > QUEUE - LANES)
                ReplayQueue();
            if (waiting_)
                SettleWaitingLanes();
        }
        ReplayQueue();
        return iterations_;
    }

private:
    using V = typename Vec::Type;

    static constexpr int WIDTH = Vec::WIDTH;
    static constexpr int HALF = BLOCK / 2;  // a replay's steps
    static_assert(BLOCK % 2 == 0, "a block's two halves replay alike");
    static constexpr int LANES = VECTORS * WIDTH;
    static_assert(LANES <= 64, "one mask bit a lane");
    // One bit a lane, in one register of the 32-bit build where it can.
    using LaneMask = std::conditional_t<LANES <= 32, uint32_t, uint64_t>;
    static constexpr unsigned ALL_LANES = (1u << WIDTH) - 1;  // of one vector
    // Queued lanes are replayed VECTORS at a time, like the blocks. A
    // retirement queues at most LANES entries (a lane escapes once between
    // two), so does the settling of waiting lanes, and the blocks stop for a
    // replay once the queue holds more than QUEUE - LANES.
    static constexpr int QUEUE = 4 * LANES;
    // Pixels handed out ahead, in row order.
    static constexpr int PENDING = 2 * LANES;

    // Checks without a lane to finish before they become SPARSE times rarer.
    static constexpr int QUIET_CHECKS = 8;
    static constexpr int SPARSE = 4;

    // Vec's block allocated by hand, used where it has this tuning's shape.
    using Hand = typename BlockByHandOf<Vec>::Type;
    static constexpr bool BY_HAND = Hand::VECTORS == VECTORS && Hand::BLOCK == BLOCK;
    // Where it finds the lane state: byte offsets from x_ (see RunBlocks).
    struct HandRows {
        static constexpr int SLOT = LANES * sizeof(double);  // a row
        static constexpr int V = -SLOT;
        static constexpr int Y = SLOT;
        static constexpr int START_U = 2 * SLOT;
        static constexpr int START_V = START_U + EPOCH * SLOT;
        static constexpr int MIDDLE_U = START_V + EPOCH * SLOT;
        static constexpr int MIDDLE_V = MIDDLE_U + EPOCH * SLOT;
        static constexpr int ODD_V = MIDDLE_V + EPOCH * SLOT;
    };

    // |c|^2 from which the end of a block may not show an escape in it:
    // below it |c| < 1.9988, a margin far above rounding.
    static constexpr double UNSAFE_C2 = 3.995;

    // Runs blocks of BLOCK steps on every lane, idle ones included, with z and
    // c in local variables, or in Vec's block by hand (u in local variables,
    // v in the lane state between blocks). A safe lane at or beyond the bound
    // at a block's end has escaped in that block and runs on, its result
    // unused, until the lanes are retired (RetireLanes): at the end of each
    // epoch, or sooner once a vector's worth of lanes has escaped. Retiring
    // that seldom makes the branch predictable. Returns when unsafe lanes wait
    // for their replay, the queue is nearly full, or no lane has a pixel.
    void RunBlocks()
    {
        const V bound = Vec::Set(job_.bound);
        const V two = Opaque(Vec::Set(2.0));
        const V zero = Vec::Set(0.0);
        V u[VECTORS], v[VECTORS], x[VECTORS], y[VECTORS];
        for (int i = 0; i < VECTORS; ++i) {
            u[i] = Vec::Load(u_ + i * WIDTH);
            v[i] = Vec::Load(v_ + i * WIDTH);
            x[i] = Vec::Load(x_ + i * WIDTH);
            y[i] = Vec::Load(y_ + i * WIDTH);
        }
        [[maybe_unused]] typename Hand::U hand;
        if constexpr (BY_HAND) {
            CheckHandRows();
            hand.Load(u_);
        }
        // Lanes whose block ends tell their escapes.
        LaneMask telling = active_ & ~unsafe_;
        LaneMask escapedLanes = 0;
        // The block's slot in the epoch, and the blocks not yet in blocks_.
        int slot = static_cast<int>(blocks_ % EPOCH);
        int blocksRun = 0;
        for (;;) {
            LaneMask escaped = 0;
            if constexpr (BY_HAND) {
                escaped = Hand::template Run<HandRows>(hand, x_, slot, bound);
            } else {
                for (int i = 0; i < VECTORS; ++i) {
                    Vec::Store(startU_[slot] + i * WIDTH, u[i]);
                    Vec::Store(startV_[slot] + i * WIDTH, v[i]);
                }
                // Four steps a turn of the loop, then three: where three
                // vectors make a step (the 32-bit AVX-512 path), the loop's
                // own count and branch showed, and GCC's order of the steps
                // depends on the unrolling (docs/kernel.md).
#pragma GCC unroll 4
                for (int step = 0; step < HALF; ++step)
                    for (int i = 0; i < VECTORS; ++i)
                        Step<Vec>(DOUBLING_ON_MULTIPLIER >> i & 1, u[i], v[i], x[i], y[i], two);
                for (int i = 0; i < VECTORS; ++i) {
                    Vec::Store(middleU_[slot] + i * WIDTH, u[i]);
                    Vec::Store(middleV_[slot] + i * WIDTH, v[i]);
                }
#pragma GCC unroll 3
                for (int step = HALF; step < BLOCK - 1; ++step)
                    for (int i = 0; i < VECTORS; ++i)
                        Step<Vec>(DOUBLING_ON_MULTIPLIER >> i & 1, u[i], v[i], x[i], y[i], two);
                // The last step's |z|^2 is the block's last test; its u*u and
                // v*v are the step's own.
#pragma GCC unroll 16
                for (int i = 0; i < VECTORS; ++i) {
                    const V size =
                        Step<Vec>(DOUBLING_ON_MULTIPLIER >> i & 1, u[i], v[i], x[i], y[i], two);
                    escaped |= LaneMask(Vec::Bits(Vec::NotBelow(size, bound))) << (i * WIDTH);
                }
            }
            ++blocksRun;
            escaped &= telling & ~escapedLanes;
            escapedIn_[slot] = escaped;
            escapedLanes |= escaped;
            slot = (slot + 1) % EPOCH;
            const bool epochEnd = slot == 0;
            // Marked as the likely way: GCC then weighs the retirement's need
            // for registers by how seldom it runs, and spills less of z around
            // the block loop where eight registers are all there are.
            if (__builtin_expect(
                    !epochEnd && telling == active_ && CountBits(escapedLanes) < WIDTH, 1))
                continue;
            blocks_ += blocksRun;
            blocksRun = 0;
            if constexpr (BY_HAND) {
                hand.Store(u_);
                for (int i = 0; i < VECTORS; ++i) {
                    u[i] = Vec::Load(u_ + i * WIDTH);
                    v[i] = Vec::Load(v_ + i * WIDTH);
                }
            }

            LaneMask finished = 0;
            if (epochEnd && ++epochsUnchecked_ >= CheckEvery()) {
                epochsUnchecked_ = 0;
#pragma GCC unroll 16
                for (int i = 0; i < VECTORS; ++i)
                    finished |= LaneMask(CannotEscape(i, u[i], v[i])) << (i * WIDTH);
                finished &= active_ & ~escapedLanes;
                quietChecks_ = finished ? 0 : quietChecks_ + 1;
            }
            // Nothing to retire: the blocks go on, without the retirement's
            // wait for the block's last steps and the next block's wait for
            // it. Most epoch ends, where pixels live long.
            if (!(escapedLanes | finished) && telling == active_)
                continue;
            // Unsafe lanes wait for the replay of this block.
            waiting_ = unsafe_;
            waitingFinished_ = finished & unsafe_;
            finished &= ~unsafe_;
            if constexpr (RETIRING_APART)
                RetireLanesApart(finished);
            else
                RetireLanes(finished);
            const LaneMask renewed = escapedLanes | finished;
            for (int i = 0; i < VECTORS; ++i) {
                const auto lanes = Vec::FromBits(LanesOf(renewed, i));
                u[i] = Vec::Select(lanes, zero, u[i]);
                v[i] = Vec::Select(lanes, zero, v[i]);
                x[i] = Vec::Load(x_ + i * WIDTH);
                y[i] = Vec::Load(y_ + i * WIDTH);
            }
            if constexpr (BY_HAND) {
                for (int i = 0; i < VECTORS; ++i) {
                    Vec::Store(u_ + i * WIDTH, u[i]);
                    Vec::Store(v_ + i * WIDTH, v[i]);
                }
                hand.Load(u_);
            }
            telling = active_ & ~unsafe_;
            escapedLanes = 0;
            if (waiting_ || !active_ || queued_ > QUEUE - LANES)
                break;
        }
        if constexpr (!BY_HAND) {
            for (int i = 0; i < VECTORS; ++i) {
                Vec::Store(u_ + i * WIDTH, u[i]);
                Vec::Store(v_ + i * WIDTH, v[i]);
            }
        }
    }

    // The rows are where HandRows says; offsetof needs the class complete.
    static void CheckHandRows()
    {
        constexpr auto fromX = [](size_t offset) {
            return ptrdiff_t(offset) - ptrdiff_t(offsetof(LaneKernel, x_));
        };
        static_assert(fromX(offsetof(LaneKernel, v_)) == HandRows::V &&
                          fromX(offsetof(LaneKernel, y_)) == HandRows::Y &&
                          fromX(offsetof(LaneKernel, startU_)) == HandRows::START_U &&
                          fromX(offsetof(LaneKernel, startV_)) == HandRows::START_V &&
                          fromX(offsetof(LaneKernel, middleU_)) == HandRows::MIDDLE_U &&
                          fromX(offsetof(LaneKernel, middleV_)) == HandRows::MIDDLE_V &&
                          fromX(offsetof(LaneKernel, oddV_)) == HandRows::ODD_V,
                      "the block by hand finds the rows");
    }

    // RunBlocks as a function of its own, whatever the compiler inlines around
    // it: the block loop then has the registers to itself and reaches the lane
    // state through one pointer (see LaneTuningFor).
    __attribute__((noinline)) void RunBlocksApart() { RunBlocks(); }

    // RetireLanes out of the block loop's function: GCC then keeps fewer
    // values of the block loop in stack slots around it (see LaneTuningFor).
    __attribute__((noinline)) void RetireLanesApart(LaneMask finished) { RetireLanes(finished); }

    // Queues the half block in which each escaped lane reached the bound for
    // a replay, finishes the lanes that cannot escape, and gives both the next
    // pixels; the caller sets their z.
    void RetireLanes(LaneMask finished)
    {
        // One loop over the (slot, vector) pairs with escaped lanes, so that
        // its branches are few.
        static_assert(EPOCH * VECTORS <= 32, "one bit a slot and vector");
        uint32_t pairs = 0;
        LaneMask escaped = 0;
        for (int slot = 0; slot < EPOCH; ++slot) {
            pairs |= VectorsOf(escapedIn_[slot]) << (slot * VECTORS);
            escaped |= escapedIn_[slot];
        }
        for (; pairs; pairs &= pairs - 1) {
            const int pair = __builtin_ctz(pairs), slot = pair / VECTORS, i = pair % VECTORS;
            Enqueue(i, LanesOf(escapedIn_[slot], i), 0, slot, HALF_OF_ESCAPE);
        }
        for (int slot = 0; slot < EPOCH; ++slot)
            escapedIn_[slot] = 0;
        FinishLanes(finished);
        ForEachVector(escaped | finished, [&](int i, unsigned lanes) { Refill(i, lanes); });
    }

    // The blocks all lanes had run when the last block that used the slot
    // started (a slot in use since the last retirement, so not a later one).
    int64_t StartOfBlockIn(int slot) const
    {
        const int64_t last = blocks_ - 1;
        return last - (last - slot) % EPOCH;
    }

    // Bit i set when vector i has lanes in the mask: each vector's bits are
    // folded into its first lane's, then those are packed together.
    static uint32_t VectorsOf(LaneMask mask)
    {
        static_assert((WIDTH & (WIDTH - 1)) == 0, "a power of two");
        for (int shift = 1; shift < WIDTH; shift *= 2)
            mask |= mask >> shift;
        if constexpr (WIDTH == 8 && sizeof(LaneMask) == 8) {
            // Bit 8i goes to bit 56 + i; nothing else reaches bits 56..63.
            return static_cast<uint32_t>((mask & 0x0101010101010101u) * 0x0102040810204080u >> 56);
        } else {
            uint32_t vectors = 0;
            for (int i = 0; i < VECTORS; ++i)
                vectors |= static_cast<uint32_t>(mask >> (i * (WIDTH - 1))) & (1u << i);
            return vectors;
        }
    }

    // Calls f(i, lanes) for each vector i with lanes in the mask.
    template <class F>
    static void ForEachVector(LaneMask mask, F&& f)
    {
        for (uint32_t vectors = VectorsOf(mask); vectors; vectors &= vectors - 1) {
            const int i = __builtin_ctz(vectors);
            f(i, LanesOf(mask, i));
        }
    }

    // Epochs between two checks for lanes that cannot escape. Where checks
    // keep finding none, as where every pixel escapes, they come SPARSE times
    // rarer; a lane that cannot escape may then run up to SPARSE - 1 epochs
    // longer, and finding one brings the checks back to every epoch. Inside
    // points and low limits keep them there.
    int CheckEvery() const { return quietChecks_ >= QUIET_CHECKS ? SPARSE : 1; }

    // The lanes of vector i whose z repeats or whose counter has run out, at
    // the end of an epoch. Saves z for the repetition check where a lane's
    // steps reached its next save point.
    unsigned CannotEscape(int i, V u, V v)
    {
        const int first = i * WIDTH;
        const V steps = Vec::Sub(Vec::Set(double(blocks_) * BLOCK), Vec::Load(origin_ + first));
        // A lane that took its pixel after the last block holds z = 0 = saved z.
        const auto started = Vec::AtLeast(steps, Vec::Set(BLOCK));
        const auto repeated =
            Vec::And(started, Vec::And(Vec::SameBits(u, Vec::Load(savedU_ + first)),
                                       Vec::SameBits(v, Vec::Load(savedV_ + first))));
        const auto outOfCount = Vec::AtLeast(steps, Vec::Set(job_.iterLimit - 1));

        const auto save = Vec::AtLeast(steps, Vec::Load(nextSave_ + first));
        Vec::StoreWhere(save, savedU_ + first, u);
        Vec::StoreWhere(save, savedV_ + first, v);
        Vec::StoreWhere(save, nextSave_ + first, Vec::Add(steps, steps));
        return Vec::Bits(Vec::Or(repeated, outOfCount));
    }

    // Unsafe lanes cannot tell an escape from the end of a block: each waits
    // for the replay of the block it just ran, which runs now, a half at a
    // time. Those that escaped in it, or cannot escape any more, take the
    // next pixel.
    void SettleWaitingLanes()
    {
        const int slot = static_cast<int>((blocks_ - 1) % EPOCH);
        ForEachVector(waiting_, [&](int i, unsigned lanes) {
            Enqueue(i, lanes, lanes, slot, FIRST_HALF);
        });
        LaneMask escaped = ReplayQueue();
        ForEachVector(waiting_ & ~escaped, [&](int i, unsigned lanes) {
            Enqueue(i, lanes, lanes, slot, SECOND_HALF);
        });
        escaped |= ReplayQueue();
        const LaneMask finished = waitingFinished_ & ~escaped;
        waiting_ = waitingFinished_ = 0;
        FinishLanes(finished);
        ForEachVector(escaped | finished, [&](int i, unsigned lanes) {
            Refill(i, lanes);
            const auto renewed = Vec::FromBits(lanes);
            const V zero = Vec::Set(0.0);
            Vec::StoreWhere(renewed, u_ + i * WIDTH, zero);
            Vec::StoreWhere(renewed, v_ + i * WIDTH, zero);
        });
    }

    // Which half of a block to replay: the one that holds a safe lane's
    // escape, or, for an unsafe lane, the one named.
    enum Half { HALF_OF_ESCAPE, FIRST_HALF, SECOND_HALF };

    // Queues, for a replay, a half of the last block the given lanes of
    // vector i ran from the start slot; `waiting` are the lanes that wait
    // for it.
    void Enqueue(int i, unsigned lanes, unsigned waiting, int slot, Half half)
    {
        const int first = i * WIDTH;
        const auto queued = Vec::FromBits(lanes);
        const V middleU = Vec::Load(middleU_[slot] + first);
        const V middleV = Vec::Load(middleV_[slot] + first);
        const auto firstHalf =
            half == HALF_OF_ESCAPE
                ? Vec::NotBelow(Vec::Add(Vec::Mul(middleU, middleU), Vec::Mul(middleV, middleV)),
                                Vec::Set(job_.bound))
                : Vec::FromBits(half == FIRST_HALF ? ALL_LANES : 0);
        const V stepsBefore =
            Vec::Sub(Vec::Add(Vec::Set(double(StartOfBlockIn(slot)) * BLOCK),
                              Vec::Select(firstHalf, Vec::Set(0.0), Vec::Set(HALF))),
                     Vec::Load(origin_ + first));
        const V waitingLane = Vec::Select(Vec::FromBits(waiting),
                                          Vec::Load(LANE_NUMBERS.lanes + first), Vec::Set(-1.0));
        double* const fields[] = {queueStartU_, queueStartV_, queueX_, queueY_,
                                  queuePixel_, queueBlockStart_, queueWaitingLane_};
        const V values[] = {Vec::Select(firstHalf, Vec::Load(startU_[slot] + first), middleU),
                            Vec::Select(firstHalf, Vec::Load(startV_[slot] + first), middleV),
                            Vec::Load(x_ + first), Vec::Load(y_ + first),
                            Vec::Load(pixel_ + first), stepsBefore, waitingLane};
        for (int f = 0; f < 7; ++f)
            Vec::Store(fields[f] + queued_, Vec::Compress(queued, values[f]));
        queued_ += CountBits(lanes);
    }

    // Replays the queued blocks (ReplayGroup) and finishes their lanes.
    // Entries past the last queued one in a vector replay stale values nobody
    // reads. Returns the waiting lanes whose pixel is done.
    LaneMask ReplayQueue()
    {
        ReplayVectors(0, (queued_ + WIDTH - 1) / WIDTH);
        const int entries = queued_;
        queued_ = 0;
        LaneMask done = 0;
        for (int entry = 0; entry < entries; ++entry) {
            const int32_t k = queueK_[entry];
            if (k < 0)
                continue;
            job_.pixels[static_cast<ptrdiff_t>(queuePixel_[entry])] = PackColor(k, job_.colors);
            iterations_ += static_cast<uint64_t>(queueCount_[entry]);
            if (queueWaitingLane_[entry] >= 0)
                done |= LaneMask(1) << static_cast<int>(queueWaitingLane_[entry]);
        }
        return done;
    }

    // Replays `count` vectors of the queue from `first`, up to COUNT at a time,
    // so that their chains overlap.
    template <int COUNT = VECTORS>
    void ReplayVectors(int first, int count)
    {
        if constexpr (COUNT > 1) {
            if (count < COUNT)
                return ReplayVectors<COUNT - 1>(first, count);
        }
        for (; count >= COUNT; count -= COUNT, first += COUNT)
            ReplayGroup<COUNT>(first);
        if constexpr (COUNT > 1) {
            if (count > 0)
                ReplayVectors<COUNT - 1>(first, count);
        }
    }

    // Counts for each queued half block the steps before the first |z|^2 at
    // or above the bound (NaN counts as below), and from them the pixel's k
    // and pixel-iterations: that step is where the literal loop stops, unless
    // its counter ran out first. None in the half: for a safe lane the test
    // after it, at the block's middle, is the escape (only a first half can
    // show none); an unsafe lane goes on, k = -1, to its second half or to
    // the next block.
    template <int COUNT>
    void ReplayGroup(int firstVector)
    {
        const V bound = Vec::Set(job_.bound);
        const V two = Opaque(Vec::Set(2.0));
        const V zero = Vec::Set(0.0);
        const V one = Vec::Set(1.0);
        // The tests before the first that reaches the bound: the smallest
        // step whose test reaches it, HALF when none does.
        V below[COUNT], u[COUNT], v[COUNT];
        for (int i = 0; i < COUNT; ++i) {
            const int first = (firstVector + i) * WIDTH;
            u[i] = Vec::Load(queueStartU_ + first);
            v[i] = Vec::Load(queueStartV_ + first);
            below[i] = Vec::Set(HALF);
        }
        for (int step = 0; step < HALF; ++step)
            for (int i = 0; i < COUNT; ++i) {
                const int first = (firstVector + i) * WIDTH;
                const V size = Step<Vec>(ODD_VECTORS >> i & 1, u[i], v[i],
                                         Vec::Load(queueX_ + first),
                                         Vec::Load(queueY_ + first), two);
                below[i] = Vec::Select(Vec::AtLeast(size, bound),
                                       Vec::Min(below[i], Vec::Set(step)), below[i]);
            }
        const V limit = Vec::Set(job_.iterLimit);
        for (int i = 0; i < COUNT; ++i) {
            const int first = (firstVector + i) * WIDTH;
            const V escape = Vec::Add(Vec::Add(Vec::Load(queueBlockStart_ + first), below[i]), one);
            const auto counterOut = Vec::AtLeast(escape, limit);
            const auto goesOn = Vec::And(Vec::AtLeast(below[i], Vec::Set(HALF)),
                                         Vec::AtLeast(Vec::Load(queueWaitingLane_ + first), zero));
            const V k = Vec::Select(counterOut, zero, Vec::Sub(limit, escape));
            Vec::StoreInt32(queueK_ + first, Vec::Select(goesOn, Vec::Set(-1.0), k));
            Vec::StoreInt32(queueCount_ + first, Vec::Select(counterOut, limit, escape));
        }
    }

    // Lanes that cannot escape any more: k = 0, the whole limit counted.
    void FinishLanes(LaneMask lanes)
    {
        for (; lanes; lanes &= lanes - 1) {
            const int lane = __builtin_ctzll(lanes);
            job_.pixels[static_cast<ptrdiff_t>(pixel_[lane])] = black_;
            iterations_ += static_cast<uint64_t>(job_.iterLimit);
        }
    }

    // Gives the given lanes of vector i the next pixels, in lane order; their
    // caller sets z = 0. A lane left without a pixel idles at c = 0, z = 0.
    void Refill(int i, unsigned lanes)
    {
        if (pendingEnd_ - pendingNext_ < WIDTH) {
            if constexpr (TOP_UP_APART)
                TopUpPendingApart();
            else
                TopUpPending();
        }
        const int first = i * WIDTH;
        const auto renewed = Vec::FromBits(lanes);
        const int next = pendingNext_;
        const V x = Vec::Expand(renewed, Vec::Load(pendingX_ + next), Vec::Load(x_ + first));
        const V y = Vec::Expand(renewed, Vec::Load(pendingY_ + next), Vec::Load(y_ + first));
        const V pixel =
            Vec::Expand(renewed, Vec::Load(pendingPixel_ + next), Vec::Load(pixel_ + first));
        pendingNext_ += CountBits(lanes);
        Vec::Store(x_ + first, x);
        Vec::Store(y_ + first, y);
        Vec::Store(pixel_ + first, pixel);
        const V zero = Vec::Set(0.0);
        const V now = Vec::Set(double(blocks_) * BLOCK);
        Vec::StoreWhere(renewed, origin_ + first, now);
        Vec::StoreWhere(renewed, savedU_ + first, zero);
        Vec::StoreWhere(renewed, savedV_ + first, zero);
        Vec::StoreWhere(renewed, nextSave_ + first, Vec::Set(EPOCH * BLOCK));

        const unsigned hasPixel = Vec::Bits(Vec::AtLeast(pixel, zero)) & lanes;
        const V c2 = Vec::Add(Vec::Mul(x, x), Vec::Mul(y, y));
        const unsigned unsafe =
            (job_.bound >= 4.0 ? Vec::Bits(Vec::NotBelow(c2, Vec::Set(UNSAFE_C2))) : ALL_LANES) &
            hasPixel;
        SetLanes(active_, i, lanes, hasPixel);
        SetLanes(unsafe_, i, lanes, unsafe);
    }

    // TopUpPending out of the retirement: inlined there, its running sum of x
    // costs the 64-bit Windows build's AVX2 block loop registers (see
    // LaneTuningFor).
    __attribute__((noinline)) void TopUpPendingApart() { TopUpPending(); }

    // Moves the pixels not yet handed out to the front and appends the next
    // ones in row order, a row's run at a time. Past the last row it appends
    // "no pixel" (index -1, c = 0).
    void TopUpPending()
    {
        int end = 0;
        for (int next = pendingNext_; next < pendingEnd_; ++next, ++end) {
            pendingX_[end] = pendingX_[next];
            pendingY_[end] = pendingY_[next];
            pendingPixel_[end] = pendingPixel_[next];
        }
        while (end < PENDING && rowsLeft_ > 0) {
            const int run = std::min(PENDING - end, columnsLeft_);
            // The sum in a register: through memory, each add would wait
            // for the store of the one before.
            double x = nextX_;
            const double dx = job_.dx;
            for (int i = 0; i < run; ++i) {
                pendingX_[end + i] = x;
                x += dx;
                pendingY_[end + i] = nextY_;
                pendingPixel_[end + i] = nextPixel_ + i;
            }
            nextX_ = x;
            end += run;
            nextPixel_ += run;
            columnsLeft_ -= run;
            if (columnsLeft_ == 0) {
                columnsLeft_ = job_.width;
                nextX_ = job_.Xmin;
                nextY_ -= job_.dy;
                --rowsLeft_;
            }
        }
        for (; end < PENDING; ++end) {
            pendingX_[end] = pendingY_[end] = 0.0;
            pendingPixel_[end] = -1.0;
        }
        pendingNext_ = 0;
        pendingEnd_ = PENDING;
    }

    static unsigned LanesOf(LaneMask mask, int i)
    {
        return static_cast<unsigned>(mask >> (i * WIDTH)) & ALL_LANES;
    }

    static void SetLanes(LaneMask& mask, int i, unsigned lanes, unsigned values)
    {
        mask = (mask & ~(LaneMask(lanes) << (i * WIDTH))) | LaneMask(values) << (i * WIDTH);
    }

    const RegionJob job_;
    const uint32_t black_;  // the pixel word for k = 0

    // The next pixel to hand out: c as the literal loop walks the rows, x a
    // running sum from Xmin along its row, y from Ymax down the rows. Summed
    // as the pixels are handed out, so that the kernel allocates nothing.
    double nextX_;
    double nextY_;
    int32_t columnsLeft_;
    int32_t rowsLeft_;
    double nextPixel_ = 0;  // its index in the job's pixels
    // Pixels handed out ahead: c and the index in the job's pixels.
    double pendingX_[PENDING];
    double pendingY_[PENDING];
    double pendingPixel_[PENDING];
    int pendingNext_ = 0;
    int pendingEnd_ = 0;

    // Lane state, one element a lane; lane i of vector j is element j*WIDTH+i.
    // Step counts and pixel indices are doubles (exact below 2^53) to handle
    // them in vectors; an index goes back to an integer as a ptrdiff_t, which
    // holds any index of memory and converts in one instruction (an int64_t
    // takes a trip through the x87 unit in 32-bit code). For the block by
    // hand the rows are 32-byte aligned: a vector store split across cache
    // lines forwards slowly to the load that reads it back, as that block does
    // at every step. Other tunings keep the plain layout, which the 64-bit
    // Windows AVX2 path runs faster (docs/kernel.md). The iteration:
    alignas(BY_HAND ? 32 : alignof(double)) double u_[LANES] = {};
    double v_[LANES] = {};
    double x_[LANES] = {};
    double y_[LANES] = {};
    double startU_[EPOCH][LANES];  // z at the start of each block of the epoch
    double startV_[EPOCH][LANES];
    double middleU_[EPOCH][LANES];  // z at the middle of each block of the epoch
    double middleV_[EPOCH][LANES];
    double oddV_[WIDTH];  // v of the block by hand's vector 3 after odd steps
    LaneMask escapedIn_[EPOCH] = {};  // lanes that escaped in each block, not yet retired
    // The pixel:
    double pixel_[LANES] = {};  // index in the job's pixels; -1: none
    double origin_[LANES] = {};  // steps of all lanes when this one took its pixel
    // The repetition check:
    double savedU_[LANES] = {};
    double savedV_[LANES] = {};
    double nextSave_[LANES] = {};  // the lane's steps at the next save of z
    // One bit a lane:
    LaneMask active_ = 0;           // has a pixel
    LaneMask unsafe_ = 0;           // only a replay can tell an escape
    LaneMask waiting_ = 0;          // unsafe lanes waiting for their replay
    LaneMask waitingFinished_ = 0;  // of those, the ones that cannot escape any more

    // The replay queue, one entry a queued half block; WIDTH spare entries take
    // the rest of a packed vector. Zeros at first, so that the unused entries
    // of a batch replay and finish plain numbers.
    double queueStartU_[QUEUE + WIDTH] = {};
    double queueStartV_[QUEUE + WIDTH] = {};
    double queueX_[QUEUE + WIDTH] = {};
    double queueY_[QUEUE + WIDTH] = {};
    double queuePixel_[QUEUE + WIDTH];
    double queueBlockStart_[QUEUE + WIDTH] = {};   // the lane's steps before the half
    double queueWaitingLane_[QUEUE + WIDTH] = {};  // the unsafe lane that waits; -1: none
    // The replay's outcome:
    int32_t queueK_[QUEUE + WIDTH];      // the pixel's k; -1: the waiting lane goes on
    int32_t queueCount_[QUEUE + WIDTH];  // its pixel-iterations
    int queued_ = 0;

    int64_t blocks_ = 0;  // blocks every lane has run so far
    // How often the ends of epochs check for lanes that cannot escape:
    int epochsUnchecked_ = 0;
    int quietChecks_ = 0;  // checks in a row that found no such lane
    uint64_t iterations_ = 0;
};

// Whether the vector kernels have only the eight vector registers of 32-bit
// code: the 32-bit build, and the host build that models it (see CMakeLists).
#if !defined(__x86_64__) || defined(MANDEL_REGISTERS_OF_32BIT_CODE)
constexpr bool EIGHT_VECTOR_REGISTERS = true;
#else
constexpr bool EIGHT_VECTOR_REGISTERS = false;
#endif

// Vectors in flight, steps a block, blocks an epoch, whether the block loop
// is kept a function apart (RunBlocksApart), the retirement apart from it
// (RetireLanesApart) and the top-up of pending pixels apart from that
// (TopUpPendingApart), and the vectors whose steps there double on the
// multiplier, bit i for vector i (see Step).
struct LaneTuning {
    int vectors, block, epoch;
    bool blocksApart, retiringApart, topUpApart;
    unsigned doublingOnMultiplier;
};

// Every tuning of every build, in one place, each chosen by mandel-bench's
// boundary-4096 against its path's ceiling without losing the other cases
// (docs/kernel.md has the measurements and the shapes not taken). Enough
// vectors cover the step's latency; in eight registers AVX-512 holds three
// whole, SSE2 eight with z partly in stack slots and u + u on the adder, and
// AVX2 takes the four of its block by hand, which leaves its retirement to a
// function apart;
// 64-bit builds keep the top-up of pending pixels apart (the Windows AVX2
// path ran 5 % slower with it inlined; 32-bit SSE2 6 % slower apart).
constexpr LaneTuning LaneTuningFor(int width, bool eightVectorRegisters)
{
    if (eightVectorRegisters)
        return width == 8   ? LaneTuning{3, 16, 4, true, false, false, 1u}
               : width == 4 ? LaneTuning{4, 16, 4, true, true, false, 0u}
                            : LaneTuning{8, 16, 4, true, false, false, 0u};
    return width == 8   ? LaneTuning{8, 16, 4, false, false, true, ODD_VECTORS}
           : width == 4 ? LaneTuning{7, 16, 4, false, false, true, 0u}
                        : LaneTuning{6, 16, 4, false, false, true, ODD_VECTORS};
}

// The lane engine on Vec at the tuning of a build with or without only the
// eight vector registers of 32-bit code.
template <class Vec, bool EIGHT_REGISTERS>
struct Tuned {
    static constexpr LaneTuning T = LaneTuningFor(Vec::WIDTH, EIGHT_REGISTERS);
    using Kernel =
        LaneKernel<Vec, T.vectors, T.block, T.epoch, T.blocksApart, T.retiringApart,
                   T.topUpApart, T.doublingOnMultiplier>;
};
template <class Vec, bool EIGHT_REGISTERS>
using TunedLaneKernel = typename Tuned<Vec, EIGHT_REGISTERS>::Kernel;

template <class Vec>
uint64_t RunLanes(const RegionJob& job)
{
    return TunedLaneKernel<Vec, EIGHT_VECTOR_REGISTERS>(job).Run();
}

}  // namespace
