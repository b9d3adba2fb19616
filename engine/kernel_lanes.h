// The lane engine of the fast kernel: keeps VECTORS x WIDTH pixels in flight
// and gives each lane the next pixel as soon as its own is finished. Included
// only by the vector kernels (kernel_sse2.cpp, kernel_avx2.cpp,
// kernel_avx512.cpp), each with its own vector type (see kernel_step.h); runs
// on the calling worker thread and reads nothing but its job.
//
// One lane's life, as scalar code:
//     take the next pixel c; z = 0
//     repeat: BLOCK steps of z = z^2 - c, nothing else
//             |z|^2 >= bound at the block's end?  queue (z at the block's
//                 start, c) for a replay; take the next pixel
//             every EPOCH blocks: z equal to a saved z, or the counter out?
//                 k = 0; take the next pixel
//     later, for a batch of queued lanes at once: the block again from its
//     saved start, counting the steps before |z|^2 reaches the bound; that
//     gives the escape
//
// What keeps it near the step's own speed (see mandel-bench's ceiling): z of
// every vector stays in registers while no lane needs anything (RunBlocks);
// enough independent vectors cover the step's latency; the doubling
// alternates between adder and multiplier (Step); escaped lanes are refilled
// at once and their blocks replayed later, many vectors together, so no lane
// waits on a replay's latency (QueueSuspects, ReplayQueue).
//
// Why the result is the literal loop's, bit for bit:
// - Step (kernel_step.h) performs the literal operations in the literal order.
// - The end of a block shows every escape in it (RunBlocks): for |c| < 2 - t
//   (t well above rounding) and a bound of at least 4, once |z| reaches the
//   bound it grows at every step, |z'| >= |z|^2 - |c| >= |z| + t, until it
//   overflows to infinity or NaN; rounding (a few ulps) cannot undo a margin
//   of t. So a lane whose |z|^2 at the block's last test is at or beyond the
//   bound (or NaN) has escaped at one of that block's steps, and at no
//   earlier block's.
// - Lanes without that guarantee (|c|^2 >= UNSAFE_C2, NaN c, a bound below 4)
//   are suspect at every block: they keep their pixel and are replayed at once
//   (QueueSuspects); one without a recorded escape goes on.
// - The replay (ReplayQueue) repeats the same operations in the same order
//   from the same z and so computes the same |z|^2 values; the first that
//   reaches the bound (NaN counts as below) is the literal loop's escape,
//   unless the lane's counter ran out before it (FinishReplayed).
// - A lane whose z repeats bit for bit never escapes: from then on it computes
//   the same |z|^2 values again, all already below the bound, so the literal
//   loop runs its counter out (k = 0, iterLimit iterations). The check is
//   Brent's: z is saved at steps that at least double each time, and later
//   checks compare against it. No tolerance: equal bits only (CannotEscape).
// - Repetition and the end of the counter are looked at every EPOCH blocks
//   only, which is cheap; a lane may run a little past its limit, which
//   changes nothing: its count is 0 whatever it computes there.
#pragma once

#include <cstdint>

#include "engine/kernel.h"
#include "engine/kernel_paths.h"
#include "engine/kernel_step.h"

namespace {

template <class Vec, int VECTORS, int BLOCK, int EPOCH>
class LaneKernel {
public:
    explicit LaneKernel(const RegionJob& job)
        : job_(job), nextX_(job.Xmin), nextY_(job.Ymax), columnsLeft_(job.width),
          rowsLeft_(job.rows), nextPixel_(job.pixels)
    {
    }

    // Computes every pixel of the job; returns the pixel-iterations of the
    // literal loop.
    uint64_t Run()
    {
        for (int lane = 0; lane < LANES; ++lane)
            TakeNextPixel(lane);
        while (active_) {
            LaneMask cannotEscape = 0;
            const LaneMask suspects = RunBlocks(cannotEscape);
            const LaneMask renewed = suspects ? QueueSuspects(suspects) : 0;
            FinishLanesThatCannotEscape(cannotEscape & ~renewed);
        }
        ReplayQueue();
        return iterations_;
    }

private:
    using V = typename Vec::Type;
    using LaneMask = uint64_t;

