// mandel-render: renders one view to a Windows bitmap file (or a PNG file),
// for scripts and for checking and timing the engine without a window. Computes
// the viewer's pixels a band of rows at a time and writes each band to the
// file while the next is computed, so that a picture of any size the file
// can hold needs little more memory than two bands of rows (and where each
// band begins, 16 bytes a band), and a terminal can show the progress. The file is the viewer's bitmap file, or a PNG. It is created
// before the render, so a bad path costs no time, and reaches its name only
// complete: an interrupt removes it.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "engine/bands.h"
#include "image/bitmap_file.h"
#include "image/png_file.h"
#include "image/replacing_file.h"
#include "tools/progress_line.h"
#include "view/decimal_text.h"
#include "view/geometry.h"
#include "view/view_state.h"

namespace {

// Rows per band: about a million pixels, so that starting a band's workers
// and the kernel's last lanes in each worker's share cost little beside
// computing it, and a long render still shows progress often; and at least
// a row a thread, since a band's rows are what its workers share.
constexpr int32_t BAND_PIXELS = 1 << 20;

const char USAGE[] =
    "usage: mandel-render [--bounds XMIN XMAX YMIN YMAX] [--size WIDTH HEIGHT]\n"
    "                     [--iterations 64|512|4096|32768] [--colors 64|512|4096|32768]\n"
    "                     [--threads 1|2|4|8] [--quiet] --output FILE.bmp|FILE.png\n"
    "       mandel-render --version\n"
    "Without --bounds the default view is fitted to the size, keeping its Y span.\n"
    "The output is a 32-bit Windows bitmap, or an RGB PNG when its name ends in .png.\n"
    "On a terminal a progress line shows while rendering; --quiet leaves it out.\n";

enum class OutputFormat { Bitmap, Png };

struct Options {
    bool haveBounds = false;
    double bounds[4] = {};
    long width = 1920, height = 1080;
    long iterations = 64, colors = 64, threads = 1;
    const char* output = nullptr;
    OutputFormat format = OutputFormat::Bitmap;
    bool quiet = false;
};

[[noreturn]] void Fail(const std::string& message)
{
    std::fprintf(stderr, "mandel-render: %s\n%s", message.c_str(), USAGE);
    std::exit(2);
}

// Whole numbers follow the bounds' rule: an optional sign, then digits, and
// no blanks anywhere.
bool ParseLong(const char* text, long& value)
{
    const char* digits = text + (*text == '+' || *text == '-');
    if (!std::isdigit(static_cast<unsigned char>(*digits)))
        return false;
    char* end;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return *end == '\0' && errno == 0;
}

// Whether all that was printed reached standard output: a text that cannot
// be written (a full disk, a closed output) is a failure.
bool PrintedToStandardOutput()
{
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

// --help and --version, whose text must reach standard output as the report's.
[[noreturn]] void ExitAfterPrinting()
{
    if (!PrintedToStandardOutput()) {
        std::fprintf(stderr, "mandel-render: cannot write to standard output: %s\n",
                     std::strerror(errno));
        std::exit(1);
    }
    std::exit(0);
}

long ParseChoice(const char* option, const char* text, std::initializer_list<long> allowed)
{
    long value;
    if (ParseLong(text, value))
        for (long choice : allowed)
            if (value == choice)
                return value;
    Fail(std::string("bad value for ") + option + ": '" + text + "'");
}

// By the output name's extension, in any case; a name without one is a
// bitmap, and any other extension is refused. "." and ".." name folders,
// which the file refuses as such.
OutputFormat FormatOf(const std::string& output)
{
    const std::string name = output.substr(FileNameStart(output));
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || name == "." || name == "..")
        return OutputFormat::Bitmap;
    std::string extension = name.substr(dot + 1);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == "bmp")
        return OutputFormat::Bitmap;
    if (extension == "png")
        return OutputFormat::Png;
    Fail("unknown output format '." + name.substr(dot + 1) + "' (use .bmp or .png)");
}

