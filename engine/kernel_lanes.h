// The lane engine of the fast kernel: keeps VECTORS x WIDTH pixels in flight
// and gives each lane the next pixel as soon as its own is finished. Included
// only by kernel_avx2.cpp and kernel_sse2.cpp, each with its own vector type;
// runs on the calling worker thread. Internal linkage throughout, so that the
// two copies, compiled for different instruction sets, never replace each
// other at link time.
//
// How the lanes stay bit-identical to the literal loop:
// - Each lane performs the literal operations in the literal order: |z|^2 =
//   u*u + v*v, u' = (u*u - v*v) - x, v' = (u+u)*v - y. Doubling is exact, so
//   u+u is 2.0*u in every case (overflow, NaN, subnormals). No fused
//   multiply-add anywhere: the build has -ffp-contract=off and never -mfma.
// - The lanes run BLOCK iterations between looks at them, with nothing but
//   the iteration in the loop. At the end of a block a lane is suspect when
//   its last z lies at or beyond the bound (or is NaN). Its vector is then
//   replayed from the z it had at the block's start, recording every |z|^2,
//   and the first recorded value that reaches the bound is the literal loop's
//   escape (NaN counts as below), unless the lane's counter ran out before it.
// - Why the end of a block shows every escape in it: for |c| < 2 - t (t well
//   above rounding) and a bound of at least 4, once |z| reaches the bound it
//   grows at every step, |z'| >= |z|^2 - |c| >= |z| + t, until it overflows to
//   infinity or NaN; rounding (a few ulps) cannot undo a margin of t. Lanes
//   without that guarantee (|c|^2 >= UNSAFE_C2, NaN c, a bound below 4) are
//   suspect at every block, so their vector is always replayed.
// - A lane whose z repeats bit for bit never escapes: from then on it computes
//   the same |z|^2 values again, all already below the bound, so the literal
//   loop runs its counter out (k = 0, iterLimit iterations). The check is
//   Brent's: z is saved at steps that at least double each time, and later
//   checks compare against it. No tolerance: equal bits only.
// - Repetition and the end of the counter are looked at every EPOCH blocks
//   only, which is cheap; a lane may run a little past its limit, which
//   changes nothing: its count is 0 whatever it computes there.
#pragma once

#include <cstdint>
#include <cstring>
#include <limits>

#include "engine/kernel.h"
#include "engine/kernel_paths.h"
#include "view/view_state.h"

namespace {

// Vec supplies the vector type and its operations (see kernel_avx2.cpp).
template <class Vec, int VECTORS, int GROUP, int BLOCK, int EPOCH>
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
        for (int64_t block = 1; active_; ++block) {
            if (RunBlock())
                FinishEscapedLanes();
            if (block % EPOCH == 0)
                FinishLanesThatCannotEscape();
        }
        return iterations_;
    }

