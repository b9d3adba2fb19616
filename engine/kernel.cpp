// RenderRegion's choice of vector kernel (see kernel.h).
// The choice is made once at start-up; tests and mandel-bench change it
// between renders, so worker threads only ever read it.
#include "engine/kernel.h"

#include "engine/kernel_paths.h"

#include "view/view_state.h"

namespace {

// __builtin_cpu_supports is also false when the system does not save the
// path's registers (XGETBV: the upper halves of ymm for AVX2, the opmask and
// zmm state for AVX-512); the explicit init makes the answers valid during
// static initialisation.
bool ProcessorHasAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

bool ProcessorHasAvx512()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
}

const bool avx2Available = ProcessorHasAvx2();
const bool avx512Available = ProcessorHasAvx512();
KernelPath selectedPath = avx512Available ? KernelPath::Avx512
                          : avx2Available ? KernelPath::Avx2
                                          : KernelPath::Sse2;

}  // namespace

bool IsKernelPathAvailable(KernelPath path)
{
    switch (path) {
    case KernelPath::Avx512:
        return avx512Available;
    case KernelPath::Avx2:
        return avx2Available;
    default:
        return true;
    }
}

bool SelectKernelPath(KernelPath path)
{
    if (!IsKernelPathAvailable(path))
        return false;
    selectedPath = path;
    return true;
}

KernelPath SelectedKernelPath()
{
    return selectedPath;
}

uint64_t RunCeilingLoop(KernelPath path, int vectors, int doubling, int32_t steps)
{
    if (!IsKernelPathAvailable(path) || vectors < 1 || vectors > MAX_CEILING_VECTORS)
        return 0;
    switch (path) {
    case KernelPath::Avx512:
        return RunCeilingLoopAvx512(vectors, doubling, steps);
    case KernelPath::Avx2:
        return RunCeilingLoopAvx2(vectors, doubling, steps);
    case KernelPath::Sse2:
        return RunCeilingLoopSse2(vectors, doubling, steps);
    default:
        return 0;
    }
}

RegionJob MakeRegionJob(double Xmin, double Xmax, double yTop, double dy, int32_t width,
                        int32_t rows, uint32_t* pixels)
{
    RegionJob job;
    job.Xmin = Xmin;
    job.Ymax = yTop;
    job.dx = PlaneStep(Xmin, Xmax, width);
    job.dy = dy;
    job.bound = escapeBound;
    job.colors = currentView.colorCount;
    job.iterLimit = currentView.iterLimit;
    job.width = width;
    job.rows = rows;
    job.pixels = pixels;
    return job;
}

uint64_t RenderRegion(double Xmin, double Ymin, double Xmax, double Ymax,
                      int32_t width, int32_t rows, uint32_t* pixels)
{
    if (width < 1 || rows < 1)
        return 0;
    return RenderRows(Xmin, Xmax, Ymax, PlaneStep(Ymin, Ymax, rows), width, rows, pixels);
}

uint64_t RenderRows(double Xmin, double Xmax, double yTop, double dy,
                    int32_t width, int32_t rows, uint32_t* pixels)
{
    if (selectedPath == KernelPath::Reference)
        return RenderRowsReference(Xmin, Xmax, yTop, dy, width, rows, pixels);
    if (width < 1 || rows < 1)
        return 0;
    const RegionJob job = MakeRegionJob(Xmin, Xmax, yTop, dy, width, rows, pixels);
    switch (selectedPath) {
    case KernelPath::Avx512:
        return RenderRegionAvx512(job);
    case KernelPath::Avx2:
        return RenderRegionAvx2(job);
    default:
        return RenderRegionSse2(job);
    }
}