// The arguments outlive the options, which point into them.
Options ParseOptions(const std::vector<std::string>& arguments)
{
    Options options;
    const int argc = static_cast<int>(arguments.size());
    for (int i = 1; i < argc; ++i) {
        const std::string& option = arguments[i];
        auto value = [&](int offset) -> const char* {
            if (i + offset >= argc)
                Fail("missing value for " + option);
            return arguments[i + offset].c_str();
        };
        if (option == "--help" || option == "-h") {
            std::fputs(USAGE, stdout);
            ExitAfterPrinting();
        } else if (option == "--version") {
            std::printf("mandel-render %s\n", MANDEL_VERSION);
            ExitAfterPrinting();
        } else if (option == "--bounds") {
            value(4);  // all four are there before any is read
            for (int b = 0; b < 4; ++b) {
                const char* text = value(b + 1);
                const std::optional<double> bound = ReadFiniteDecimal(text);
                if (!bound)
                    Fail("bad value for --bounds: '" + std::string(text) +
                         "' (not a finite decimal number within the range of doubles)");
                options.bounds[b] = *bound;
            }
            options.haveBounds = true;
            i += 4;
        } else if (option == "--size") {
            const char* width = value(1);
            const char* height = value(2);
            if (!ParseLong(width, options.width) || !ParseLong(height, options.height) ||
                !PngFileCanHold(options.width, options.height))
                Fail("bad value for --size: '" + std::string(width) + " " + height +
                     "' (each side from 1 to 2147483647)");
            i += 2;
        } else if (option == "--iterations") {
            options.iterations = ParseChoice("--iterations", value(1), {64, 512, 4096, 32768});
            ++i;
        } else if (option == "--colors") {
            options.colors = ParseChoice("--colors", value(1), {64, 512, 4096, 32768});
            ++i;
        } else if (option == "--threads") {
            options.threads = ParseChoice("--threads", value(1), {1, 2, 4, 8});
            ++i;
        } else if (option == "--quiet") {
            options.quiet = true;
        } else if (option == "--output") {
            options.output = value(1);
            if (!*options.output)
                Fail("--output needs a file name");
            ++i;
        } else {
            Fail("unknown option '" + option + "'");
        }
    }
    if (!options.output)
        Fail("--output FILE.bmp is required");
    options.format = FormatOf(options.output);
    if (options.format == OutputFormat::Bitmap &&
        !BitmapFileCanHold(options.width, options.height))
        Fail("bad value for --size: '" + std::to_string(options.width) + " " +
             std::to_string(options.height) +
             "' (a bitmap file holds less than 4 GiB of pixels; a .png holds more)");
    return options;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::optional<std::vector<std::string>> arguments = FileNameArguments(argc, argv);
    if (!arguments)
        Fail("an argument is not valid text");
    const Options options = ParseOptions(*arguments);
    RemoveTemporaryFileOnInterrupt();
    const int32_t width = static_cast<int32_t>(options.width);
    const int32_t height = static_cast<int32_t>(options.height);

    currentView.colorCount = static_cast<int32_t>(options.colors);
    currentView.iterLimit = static_cast<int32_t>(options.iterations);
    threadCount = static_cast<int32_t>(options.threads);
    if (options.haveBounds) {
        currentView.Xmin = options.bounds[0];
        currentView.Xmax = options.bounds[1];
        currentView.Ymin = options.bounds[2];
        currentView.Ymax = options.bounds[3];
    } else {
        FitViewToAspect(width, height, true);
    }

    ReplacingFile output(options.output);
    if (!output.IsOpen()) {
        std::fprintf(stderr, "mandel-render: cannot create '%s': %s\n", options.output,
                     output.Error().c_str());
        return 1;
    }

    const FractalView& v = currentView;
    const bool png = options.format == OutputFormat::Png;
    // Everything the render holds is had before it starts, so that a lack of
    // memory is told at once: where each band begins, two bands' pixels,
    // which the workers and the file take in turn, and the encoder's state.
    std::optional<BandRenderer> bands;
    std::vector<uint32_t> bandPixels[2];
    std::optional<PngFileWriter> pngWriter;
    std::optional<BitmapFileWriter> bitmapWriter;
    try {
        bands.emplace(v.Xmin, v.Ymin, v.Xmax, v.Ymax, width, height,
                      std::max(BAND_PIXELS / width, threadCount),
                      png ? BandOrder::LastRowFirst : BandOrder::FirstRowFirst);
        const uint64_t bandWords = static_cast<uint64_t>(width) * bands->MaxBandRows();
        for (std::vector<uint32_t>& band : bandPixels) {
            if (bandWords > band.max_size())
                throw std::bad_alloc();
            band.resize(static_cast<size_t>(bandWords));
        }
        if (png)
            pngWriter.emplace(output, width, height);
        else
            bitmapWriter.emplace(output, width, height);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr,
                     "mandel-render: not enough memory to render %dx%d pixels in bands; no file "
                     "was changed\n",
                     width, height);
        return 1;
    }
    auto writeRows = [&](const uint32_t* rows, int32_t count) {
        return png ? pngWriter->WriteRows(rows, count) : bitmapWriter->WriteRows(rows, count);
    };

    // The bands come in the order the file takes its rows. While one goes
    // out, the workers compute the next into the other band's pixels.
    ProgressLine progress(!options.quiet);
    const auto start = std::chrono::steady_clock::now();
    int current = 0;
    BandRows rows = bands->StartBand(bandPixels[current].data());
    uint64_t iterations = bands->FinishBand();
    int32_t rowsWritten = 0;
    bool written = true;
    while (written && rows.count > 0) {
        const BandRows next = bands->StartBand(bandPixels[1 - current].data());
        written = writeRows(bandPixels[current].data(), rows.count);
        iterations += bands->FinishBand();
        rowsWritten += rows.count;
        progress.Update(rowsWritten, height);
        rows = next;
        current = 1 - current;
    }
    written = written && (png ? pngWriter->Finish() : bitmapWriter->Finish());
    progress.Clear();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!written) {
        const std::string reason = output.Error().empty() ? "" : ": " + output.Error();
        std::fprintf(stderr, "mandel-render: could not write '%s'%s; %s\n", options.output,
                     reason.c_str(),
                     output.WroteInPlace() ? "part of the image went out to it" : "no file was changed");
        return 1;
    }

    std::printf("bounds %.17g %.17g %.17g %.17g size %dx%d time %.3f s %.3f G pixel-iterations/s\n",
                v.Xmin, v.Xmax, v.Ymin, v.Ymax, width, height, seconds,
                seconds > 0 ? iterations / seconds / 1e9 : 0.0);
    if (!PrintedToStandardOutput()) {
        std::fprintf(stderr, "mandel-render: wrote '%s', but could not write the report: %s\n",
                     options.output, std::strerror(errno));
        return 1;
    }
    return 0;
}