private:
    using V = typename Vec::Type;
    using LaneMask = uint32_t;

    // |c|^2 from which the end of a block may not show an escape in it:
    // below it |c| < 1.9988, a margin far above rounding.
    static constexpr double UNSAFE_C2 = 3.995;

    static double AllOnes()
    {
        const uint64_t bits = ~uint64_t{0};
        double mask;
        std::memcpy(&mask, &bits, sizeof mask);
        return mask;
    }

    static constexpr int WIDTH = Vec::WIDTH;
    static constexpr int LANES = VECTORS * WIDTH;
    static_assert(LANES <= 32, "one mask bit a lane");
    static_assert(VECTORS % GROUP == 0, "whole groups");

    // BLOCK iterations on every lane, idle ones included; true when some lane
    // is suspect of having reached the bound. The vectors go through the block GROUP at a time,
    // so that a group's values fit in the registers; the processor overlaps
    // the independent groups.
    bool RunBlock()
    {
        const V bound = Vec::Set(job_.bound);
        V anySuspect = Vec::Set(0.0);
        for (int group = 0; group < VECTORS; group += GROUP) {
            V u[GROUP], v[GROUP], x[GROUP], y[GROUP];
            for (int i = 0; i < GROUP; ++i) {
                const int first = (group + i) * WIDTH;
                u[i] = Vec::Load(u_ + first);
                v[i] = Vec::Load(v_ + first);
                x[i] = Vec::Load(x_ + first);
                y[i] = Vec::Load(y_ + first);
                Vec::Store(startU_ + first, u[i]);
                Vec::Store(startV_ + first, v[i]);
            }
            for (int step = 0; step < BLOCK; ++step) {
                for (int i = 0; i < GROUP; ++i) {
                    const V uu = Vec::Mul(u[i], u[i]);
                    const V vv = Vec::Mul(v[i], v[i]);
                    const V twoUV = Vec::Mul(Vec::Add(u[i], u[i]), v[i]);
                    u[i] = Vec::Sub(Vec::Sub(uu, vv), x[i]);
                    v[i] = Vec::Sub(twoUV, y[i]);
                }
            }
            for (int i = 0; i < GROUP; ++i) {
                const int first = (group + i) * WIDTH;
                Vec::Store(u_ + first, u[i]);
                Vec::Store(v_ + first, v[i]);
                const V last = Vec::Add(Vec::Mul(u[i], u[i]), Vec::Mul(v[i], v[i]));
                const V suspect = Vec::Or(Vec::NotBelow(last, bound), Vec::Load(unsafe_ + first));
                Vec::Store(suspect_ + first, suspect);
                anySuspect = Vec::Or(anySuspect, suspect);
            }
        }
        done_ += BLOCK;
        return Vec::Bits(anySuspect) != 0;
    }

    // The last block of vector i again, from its start, recording |z|^2 at
    // each step: the same operations in the same order give the same values.
    void ReplayBlock(int i)
    {
        const int first = i * WIDTH;
        V u = Vec::Load(startU_ + first), v = Vec::Load(startV_ + first);
        const V x = Vec::Load(x_ + first), y = Vec::Load(y_ + first);
        for (int step = 0; step < BLOCK; ++step) {
            const V uu = Vec::Mul(u, u);
            const V vv = Vec::Mul(v, v);
            Vec::Store(sizes_[step] + first, Vec::Add(uu, vv));
            const V twoUV = Vec::Mul(Vec::Add(u, u), v);
            u = Vec::Sub(Vec::Sub(uu, vv), x);
            v = Vec::Sub(twoUV, y);
        }
    }

    // Finishes the lanes that escaped in the last block.
    void FinishEscapedLanes()
    {
        for (int i = 0; i < VECTORS; ++i) {
            const LaneMask suspects =
                (LaneMask(Vec::Bits(Vec::Load(suspect_ + i * WIDTH))) << (i * WIDTH)) & active_;
            if (!suspects)
                continue;
            ReplayBlock(i);
            for (LaneMask lanes = suspects; lanes; lanes &= lanes - 1)
                FinishIfEscaped(__builtin_ctz(lanes));
        }
    }

    // The first recorded |z|^2 at or above the bound is where the literal loop
    // stops, unless its counter ran out first. None: the lane goes on.
    void FinishIfEscaped(int lane)
    {
        const int32_t limit = limit_[lane];
        const int32_t blockStart = static_cast<int32_t>(done_ - origin_[lane]) - BLOCK;
        int step = 0;
        while (step < BLOCK && !(sizes_[step][lane] >= job_.bound))
            ++step;
        if (step == BLOCK)
            return;
        const int32_t escape = blockStart + step + 1;
        if (escape >= limit)
            Finish(lane, 0, limit);
        else
            Finish(lane, limit - escape, escape);
    }

    // Lanes whose z repeats or whose counter has run out: k = 0. Saves z for
    // the repetition check where a lane's steps reached its next save point.
    void FinishLanesThatCannotEscape()
    {
        const V done = Vec::Set(done_);
        LaneMask finished = 0;
        for (int i = 0; i < VECTORS; ++i) {
            const int first = i * WIDTH;
            const V u = Vec::Load(u_ + first), v = Vec::Load(v_ + first);
            const V savedU = Vec::Load(savedU_ + first), savedV = Vec::Load(savedV_ + first);
            const V steps = Vec::Sub(done, Vec::Load(origin_ + first));
            // A lane that took its pixel after the last block holds z = 0 = saved z.
            const V started = Vec::AtLeast(steps, Vec::Set(BLOCK));
            const V repeated = Vec::And(started, Vec::And(Vec::SameBits(u, savedU),
                                                          Vec::SameBits(v, savedV)));
            const V outOfCount = Vec::AtLeast(steps, Vec::Load(lastChance_ + first));
            finished |= LaneMask(Vec::Bits(Vec::Or(repeated, outOfCount))) << first;

            const V nextSave = Vec::Load(nextSave_ + first);
            const V save = Vec::AtLeast(steps, nextSave);
            Vec::Store(savedU_ + first, Vec::Select(save, u, savedU));
            Vec::Store(savedV_ + first, Vec::Select(save, v, savedV));
            Vec::Store(nextSave_ + first, Vec::Select(save, Vec::Add(steps, steps), nextSave));
        }
        for (finished &= active_; finished; finished &= finished - 1) {
            const int lane = __builtin_ctz(finished);
            Finish(lane, 0, limit_[lane]);
        }
    }

    void Finish(int lane, int32_t k, int32_t iterations)
    {
        *pixel_[lane] = PackColor(k, job_.colors);
        iterations_ += static_cast<uint64_t>(iterations);
        TakeNextPixel(lane);
    }

    // Starts the lane on the next pixel in row order, walking the plane as the
    // literal loop does: x a running sum restarted at Xmin every row, y a
    // running sum from Ymax. A lane without a pixel idles at c = 0, z = 0.
    void TakeNextPixel(int lane)
    {
        u_[lane] = v_[lane] = 0.0;
        savedU_[lane] = savedV_[lane] = 0.0;
        origin_[lane] = done_;
        nextSave_[lane] = EPOCH * BLOCK;
        if (rowsLeft_ == 0) {
            x_[lane] = y_[lane] = 0.0;
            lastChance_[lane] = std::numeric_limits<double>::infinity();
            unsafe_[lane] = 0.0;
            active_ &= ~(LaneMask(1) << lane);
            return;
        }
        active_ |= LaneMask(1) << lane;
        x_[lane] = nextX_;
        y_[lane] = nextY_;
        const bool safe = job_.bound >= 4.0 && nextX_ * nextX_ + nextY_ * nextY_ < UNSAFE_C2;
        unsafe_[lane] = safe ? 0.0 : AllOnes();
        pixel_[lane] = nextPixel_++;
        limit_[lane] = currentView.iterLimit;
        lastChance_[lane] = limit_[lane] - 1;

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
    alignas(32) double u_[LANES];
    alignas(32) double v_[LANES];
    alignas(32) double x_[LANES];
    alignas(32) double y_[LANES];
    alignas(32) double startU_[LANES];        // z at the start of the last block
    alignas(32) double startV_[LANES];
    alignas(32) double suspect_[LANES];       // all ones: may have escaped in the last block
    alignas(32) double unsafe_[LANES];        // all ones: only a replay can tell an escape
    alignas(32) double savedU_[LANES];
    alignas(32) double savedV_[LANES];
    alignas(32) double origin_[LANES];        // done_ when the lane took its pixel
    alignas(32) double nextSave_[LANES];      // steps at the next save of z
    alignas(32) double lastChance_[LANES];    // the last step that can escape
    alignas(32) double sizes_[BLOCK][LANES];  // |z|^2 at each step of the last block
    uint32_t* pixel_[LANES];
    int32_t limit_[LANES];

    LaneMask active_ = 0;
    double done_ = 0;  // steps every lane has run so far
    uint64_t iterations_ = 0;
};

// Vectors in flight, how many go through a block together, iterations a
// block, and blocks between the checks for repetition and the counter's end,
// as measured with mandel-bench. Four vectors cover the latency of the
// multiply-subtract chain and fit the 64-bit build's sixteen registers. The
// 32-bit build has eight: two vectors at a time fit, and short blocks let the
// processor overlap the independent groups.
#if defined(__x86_64__)
constexpr int VECTORS = 4, GROUP = 4, BLOCK = 16, EPOCH = 4;
#else
constexpr int VECTORS = 8, GROUP = 2, BLOCK = 8, EPOCH = 8;
#endif

template <class Vec>
uint64_t RunLanes(const RegionJob& job)
{
    return LaneKernel<Vec, VECTORS, GROUP, BLOCK, EPOCH>(job).Run();
}

}  // namespace