    static constexpr int WIDTH = Vec::WIDTH;
    static constexpr int LANES = VECTORS * WIDTH;
    static_assert(LANES <= 64, "one mask bit a lane");
    // Queued lanes are replayed VECTORS at a time, like the blocks; the queue
    // holds two such batches, and is replayed once it holds more than one.
    static constexpr int QUEUE = 2 * LANES;

    // |c|^2 from which the end of a block may not show an escape in it:
    // below it |c| < 1.9988, a margin far above rounding.
    static constexpr double UNSAFE_C2 = 3.995;

    // Runs blocks of BLOCK steps on every lane, idle ones included, with z in
    // registers, until some lane is suspect of having reached the bound or,
    // at the end of an epoch, cannot escape any more. Returns the suspects.
    LaneMask RunBlocks(LaneMask& cannotEscape)
    {
        const V bound = Vec::Set(job_.bound);
        const V two = Opaque(Vec::Set(2.0));
        V u[VECTORS], v[VECTORS];
        for (int i = 0; i < VECTORS; ++i) {
            u[i] = Vec::Load(u_ + i * WIDTH);
            v[i] = Vec::Load(v_ + i * WIDTH);
        }
        LaneMask suspects;
        do {
            for (int i = 0; i < VECTORS; ++i) {
                Vec::Store(startU_ + i * WIDTH, u[i]);
                Vec::Store(startV_ + i * WIDTH, v[i]);
            }
            for (int step = 0; step < BLOCK - 1; ++step)
                for (int i = 0; i < VECTORS; ++i)
                    Step<Vec>(i, u[i], v[i], Vec::Load(x_ + i * WIDTH), Vec::Load(y_ + i * WIDTH),
                              two);
            // The last step's |z|^2 is the block's last test; its u*u and v*v
            // are the step's own.
            suspects = unsafe_;
            for (int i = 0; i < VECTORS; ++i) {
                const V size = Step<Vec>(i, u[i], v[i], Vec::Load(x_ + i * WIDTH),
                                         Vec::Load(y_ + i * WIDTH), two);
                suspects |= LaneMask(Vec::Bits(Vec::NotBelow(size, bound))) << (i * WIDTH);
            }
            suspects &= active_;
            if (++blocks_ % EPOCH == 0)
                for (int i = 0; i < VECTORS; ++i)
                    cannotEscape |= LaneMask(CannotEscape(i, u[i], v[i])) << (i * WIDTH);
            cannotEscape &= active_;
        } while (!suspects && !cannotEscape);
        for (int i = 0; i < VECTORS; ++i) {
            Vec::Store(u_ + i * WIDTH, u[i]);
            Vec::Store(v_ + i * WIDTH, v[i]);
        }
        return suspects;
    }

    // The lanes of vector i whose z repeats or whose counter has run out, at
    // the end of an epoch. Saves z for the repetition check where a lane's
    // steps reached its next save point.
    unsigned CannotEscape(int i, V u, V v)
    {
        const int first = i * WIDTH;
        const V savedU = Vec::Load(savedU_ + first), savedV = Vec::Load(savedV_ + first);
        const V steps = Vec::Sub(Vec::Set(double(blocks_) * BLOCK), Vec::Load(origin_ + first));
        // A lane that took its pixel after the last block holds z = 0 = saved z.
        const auto started = Vec::AtLeast(steps, Vec::Set(BLOCK));
        const auto repeated =
            Vec::And(started, Vec::And(Vec::SameBits(u, savedU), Vec::SameBits(v, savedV)));
        const auto outOfCount = Vec::AtLeast(steps, Vec::Set(job_.iterLimit - 1));

        const V nextSave = Vec::Load(nextSave_ + first);
        const auto save = Vec::AtLeast(steps, nextSave);
        Vec::Store(savedU_ + first, Vec::Select(save, u, savedU));
        Vec::Store(savedV_ + first, Vec::Select(save, v, savedV));
        Vec::Store(nextSave_ + first, Vec::Select(save, Vec::Add(steps, steps), nextSave));
        return Vec::Bits(Vec::Or(repeated, outOfCount));
    }

