// Band rendering (see bands.h).
//
// Thread rules: RenderNextBand works out the band's plane y values on the
// calling thread, then starts one worker per share with an unnamed auto-reset
// event, as the strip renderer does; each worker takes one run of the band's
// neighbouring rows, which cost about the same, so a worker waits less for
// the others than on the whole picture's strips. A worker
// reads only its share and the band's y values and writes only its rows, and
// sets its event after its last pixel; the caller waits for every event
// before it returns. A share whose event or thread cannot be created is
// computed on the calling thread.
#include "engine/bands.h"

#include <algorithm>

#include "engine/kernel.h"
#include "engine/threads.h"
#include "view/view_state.h"

namespace {

struct BandShare {
    const double* rowY;     // the band's y values, one a row
    const double* rowStep;  // the step of each row's strip
    uint32_t* pixels;       // the band's first pixel
    double Xmin, Xmax;
    int32_t width, first, end;  // the share's rows of the band
    uint64_t iterations;
    HANDLE done;
};

// The share goes to the kernel in runs of rows whose y values are one running
// sum: from the run's first y, each next one is the one before less the step.
// The kernel keeps the same sum, so every row is sampled at exactly its own y;
// a run ends where a strip does.
void ComputeShare(BandShare& share)
{
    for (int32_t start = share.first, end; start < share.end; start = end) {
        const double step = share.rowStep[start];
        double y = share.rowY[start];
        for (end = start + 1; end < share.end; ++end) {
            y -= step;
            if (share.rowY[end] != y || share.rowStep[end] != step)
                break;
        }
        share.iterations += RenderRows(share.Xmin, share.Xmax, share.rowY[start], step,
                                       share.width, end - start,
                                       share.pixels + static_cast<size_t>(start) * share.width);
    }
}

DWORD WINAPI ShareThreadProc(LPVOID argument)
{
    BandShare* share = static_cast<BandShare*>(argument);
    const HANDLE done = share->done;
    ComputeShare(*share);
    SetEvent(done);
    return 0;
}

}  // namespace

BandRenderer::BandRenderer(double Xmin, double Ymin, double Xmax, double Ymax, int32_t width,
                           int32_t height, uint32_t* pixels, int32_t bandRows)
    : width_(width), height_(width < 1 || height < 1 ? 0 : height), pixels_(pixels), Xmin_(Xmin),
      Xmax_(Xmax),
      bandY_(static_cast<size_t>(bandRows < 1 ? 1 : bandRows)), bandStep_(bandY_.size())
{
    stripCount_ = LayOutStrips(Xmin, Ymin, Xmax, Ymax, width, height, pixels, strips_);
    EnterStrip(NextStripWithRows(0));
}

int32_t BandRenderer::NextStripWithRows(int32_t strip) const
{
    // With more threads than rows, every strip but the last has none.
    while (strip < stripCount_ - 1 && strips_[strip].rows == 0)
        ++strip;
    return strip;
}

void BandRenderer::EnterStrip(int32_t strip)
{
    strip_ = strip;
    rowInStrip_ = 0;
    rowY_ = strips_[strip].Ymax;
    stripStep_ = PlaneStep(strips_[strip].Ymin, strips_[strip].Ymax, strips_[strip].rows);
}

void BandRenderer::StepRow()
{
    if (++rowInStrip_ < strips_[strip_].rows)
        rowY_ -= stripStep_;
    else if (strip_ < stripCount_ - 1)
        EnterStrip(NextStripWithRows(strip_ + 1));
}

uint64_t BandRenderer::RenderNextBand()
{
    const int32_t remaining = height_ - rowsDone_;
    const int32_t rows = remaining < static_cast<int32_t>(bandY_.size())
                             ? remaining
                             : static_cast<int32_t>(bandY_.size());
    if (rows <= 0)
        return 0;
    for (int32_t row = 0; row < rows; ++row) {
        bandY_[row] = rowY_;
        bandStep_[row] = stripStep_;
        StepRow();
    }

    const int32_t workers = threadCount < rows ? threadCount : rows;
    const int32_t shareRows = (rows + workers - 1) / workers;
    BandShare shares[MAX_STRIPS];
    for (int32_t w = 0; w < workers; ++w) {
        BandShare& share = shares[w];
        share.rowY = bandY_.data();
        share.rowStep = bandStep_.data();
        share.pixels = pixels_ + static_cast<size_t>(rowsDone_) * width_;
        share.Xmin = Xmin_;
        share.Xmax = Xmax_;
        share.width = width_;
        share.first = w * shareRows;
        share.end = std::min(share.first + shareRows, rows);
        share.iterations = 0;
        if (!StartWorker(ShareThreadProc, &share, share.done))
            ComputeShare(share);
    }
    uint64_t iterations = 0;
    for (int32_t w = 0; w < workers; ++w) {
        if (shares[w].done) {
            WaitForSingleObject(shares[w].done, INFINITE);
            CloseHandle(shares[w].done);
        }
        iterations += shares[w].iterations;
    }
    rowsDone_ += rows;
    return iterations;
}
