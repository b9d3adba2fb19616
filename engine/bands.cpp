// Band rendering (see bands.h).
//
// Thread rules: StartBand works out the band's plane y values on the calling
// thread, then starts one worker per share with an unnamed auto-reset event,
// as the strip renderer does; each worker takes one run of the band's
// neighbouring rows, which cost about the same, so a worker waits less for
// the others than on the whole picture's strips. A worker reads only its
// share and the band's y values and writes only its rows of the band's
// pixels, and sets its event after its last pixel; FinishBand (or the
// destructor) waits for every event, and until then the caller touches
// neither the band's pixels nor the renderer. A share whose event or thread
// cannot be created is computed on the calling thread inside StartBand.
#include "engine/bands.h"

#include <algorithm>
#include <new>

#include "engine/kernel.h"
#include "engine/threads.h"
#include "view/view_state.h"

BandRenderer::BandRenderer(double Xmin, double Ymin, double Xmax, double Ymax, int32_t width,
                           int32_t height, int32_t bandRows, BandOrder order)
    : width_(width), height_(width < 1 || height < 1 ? 0 : height), Xmin_(Xmin), Xmax_(Xmax),
      order_(order)
{
    if (height_ == 0)
        return;
    bandRows_ = std::clamp(bandRows, int32_t{1}, height_);
    bandCount_ = (height_ - 1) / bandRows_ + 1;
    stripCount_ = LayOutStrips(Xmin, Ymin, Xmax, Ymax, width, height_, nullptr, strips_);
    for (int32_t s = 0; s < stripCount_; ++s)
        if (strips_[s].rows > 0)
            stripStep_[s] = PlaneStep(strips_[s].Ymin, strips_[s].Ymax, strips_[s].rows);
    // A 32-bit vector holds fewer than 2^31 places; resize would throw
    // length_error, which callers that report a lack of memory do not expect.
    if (static_cast<size_t>(bandCount_) > bandStarts_.max_size())
        throw std::bad_alloc();
    bandStarts_.resize(static_cast<size_t>(bandCount_));
    bandY_.resize(static_cast<size_t>(bandRows_));
    bandStep_.resize(bandY_.size());

    // The running sum can only be walked down a strip, so each band's start
    // is found once here, and bands taken last row first begin where it
    // left them.
    RowPlace place = StripTop(NextStripWithRows(0));
    for (int32_t row = 0; row < height_; ++row) {
        if (row % bandRows_ == 0)
            bandStarts_[static_cast<size_t>(row / bandRows_)] = place;
        StepRow(place);
    }
}

BandRenderer::~BandRenderer()
{
    FinishBand();
}

int32_t BandRenderer::NextStripWithRows(int32_t strip) const
{
    // With more threads than rows, every strip but the last has none.
    while (strip < stripCount_ - 1 && strips_[strip].rows == 0)
        ++strip;
    return strip;
}

BandRenderer::RowPlace BandRenderer::StripTop(int32_t strip) const
{
    return {strip, 0, strips_[strip].Ymax};
}

void BandRenderer::StepRow(RowPlace& place) const
{
    if (++place.rowInStrip < strips_[place.strip].rows)
        place.y -= stripStep_[place.strip];
    else if (place.strip < stripCount_ - 1)
        place = StripTop(NextStripWithRows(place.strip + 1));
}

// The share goes to the kernel in runs of rows whose y values are one running
// sum: from the run's first y, each next one is the one before less the step.
// The kernel keeps the same sum, so every row is sampled at exactly its own y;
// a run ends where a strip does.
void BandRenderer::ComputeShare(Share& share)
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

DWORD WINAPI BandRenderer::ShareThreadProc(LPVOID argument)
{
    Share* share = static_cast<Share*>(argument);
    const HANDLE done = share->done;
    ComputeShare(*share);
    SetEvent(done);
    return 0;
}

BandRows BandRenderer::StartBand(uint32_t* pixels)
{
    if (computing_ || bandsStarted_ == bandCount_)
        return {0, 0};
    const int32_t band =
        order_ == BandOrder::FirstRowFirst ? bandsStarted_ : bandCount_ - 1 - bandsStarted_;
    ++bandsStarted_;
    const int32_t first = band * bandRows_;
    const int32_t rows = std::min(bandRows_, height_ - first);
    RowPlace place = bandStarts_[static_cast<size_t>(band)];
    for (int32_t row = 0; row < rows; ++row) {
        bandY_[row] = place.y;
        bandStep_[row] = stripStep_[place.strip];
        StepRow(place);
    }

    workers_ = threadCount < rows ? threadCount : rows;
    const int32_t shareRows = (rows + workers_ - 1) / workers_;
    for (int32_t w = 0; w < workers_; ++w) {
        Share& share = shares_[w];
        share.rowY = bandY_.data();
        share.rowStep = bandStep_.data();
        share.pixels = pixels;
        share.Xmin = Xmin_;
        share.Xmax = Xmax_;
        share.width = width_;
        share.first = w * shareRows;
        share.end = std::min(share.first + shareRows, rows);
        share.iterations = 0;
        if (!StartWorker(ShareThreadProc, &share, share.done))
            ComputeShare(share);
    }
    computing_ = true;
    return {first, rows};
}

uint64_t BandRenderer::FinishBand()
{
    if (!computing_)
        return 0;
    uint64_t iterations = 0;
    for (int32_t w = 0; w < workers_; ++w) {
        if (shares_[w].done) {
            WaitForSingleObject(shares_[w].done, INFINITE);
            CloseHandle(shares_[w].done);
        }
        iterations += shares_[w].iterations;
    }
    computing_ = false;
    return iterations;
}
