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
// - The lanes run BLOCK iterations between looks at them. A block keeps the
//   largest |z|^2 a lane saw, ignoring NaN (the literal loop treats NaN as
//   below the bound); when it reaches the bound, the lane escaped somewhere in
//   the block and its exact count comes from replaying the block with the
//   literal loop from the z saved at its start.
// - A lane whose z repeats bit for bit never escapes: from then on it computes
//   the same |z|^2 values again, all already below the bound, so the literal
//   loop runs its counter out (k = 0, iterLimit iterations). The check is
//   Brent's: z is saved after BLOCK, 2 BLOCK, 4 BLOCK ... iterations and every
//   later block end compares against it. No tolerance: equal bits only.
#pragma once

#include <cstdint>
#include <limits>

#include "engine/escape_orbit.h"
#include "engine/kernel.h"
#include "engine/kernel_paths.h"
#include "view/view_state.h"

namespace {

// Vec supplies the vector type and its operations (see kernel_avx2.cpp).
template <class Vec, int VECTORS, int BLOCK>
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
        UpdateNextEvent();
        while (active_) {
            LaneMask escaped, repeated;
            RunBlock(escaped, repeated);
            done_ += BLOCK;
            const LaneMask attention = (escaped | repeated) & active_;
            if (!attention && done_ < nextEvent_)
                continue;
            for (int lane = 0; lane < LANES; ++lane) {
                const LaneMask bit = LaneMask(1) << lane;
                if ((attention & bit) || done_ >= eventAt_[lane])
                    Attend(lane, escaped & bit, repeated & bit);
            }
            UpdateNextEvent();
        }
        return iterations_;
    }

private:
    using V = typename Vec::Type;
    using LaneMask = uint32_t;
    static constexpr int WIDTH = Vec::WIDTH;
    static constexpr int LANES = VECTORS * WIDTH;
    static_assert(LANES <= 32, "one mask bit a lane");
    static constexpr int64_t NEVER = std::numeric_limits<int64_t>::max();

    // BLOCK iterations on every lane, idle ones included; reports the lanes
    // that reached the bound and those whose z equals their saved z.
    void RunBlock(LaneMask& escaped, LaneMask& repeated)
    {
        const V bound = Vec::Set(job_.bound);
        const V below = Vec::Set(-std::numeric_limits<double>::infinity());
        V u[VECTORS], v[VECTORS], x[VECTORS], y[VECTORS], largest[VECTORS];
        for (int i = 0; i < VECTORS; ++i) {
            u[i] = Vec::Load(u_ + i * WIDTH);
            v[i] = Vec::Load(v_ + i * WIDTH);
            x[i] = Vec::Load(x_ + i * WIDTH);
            y[i] = Vec::Load(y_ + i * WIDTH);
            Vec::Store(blockStartU_ + i * WIDTH, u[i]);
            Vec::Store(blockStartV_ + i * WIDTH, v[i]);
            largest[i] = below;
        }
        for (int step = 0; step < BLOCK; ++step) {
            for (int i = 0; i < VECTORS; ++i) {
                const V uu = Vec::Mul(u[i], u[i]);
                const V vv = Vec::Mul(v[i], v[i]);
                largest[i] = Vec::MaxIgnoringNaN(Vec::Add(uu, vv), largest[i]);
                const V twoUV = Vec::Mul(Vec::Add(u[i], u[i]), v[i]);
                u[i] = Vec::Sub(Vec::Sub(uu, vv), x[i]);
                v[i] = Vec::Sub(twoUV, y[i]);
            }
        }
        escaped = 0;
        repeated = 0;
        for (int i = 0; i < VECTORS; ++i) {
            Vec::Store(u_ + i * WIDTH, u[i]);
            Vec::Store(v_ + i * WIDTH, v[i]);
            const int shift = i * WIDTH;
            escaped |= LaneMask(Vec::AtLeast(largest[i], bound)) << shift;
            repeated |= LaneMask(Vec::SameBits(u[i], Vec::Load(savedU_ + shift)) &
                                 Vec::SameBits(v[i], Vec::Load(savedV_ + shift)))
                        << shift;
        }
    }

    // A lane that escaped, repeated, ran out of count or reached a save point.
    void Attend(int lane, bool escaped, bool repeated)
    {
        const int32_t limit = limit_[lane];
        const int32_t steps = static_cast<int32_t>(done_ - origin_[lane]);
        if (escaped) {
            int32_t n = limit - (steps - BLOCK);
            const int32_t k = ContinueOrbit(blockStartU_[lane], blockStartV_[lane], x_[lane],
                                            y_[lane], job_.bound, n);
            Finish(lane, k, limit - n);
        } else if (repeated || steps >= limit - 1) {
            // No escape is possible any more: the counter runs out.
            Finish(lane, 0, limit);
        } else {
            savedU_[lane] = u_[lane];
            savedV_[lane] = v_[lane];
            nextSave_[lane] = 2 * steps;
            ScheduleEvent(lane);
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
        if (rowsLeft_ == 0) {
            x_[lane] = y_[lane] = 0.0;
            active_ &= ~(LaneMask(1) << lane);
            eventAt_[lane] = NEVER;
            return;
        }
        active_ |= LaneMask(1) << lane;
        x_[lane] = nextX_;
        y_[lane] = nextY_;
        pixel_[lane] = nextPixel_++;
        limit_[lane] = currentView.iterLimit;
        origin_[lane] = done_;
        nextSave_[lane] = BLOCK;
        ScheduleEvent(lane);

        nextX_ += job_.dx;
        if (--columnsLeft_ == 0) {
            columnsLeft_ = job_.width;
            nextX_ = job_.Xmin;
            nextY_ -= job_.dy;
            --rowsLeft_;
        }
    }

    // The lane's next block end with something to do besides escape or
    // repetition: a save point, or the last iteration that could escape.
    void ScheduleEvent(int lane)
    {
        const int64_t lastChance = static_cast<int64_t>(limit_[lane]) - 1;
        eventAt_[lane] = origin_[lane] + (nextSave_[lane] < lastChance ? nextSave_[lane] : lastChance);
    }

    void UpdateNextEvent()
    {
        nextEvent_ = NEVER;
        for (int lane = 0; lane < LANES; ++lane)
            if (eventAt_[lane] < nextEvent_)
                nextEvent_ = eventAt_[lane];
    }

    const RegionJob job_;

    // The next pixel to hand out.
    double nextX_;
    double nextY_;
    int32_t columnsLeft_;
    int32_t rowsLeft_;
    uint32_t* nextPixel_;

    // Lane state, one element a lane; lane i of vector j is element j*WIDTH+i.
    alignas(32) double u_[LANES];
    alignas(32) double v_[LANES];
    alignas(32) double x_[LANES];
    alignas(32) double y_[LANES];
    alignas(32) double blockStartU_[LANES];
    alignas(32) double blockStartV_[LANES];
    alignas(32) double savedU_[LANES];
    alignas(32) double savedV_[LANES];
    uint32_t* pixel_[LANES];
    int32_t limit_[LANES];
    int64_t origin_[LANES];    // done_ when the lane took its pixel
    int64_t nextSave_[LANES];  // iterations of the lane at its next save point
    int64_t eventAt_[LANES];   // done_ at the lane's next event

    LaneMask active_ = 0;
    int64_t done_ = 0;  // iterations every lane has run so far
    int64_t nextEvent_ = NEVER;
    uint64_t iterations_ = 0;
};

}  // namespace
