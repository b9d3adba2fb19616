// Strip layout and worker threads (see strips.h).
//
// Thread rules: the window thread fills the jobs and creates one unnamed
// auto-reset event and one worker per strip that has rows, then waits for the
// events in strip order. Each worker writes only its own rows, reads only its
// own job, and sets its event after its last pixel; the jobs live on
// RenderView's stack, which outlives every worker's use of them. A strip whose
// event or thread cannot be created is computed on the window thread instead,
// so a render never waits for a strip that nobody computes.
#include "engine/strips.h"

#include "engine/kernel.h"
#include "engine/threads.h"
#include "view/view_state.h"

namespace {

HANDLE stripEvents[MAX_STRIPS];

void ComputeStrip(StripJob& job)
{
    job.iterations =
        RenderRegion(job.Xmin, job.Ymin, job.Xmax, job.Ymax, job.width, job.rows, job.pixels);
}

DWORD WINAPI StripThreadProc(LPVOID argument)
{
    StripJob* job = static_cast<StripJob*>(argument);
    const int32_t index = job->index;
    ComputeStrip(*job);
    SetEvent(stripEvents[index]);
    return 0;
}

}  // namespace

bool StartWorker(LPTHREAD_START_ROUTINE work, void* argument, HANDLE& done)
{
    done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!done)
        return false;
    DWORD threadId;
    HANDLE thread = CreateThread(nullptr, 0, work, argument, 0, &threadId);
    if (!thread) {
        CloseHandle(done);
        done = nullptr;
        return false;
    }
    CloseHandle(thread);
    return true;
}

int32_t LayOutStrips(double Xmin, double Ymin, double Xmax, double Ymax, int32_t width,
                     int32_t height, uint32_t* pixels, StripJob jobs[MAX_STRIPS])
{
    const int32_t strips = threadCount;
    const int32_t fullRows = height / strips;
    const double span = PlaneStep(Ymin, Ymax, height) * fullRows;

    double top = Ymax;
    int32_t rowOffset = 0;
    for (int32_t i = 0; i < strips; ++i) {
        const bool last = i == strips - 1;
        StripJob& job = jobs[i];
        job.Xmin = Xmin;
        job.Xmax = Xmax;
        job.Ymax = top;
        job.Ymin = last ? Ymin : top - span;
        job.width = width;
        job.rows = last ? height - rowOffset : fullRows;
        job.pixels = pixels ? pixels + static_cast<size_t>(rowOffset) * width : nullptr;
        job.index = i;
        job.iterations = 0;
        top -= span;
        rowOffset += fullRows;
    }
    return strips;
}

uint64_t RenderView(double Xmin, double Ymin, double Xmax, double Ymax,
                    int32_t width, int32_t height, uint32_t* pixels)
{
    if (width < 1 || height < 1)
        return 0;
    StripJob jobs[MAX_STRIPS];
    const int32_t strips = LayOutStrips(Xmin, Ymin, Xmax, Ymax, width, height, pixels, jobs);
    for (int32_t i = 0; i < strips; ++i) {
        stripEvents[i] = nullptr;
        if (jobs[i].rows > 0 && !StartWorker(StripThreadProc, &jobs[i], stripEvents[i]))
            ComputeStrip(jobs[i]);
    }

    uint64_t iterations = 0;
    for (int32_t i = 0; i < strips; ++i) {
        if (stripEvents[i]) {
            WaitForSingleObject(stripEvents[i], INFINITE);
            CloseHandle(stripEvents[i]);
            stripEvents[i] = nullptr;
        }
        iterations += jobs[i].iterations;
    }
    return iterations;
}
