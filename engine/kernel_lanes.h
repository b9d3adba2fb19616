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
// - The lanes run BLOCK iterations between looks at them. A block records
//   every |z|^2 it computes and keeps the largest, ignoring NaN (the literal
//   loop treats NaN as below the bound). When the largest reaches the bound,
//   the first recorded value that reaches it is the literal loop's escape,
//   unless the lane's counter ran out before it.
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
    static constexpr int WIDTH = Vec::WIDTH;
    static constexpr int LANES = VECTORS * WIDTH;
    static_assert(LANES <= 32, "one mask bit a lane");
    static_assert(VECTORS % GROUP == 0, "whole groups");

    // BLOCK iterations on every lane, idle ones included; true when some lane
    // reached the bound. The vectors go through the block GROUP at a time,
    // so that a group's values fit in the registers; the processor overlaps
    // the independent groups.
    bool RunBlock()
    {
        V largestOfAll = Vec::Set(-std::numeric_limits<double>::infinity());
        for (int group = 0; group < VECTORS; group += GROUP) {
            V u[GROUP], v[GROUP], x[GROUP], y[GROUP], largest[GROUP];
            for (int i = 0; i < GROUP; ++i) {
                const int first = (group + i) * WIDTH;
                u[i] = Vec::Load(u_ + first);
                v[i] = Vec::Load(v_ + first);
                x[i] = Vec::Load(x_ + first);
                y[i] = Vec::Load(y_ + first);
                largest[i] = Vec::Set(-std::numeric_limits<double>::infinity());
            }
            for (int step = 0; step < BLOCK; ++step) {
                for (int i = 0; i < GROUP; ++i) {
                    const V uu = Vec::Mul(u[i], u[i]);
                    const V vv = Vec::Mul(v[i], v[i]);
                    const V s = Vec::Add(uu, vv);
                    Vec::Store(sizes_[step] + (group + i) * WIDTH, s);
                    largest[i] = Vec::MaxIgnoringNaN(s, largest[i]);
                    const V twoUV = Vec::Mul(Vec::Add(u[i], u[i]), v[i]);
                    u[i] = Vec::Sub(Vec::Sub(uu, vv), x[i]);
                    v[i] = Vec::Sub(twoUV, y[i]);
                }
            }
            for (int i = 0; i < GROUP; ++i) {
                const int first = (group + i) * WIDTH;
                Vec::Store(u_ + first, u[i]);
                Vec::Store(v_ + first, v[i]);
                Vec::Store(largest_ + first, largest[i]);
                largestOfAll = Vec::MaxIgnoringNaN(largest[i], largestOfAll);
            }
        }
        done_ += BLOCK;
        return Vec::Bits(Vec::AtLeast(largestOfAll, Vec::Set(job_.bound))) != 0;
    }

    // Finishes the lanes whose last block reached the bound.
    void FinishEscapedLanes()
    {
        const V bound = Vec::Set(job_.bound);
        LaneMask escaped = 0;
        for (int i = 0; i < VECTORS; ++i)
            escaped |= LaneMask(Vec::Bits(Vec::AtLeast(Vec::Load(largest_ + i * WIDTH), bound)))
                       << (i * WIDTH);
        for (escaped &= active_; escaped; escaped &= escaped - 1)
            FinishEscaped(__builtin_ctz(escaped));
    }

    // The first recorded |z|^2 at or above the bound is where the literal loop
    // stops, unless its counter ran out first.
    void FinishEscaped(int lane)
    {
        const int32_t limit = limit_[lane];
        const int32_t blockStart = static_cast<int32_t>(done_ - origin_[lane]) - BLOCK;
        int step = 0;
        while (!(sizes_[step][lane] >= job_.bound))
            ++step;
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
            active_ &= ~(LaneMask(1) << lane);
            return;
        }
        active_ |= LaneMask(1) << lane;
        x_[lane] = nextX_;
        y_[lane] = nextY_;
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
    alignas(32) double largest_[LANES];       // largest |z|^2 of the last block
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

}  // namespace