    // Queues each suspect lane's last block for a replay. A safe lane has
    // certainly escaped and takes its next pixel at once; an unsafe one
    // waits for the replay, which then runs at once. Returns the lanes that
    // took a new pixel.
    LaneMask QueueSuspects(LaneMask suspects)
    {
        const LaneMask waiting = suspects & unsafe_;
        LaneMask renewed = suspects & ~waiting;
        for (; suspects; suspects &= suspects - 1) {
            const int lane = __builtin_ctzll(suspects);
            const bool waits = waiting >> lane & 1;
            const int entry = queued_++;
            queueStartU_[entry] = startU_[lane];
            queueStartV_[entry] = startV_[lane];
            queueX_[entry] = x_[lane];
            queueY_[entry] = y_[lane];
            queueBlockStart_[entry] = StepsOf(lane) - BLOCK;
            queuePixel_[entry] = pixel_[lane];
            queueWaitingLane_[entry] = waits ? lane : -1;
            if (!waits)
                TakeNextPixel(lane);
        }
        if (waiting || queued_ > QUEUE - LANES)
            renewed |= ReplayQueue();
        return renewed;
    }

    // Replays the queued blocks and counts for each the steps before the first
    // |z|^2 at or above the bound (NaN counts as below); then finishes the
    // lanes. Entries past the last queued one in a vector replay stale values
    // nobody reads.
    // Returns the waiting lanes that took a new pixel.
    LaneMask ReplayQueue()
    {
        ReplayVectors(0, (queued_ + WIDTH - 1) / WIDTH);
        const int entries = queued_;
        queued_ = 0;
        LaneMask renewed = 0;
        for (int entry = 0; entry < entries; ++entry)
            renewed |= FinishReplayed(entry);
        return renewed;
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

    template <int COUNT>
    void ReplayGroup(int firstVector)
    {
        const V bound = Vec::Set(job_.bound);
        const V two = Opaque(Vec::Set(2.0));
        const V one = Vec::Set(1.0);
        V u[COUNT], v[COUNT], below[COUNT];
        typename Vec::Mask reached[COUNT];
        for (int i = 0; i < COUNT; ++i) {
            const int first = (firstVector + i) * WIDTH;
            u[i] = Vec::Load(queueStartU_ + first);
            v[i] = Vec::Load(queueStartV_ + first);
            below[i] = Vec::Set(0.0);
            reached[i] = Vec::AtLeast(below[i], one);  // none
        }
        for (int step = 0; step < BLOCK; ++step)
            for (int i = 0; i < COUNT; ++i) {
                const int first = (firstVector + i) * WIDTH;
                const V size = Step<Vec>(i, u[i], v[i], Vec::Load(queueX_ + first),
                                         Vec::Load(queueY_ + first), two);
                reached[i] = Vec::Or(reached[i], Vec::AtLeast(size, bound));
                below[i] = Vec::Select(reached[i], below[i], Vec::Add(below[i], one));
            }
        for (int i = 0; i < COUNT; ++i)
            Vec::Store(queueStepsBelow_ + (firstVector + i) * WIDTH, below[i]);
    }

    // The first step at or above the bound is where the literal loop stops,
    // unless its counter ran out first. None in the block (only an unsafe
    // lane can have none): the waiting lane goes on. Returns the waiting
    // lane's bit when it took a new pixel.
    LaneMask FinishReplayed(int entry)
    {
        const int step = static_cast<int>(queueStepsBelow_[entry]);
        const int waitingLane = queueWaitingLane_[entry];
        if (step == BLOCK && waitingLane >= 0)
            return 0;
        const int32_t limit = job_.iterLimit;
        const int32_t escape = queueBlockStart_[entry] + step + 1;
        const int32_t k = escape >= limit ? 0 : limit - escape;
        *queuePixel_[entry] = PackColor(k, job_.colors);
        iterations_ += static_cast<uint64_t>(k == 0 ? limit : escape);
        if (waitingLane < 0)
            return 0;
        TakeNextPixel(waitingLane);
        return LaneMask(1) << waitingLane;
    }

    // Lanes that cannot escape any more: k = 0, the whole limit counted.
    void FinishLanesThatCannotEscape(LaneMask lanes)
    {
        for (; lanes; lanes &= lanes - 1) {
            const int lane = __builtin_ctzll(lanes);
            *pixel_[lane] = PackColor(0, job_.colors);
            iterations_ += static_cast<uint64_t>(job_.iterLimit);
            TakeNextPixel(lane);
        }
    }

    int32_t StepsOf(int lane) const
    {
        return static_cast<int32_t>(double(blocks_) * BLOCK - origin_[lane]);
    }

    // Starts the lane on the next pixel in row order, walking the plane as the
    // literal loop does: x a running sum restarted at Xmin every row, y a
    // running sum from Ymax. A lane without a pixel idles at c = 0, z = 0.
    void TakeNextPixel(int lane)
    {
        const LaneMask bit = LaneMask(1) << lane;
        u_[lane] = v_[lane] = 0.0;
        savedU_[lane] = savedV_[lane] = 0.0;
        origin_[lane] = double(blocks_) * BLOCK;
        nextSave_[lane] = EPOCH * BLOCK;
        if (rowsLeft_ == 0) {
            x_[lane] = y_[lane] = 0.0;
            active_ &= ~bit;
            unsafe_ &= ~bit;
            return;
        }
        active_ |= bit;
        x_[lane] = nextX_;
        y_[lane] = nextY_;
        const bool safe = job_.bound >= 4.0 && nextX_ * nextX_ + nextY_ * nextY_ < UNSAFE_C2;
        unsafe_ = safe ? unsafe_ & ~bit : unsafe_ | bit;
        pixel_[lane] = nextPixel_++;

        nextX_ += job_.dx;
        if (--columnsLeft_ == 0) {
            columnsLeft_ = job_.width;
            nextX_ = job_.Xmin;
            nextY_ -= job_.dy;
            --rowsLeft_;
        }
    }

    const RegionJob job_;

    // The next pixel to hand out.
    double nextX_;
    double nextY_;
    int32_t columnsLeft_;
    int32_t rowsLeft_;
    uint32_t* nextPixel_;

    // Lane state, one element a lane; lane i of vector j is element j*WIDTH+i.
    // Step counts are doubles (exact below 2^53) to compare them in vectors.
    // The iteration:
    double u_[LANES];
    double v_[LANES];
    double x_[LANES];
    double y_[LANES];
    double startU_[LANES];  // z at the start of the last block
    double startV_[LANES];
    // The pixel:
    uint32_t* pixel_[LANES];
    double origin_[LANES];  // steps of all lanes when this one took its pixel
    // The repetition check:
    double savedU_[LANES];
    double savedV_[LANES];
    double nextSave_[LANES];  // the lane's steps at the next save of z
    // One bit a lane:
    LaneMask active_ = 0;  // has a pixel
    LaneMask unsafe_ = 0;  // only a replay can tell an escape

    // The replay queue, one entry a suspect lane's block; zeros at first, so
    // that the unused entries of a batch replay plain numbers:
    double queueStartU_[QUEUE] = {};
    double queueStartV_[QUEUE] = {};
    double queueX_[QUEUE] = {};
    double queueY_[QUEUE] = {};
    int32_t queueBlockStart_[QUEUE];  // the lane's steps before the block
    uint32_t* queuePixel_[QUEUE];
    int queueWaitingLane_[QUEUE];    // the unsafe lane that waits; -1: none
    double queueStepsBelow_[QUEUE];  // steps of the block below the bound
    int queued_ = 0;

    int64_t blocks_ = 0;  // blocks every lane has run so far
    uint64_t iterations_ = 0;
};

// Vectors in flight, steps a block and blocks an epoch, measured with
// mandel-bench; a kernel file whose vectors measured otherwise specialises it.
// Enough vectors cover the latency of the u -> u*u -> -v*v -> -x chain; z of
// every vector stays in registers, and x and y come from memory where
// registers run short (16 in the 64-bit build without AVX-512, eight in the
// 32-bit build).
template <class Vec>
struct LaneTuning {
#if defined(__x86_64__)
    static constexpr int VECTORS = 6, BLOCK = 16, EPOCH = 4;
#else
    static constexpr int VECTORS = 3, BLOCK = 16, EPOCH = 4;
#endif
};

template <class Vec>
uint64_t RunLanes(const RegionJob& job)
{
    using T = LaneTuning<Vec>;
    return LaneKernel<Vec, T::VECTORS, T::BLOCK, T::EPOCH>(job).Run();
}

}  // namespace
