// mandel-render: renders one view to a Windows bitmap file (or a PNG file),
// for scripts and for checking and timing the engine without a window. Computes
// the viewer's pixels, a band of rows at a time so that a terminal can show
// the progress, and writes the same bitmap file, or a PNG. The output file is
// created before the render, so a bad path costs no time, and reaches its
// name only complete: an interrupt removes it.
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
// computing it, and a long render still shows progress often.
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

// A bound whose digits are not all zero but that reads as 0 lies below the
// smallest double, as 1e400 lies above the largest: both are refused.
bool Underflows(const char* text, double value)
{
    if (value != 0)
        return false;
    for (; *text && *text != 'e' && *text != 'E'; ++text)
        if (*text >= '1' && *text <= '9')
            return true;
    return false;
}

// --help and --version: a text that cannot be written (a full disk, a closed
// output) is a failure, as it is for the report.
[[noreturn]] void ExitAfterPrinting()
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
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
    const size_t dot = output.rfind('.');
    const std::string name = output.substr(FileNameStart(output));
    if (dot == std::string::npos || dot < FileNameStart(output) || name == "." || name == "..")
        return OutputFormat::Bitmap;
    std::string extension = output.substr(dot + 1);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == "bmp")
        return OutputFormat::Bitmap;
    if (extension == "png")
        return OutputFormat::Png;
    Fail("unknown output format '." + output.substr(dot + 1) + "' (use .bmp or .png)");
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
                if (!bound || Underflows(text, *bound))
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
                !IsValidImageSize(options.width, options.height))
                Fail("bad value for --size: '" + std::string(width) + " " + height +
                     "' (each side at least 1, at most 2 GiB of pixel data)");
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
    std::vector<uint32_t> pixels;
    std::optional<BandRenderer> bands;
    try {
        pixels.resize(static_cast<size_t>(width) * height);
        bands.emplace(v.Xmin, v.Ymin, v.Xmax, v.Ymax, width, height, pixels.data(),
                      std::max(BAND_PIXELS / width, int32_t{1}));
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "mandel-render: not enough memory for %dx%d pixels\n", width, height);
        return 1;
    }

    ProgressLine progress(!options.quiet);
    const auto start = std::chrono::steady_clock::now();
    uint64_t iterations = 0;
    while (!bands->Finished()) {
        iterations += bands->RenderNextBand();
        progress.Update(bands->RowsDone(), height);
    }
    progress.Clear();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const BitmapWriteResult written =
        options.format == OutputFormat::Png ? WritePngFile(output, width, height, pixels.data())
                                            : WriteBitmapFile(output, width, height, pixels.data());
    if (written != BitmapWriteResult::Written) {
        const std::string reason = output.Error().empty() ? "" : ": " + output.Error();
        std::fprintf(stderr, "mandel-render: could not write '%s'%s; %s\n", options.output,
                     reason.c_str(),
                     output.WroteInPlace() ? "part of the image went out to it" : "no file was changed");
        return 1;
    }

    std::printf("bounds %.17g %.17g %.17g %.17g size %dx%d time %.3f s %.3f G pixel-iterations/s\n",
                v.Xmin, v.Xmax, v.Ymin, v.Ymax, width, height, seconds,
                seconds > 0 ? iterations / seconds / 1e9 : 0.0);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "mandel-render: wrote '%s', but could not write the report: %s\n",
                     options.output, std::strerror(errno));
        return 1;
    }
    return 0;
}
