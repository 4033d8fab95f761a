// The platform-free hot paths against the machine's limits (Google Benchmark, release build):
// alpha recovery against plain copies, forms holding a large stored movie and forms of many
// small components against reading the file's bytes, and the movie lookups among 10,000 stored
// movies against the same among 10, and the SWF engine drawing the corpus's heaviest
// display-list movie against filling the frame once. Prints every goal with its ratio and PASS
// or MISS; exits 1 on a MISS. Run through `./run bench` (--corpus=DIR names the SWF corpus);
// extra arguments go to Google Benchmark.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "vd_filer.h"
#include "vd_flashstore.h"
#include "vd_formfile.h"
#include "vd_pixels.h"
#include "vd_pixels_simd.h"
#include "vd_streams.h"
#include "vd_swf.h"

#include "alloc_counter.inc"

namespace {

namespace fs = std::filesystem;
using namespace vd;

constexpr int kW = 1920, kH = 1080;
constexpr size_t kFrame = size_t{kW} * kH;
constexpr size_t kMovieBytes = size_t{100} * 1024 * 1024;

// ---- Frames -----------------------------------------------------------------------------------

struct Frames {
    std::vector<uint32_t> black, white, copyA, copyB;
    Frames() : black(kFrame), white(kFrame), copyA(kFrame), copyB(kFrame) {
        std::mt19937 rng(1);
        for (size_t i = 0; i < kFrame; ++i) {
            black[i] = rng() | 0xFF000000u;
            white[i] = black[i] | (rng() & 0x00FF0000u);
        }
    }
};

Frames& TheFrames() {
    static Frames f;
    return f;
}

// 64x64 rectangles spread over the frame.
std::vector<std::pair<int, int>> Tiles() {
    std::vector<std::pair<int, int>> tiles;
    std::mt19937 rng(2);
    for (int i = 0; i < 64; ++i)
        tiles.emplace_back(static_cast<int>(rng() % (kW - 64)), static_cast<int>(rng() % (kH - 64)));
    return tiles;
}

void AlphaFrame(benchmark::State& state) {
    Frames& f = TheFrames();
    for (auto _ : state) {
        RecoverAlpha(f.black.data(), f.white.data(), kW, kH, 0, 0, kW, kH);
        benchmark::DoNotOptimize(f.black.data());
    }
}

void AlphaFrameScalar(benchmark::State& state) {
    Frames& f = TheFrames();
    ForcePixelPath(TPixelPath::Scalar);
    for (auto _ : state) {
        RecoverAlpha(f.black.data(), f.white.data(), kW, kH, 0, 0, kW, kH);
        benchmark::DoNotOptimize(f.black.data());
    }
    ResetPixelPath();
}

// What recovery reads (two frames) copied out: memcpy of the same bytes.
void CopyFrame(benchmark::State& state) {
    Frames& f = TheFrames();
    for (auto _ : state) {
        std::memcpy(f.copyA.data(), f.black.data(), kFrame * 4);
        std::memcpy(f.copyB.data(), f.white.data(), kFrame * 4);
        benchmark::DoNotOptimize(f.copyA.data());
        benchmark::ClobberMemory();
    }
}

void AlphaTiles(benchmark::State& state) {
    Frames& f = TheFrames();
    const auto tiles = Tiles();
    for (auto _ : state) {
        for (auto [x, y] : tiles) RecoverAlpha(f.black.data(), f.white.data(), kW, kH, x, y, x + 64, y + 64);
        benchmark::DoNotOptimize(f.black.data());
    }
}

void CopyTiles(benchmark::State& state) {
    Frames& f = TheFrames();
    const auto tiles = Tiles();
    for (auto _ : state) {
        for (auto [x, y] : tiles)
            for (int row = y; row < y + 64; ++row) {
                const size_t at = static_cast<size_t>(row) * kW + static_cast<size_t>(x);
                std::memcpy(f.copyA.data() + at, f.black.data() + at, 64 * 4);
                std::memcpy(f.copyB.data() + at, f.white.data() + at, 64 * 4);
            }
        benchmark::DoNotOptimize(f.copyA.data());
        benchmark::ClobberMemory();
    }
}

// ---- Forms --------------------------------------------------------------------------------------

fs::path g_dataDir = "bench-data";

fs::path DataFile(const char* name) { return g_dataDir / name; }

void WriteFile(const fs::path& path, const std::string& bytes) {
    TFileStream out(path.string(), fmCreate);
    out.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    out.Flush();
}

// The forms the benchmarks read, made once per data folder.
void MakeForms() {
    fs::create_directories(g_dataDir);
    if (!fs::exists(DataFile("movie100.dfm")) || !fs::exists(DataFile("movie100.txt.dfm"))) {
        RegisterFlashStoreClasses();
        TvdFlashList list(nullptr);
        list.SetName("Movies");
        TvdFlashStream* item = list.GetFlashs()->Add();
        item->Data().SetSize(static_cast<int64_t>(kMovieBytes));
        std::mt19937 rng(3);
        auto* p = reinterpret_cast<uint32_t*>(item->Data().Memory());
        for (size_t i = 0; i < kMovieBytes / 4; ++i) p[i] = rng();
        item->SetFlashStore(u"big.swf");
        WriteFile(DataFile("movie100.dfm"), WriteComponentBinary(&list));
        WriteFile(DataFile("movie100.txt.dfm"), WriteComponentText(&list));
    }
    if (!fs::exists(DataFile("many.txt.dfm")) || !fs::exists(DataFile("many.dfm"))) {
        std::string text = "object Form1: TForm\n  Left = 0\n  Top = 0\n  Caption = 'Many components'\n";
        char buf[512];
        for (int i = 0; text.size() < 5u * 1024 * 1024; ++i) {
            std::snprintf(buf, sizeof buf,
                          "  object Label%d: TLabel\n    Left = %d\n    Top = %d\n    Width = 120\n"
                          "    Height = 17\n    Caption = 'Label number %d'\n    Font.Style = [fsBold, fsItalic]\n"
                          "    Tag = %d\n    Visible = True\n  end\n",
                          i, i % 800, (i * 7) % 600, i, i * 3);
            text += buf;
        }
        text += "end\n";
        WriteFile(DataFile("many.txt.dfm"), text);
        WriteFile(DataFile("many.dfm"), ObjectTextToBinary(text));
    }
}

// Reading the file's bytes into fresh memory: the limit every form read is held against.
std::unique_ptr<char[]> ReadBytes(const fs::path& path, size_t& size) {
    TFileStream in(path.string(), fmOpenRead);
    size = static_cast<size_t>(in.GetSize());
    std::unique_ptr<char[]> bytes(new char[size]);
    in.ReadBuffer(bytes.get(), static_cast<int64_t>(size));
    return bytes;
}

// The file read straight into a string, as a caller converting it would.
std::string ReadString(const fs::path& path) {
    TFileStream in(path.string(), fmOpenRead);
    std::string bytes(static_cast<size_t>(in.GetSize()), '\0');
    in.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    return bytes;
}

void ReadFileBytes(benchmark::State& state, const char* name) {
    for (auto _ : state) {
        size_t size = 0;
        auto bytes = ReadBytes(DataFile(name), size);
        benchmark::DoNotOptimize(bytes.get());
    }
}

// The form read into live components, from the file.
void ReadMovieForm(const char* name) {
    TFileStream in(DataFile(name).string(), fmOpenRead);
    std::unique_ptr<TComponent> list(ReadComponent(in, nullptr));
    auto* movies = static_cast<TvdFlashList*>(list.get());
    if (movies->GetFlashs()->GetItem(0)->Data().GetSize() != static_cast<int64_t>(kMovieBytes))
        throw EReadError("benchmark form read back wrong");
}

void FormRead(benchmark::State& state, const char* name) {
    for (auto _ : state) ReadMovieForm(name);
}

void ConvertToBinary(benchmark::State& state) {
    for (auto _ : state) {
        const std::string text = ReadString(DataFile("many.txt.dfm"));
        benchmark::DoNotOptimize(ObjectTextToBinary(text).size());
    }
}

void ConvertToText(benchmark::State& state) {
    for (auto _ : state) {
        const std::string binary = ReadString(DataFile("many.dfm"));
        benchmark::DoNotOptimize(ObjectBinaryToText(binary).size());
    }
}

// ---- Movie lookups -------------------------------------------------------------------------------

WideString MovieName(int i) {
    const std::string s = "Movie" + std::to_string(100000 + i) + ".swf";
    return WideString(s.begin(), s.end());
}

struct Store {
    TvdFlashList list{nullptr};
    WideString wanted;
    explicit Store(int count) {
        for (int i = 0; i < count; ++i) {
            TvdFlashStream* item = list.GetFlashs()->Add();
            item->Data().SetSize(1);
            item->SetFlashStore(MovieName(i));
        }
        wanted = MovieName(count / 2 + 1);
        for (char16_t& c : wanted)
            if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);  // another case than stored
    }
};

void FindFlash(benchmark::State& state) {
    Store store(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(store.list.FindFlash(store.wanted));
}

void IndexFind(benchmark::State& state) {
    Store store(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(FlashList->Find(store.wanted));
}

// ---- The SWF engine -----------------------------------------------------------------------------

// The corpus movie with the most drawing to do among those the display list alone plays
// (measured: its thousands of small filled polygons cost several times the next one).
constexpr const char* kHeavyMovie = "visual/simple_shapes/heavy_tesselation/test.swf";
std::string g_corpusDir;

struct HeavyMovie {
    std::shared_ptr<const swf::Movie> movie;
    std::unique_ptr<swf::Stage> stage;
    HeavyMovie() {
        if (!fs::exists(fs::path(g_corpusDir) / kHeavyMovie)) return;
        const std::string bytes = ReadString(fs::path(g_corpusDir) / kHeavyMovie);
        auto loaded = swf::LoadMovie(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        movie = loaded.movie;
        if (movie) stage = std::make_unique<swf::Stage>(movie);
    }
};

HeavyMovie& TheHeavyMovie() {
    static HeavyMovie m;
    return m;
}

// The stage drawn into width x height (0: the movie's own size), shown whole, at the players'
// default quality. Drawn again and again, as a still frame is at every paint (the stage keeps
// its shapes' placed edges); the first draw below makes a new stage every time.
void DrawHeavy(benchmark::State& state, bool newStage) {
    HeavyMovie& m = TheHeavyMovie();
    if (!m.stage) {
        state.SkipWithError("corpus movie not found (--corpus=DIR)");
        return;
    }
    const int w = state.range(0) ? static_cast<int>(state.range(0)) : m.movie->StageWidth();
    const int h = state.range(1) ? static_cast<int>(state.range(1)) : m.movie->StageHeight();
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    swf::RenderOptions o;
    o.scaleX = o.scaleY =
        std::min(static_cast<double>(w) / m.movie->StageWidth(), static_cast<double>(h) / m.movie->StageHeight());
    for (auto _ : state) {
        if (newStage) swf::Stage(m.movie).Render(px.data(), w, h, w, o);
        else m.stage->Render(px.data(), w, h, w, o);
        benchmark::DoNotOptimize(px.data());
    }
}

void FillFrame(benchmark::State& state) {
    HeavyMovie& m = TheHeavyMovie();
    const int w = state.range(0) ? static_cast<int>(state.range(0)) : (m.movie ? m.movie->StageWidth() : 1);
    const int h = state.range(1) ? static_cast<int>(state.range(1)) : (m.movie ? m.movie->StageHeight() : 1);
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    uint32_t v = 0xFF000000u;
    for (auto _ : state) {
        std::fill(px.begin(), px.end(), ++v);
        benchmark::DoNotOptimize(px.data());
        benchmark::ClobberMemory();
    }
}

// ---- Running and the table ------------------------------------------------------------------------

// Keeps the best (lowest) time per iteration of every benchmark over its repetitions.
class BestOf : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> best;  // seconds per iteration
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.error_occurred || r.iterations == 0) continue;
            const double seconds = r.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
            auto [it, fresh] = best.emplace(r.benchmark_name(), seconds);
            if (!fresh) it->second = std::min(it->second, seconds);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--data=", 7) == 0) g_dataDir = argv[i] + 7;
        else if (std::strncmp(argv[i], "--corpus=", 9) == 0) g_corpusDir = argv[i] + 9;
    RegisterFlashStoreClasses();
    MakeForms();

    benchmark::RegisterBenchmark("alpha/frame", AlphaFrame);
    benchmark::RegisterBenchmark("alpha/frame_scalar", AlphaFrameScalar);
    benchmark::RegisterBenchmark("copy/frame", CopyFrame);
    benchmark::RegisterBenchmark("alpha/tiles64", AlphaTiles);
    benchmark::RegisterBenchmark("copy/tiles64", CopyTiles);
    benchmark::RegisterBenchmark("read/movie_binary", ReadFileBytes, "movie100.dfm");
    benchmark::RegisterBenchmark("form/movie_binary", FormRead, "movie100.dfm");
    benchmark::RegisterBenchmark("read/movie_text", ReadFileBytes, "movie100.txt.dfm");
    benchmark::RegisterBenchmark("form/movie_text", FormRead, "movie100.txt.dfm");
    benchmark::RegisterBenchmark("read/many_text", ReadFileBytes, "many.txt.dfm");
    benchmark::RegisterBenchmark("convert/many_text_to_binary", ConvertToBinary);
    benchmark::RegisterBenchmark("read/many_binary", ReadFileBytes, "many.dfm");
    benchmark::RegisterBenchmark("convert/many_binary_to_text", ConvertToText);
    benchmark::RegisterBenchmark("lookup/FindFlash", FindFlash)->Arg(10)->Arg(10000);
    benchmark::RegisterBenchmark("lookup/FlashList.Find", IndexFind)->Arg(10)->Arg(10000);
    benchmark::RegisterBenchmark("swf/heavy", DrawHeavy, false)->Args({kW, kH})->Args({0, 0});
    benchmark::RegisterBenchmark("swf/heavy_first", DrawHeavy, true)->Args({kW, kH});
    benchmark::RegisterBenchmark("fill/frame", FillFrame)->Args({kW, kH})->Args({0, 0});

    // Defaults that suit a shared, noisy machine: several repetitions, the best one counts.
    std::vector<char*> args(argv, argv + argc);
    std::string reps = "--benchmark_repetitions=5", minTime = "--benchmark_min_time=0.1";
    bool hasReps = false, hasMin = false;
    std::vector<char*> passed;
    for (char* a : args) {
        if (std::strncmp(a, "--data=", 7) == 0 || std::strncmp(a, "--corpus=", 9) == 0) continue;
        hasReps |= std::strncmp(a, "--benchmark_repetitions", 23) == 0;
        hasMin |= std::strncmp(a, "--benchmark_min_time", 20) == 0;
        passed.push_back(a);
    }
    if (!hasReps) passed.push_back(reps.data());
    if (!hasMin) passed.push_back(minTime.data());
    int n = static_cast<int>(passed.size());
    benchmark::Initialize(&n, passed.data());
    BestOf reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto t = [&](const char* name) {
        const auto it = reporter.best.find(name);
        return it == reporter.best.end() ? -1.0 : it->second;
    };
    auto timeRow = [&](const char* measure, const char* baseline, const char* m, const char* b, double goal) {
        vdbench::Row r{measure, baseline, t(m), t(b), goal, "s"};
        r.Measured = r.Value >= 0 && r.Base > 0;
        return r;
    };

    // Peak memory: the counting allocator, one read each.
    const double movieFile = static_cast<double>(fs::file_size(DataFile("movie100.dfm")));
    const double textFile = static_cast<double>(fs::file_size(DataFile("movie100.txt.dfm")));
    const double binaryPeak = static_cast<double>(vdbench::PeakDuring([] { ReadMovieForm("movie100.dfm"); }));
    const double textPeak = static_cast<double>(vdbench::PeakDuring([] { ReadMovieForm("movie100.txt.dfm"); }));
    const double movie = static_cast<double>(kMovieBytes);

    std::vector<vdbench::Row> rows{
        timeRow("alpha recovery, 1920x1080 rectangle", "memcpy of the 2 frames it reads", "alpha/frame", "copy/frame",
                1.25),
        timeRow("alpha recovery, 64 rectangles of 64x64 over 1080p", "memcpy of the same rows", "alpha/tiles64",
                "copy/tiles64", 1.5),
        timeRow("binary form, 100 MB stored movie, read into components: time", "reading the file's bytes",
                "form/movie_binary", "read/movie_binary", 1.5),
        {"binary form, 100 MB stored movie: peak memory", "the file's size", binaryPeak, movieFile, 1.3, "B"},
        timeRow("text form, 100 MB stored movie, read into components: time", "reading the file's bytes",
                "form/movie_text", "read/movie_text", 4.0),
        {"text form, 100 MB stored movie: peak memory", "1.5 x movie + file, as 1.0", textPeak, 1.5 * movie + textFile,
         1.0, "B"},
        timeRow("FindFlash among 10,000 stored movies", "FindFlash among 10", "lookup/FindFlash/10000",
                "lookup/FindFlash/10", 2.0),
        timeRow("FlashList lookup among 10,000 stored movies", "FlashList lookup among 10",
                "lookup/FlashList.Find/10000", "lookup/FlashList.Find/10", 2.0),
        timeRow("5 MB form of many components, text -> binary", "reading the file's bytes",
                "convert/many_text_to_binary", "read/many_text", 10.0),
        timeRow("5 MB form of many components, binary -> text", "reading the file's bytes",
                "convert/many_binary_to_text", "read/many_binary", 10.0),
        timeRow("SWF engine: heaviest corpus movie drawn at 1920x1080", "filling the 1920x1080 frame once",
                "swf/heavy/1920/1080", "fill/frame/1920/1080", 30.0),
        timeRow("SWF engine: heaviest corpus movie at its own size", "filling a frame of that size once",
                "swf/heavy/0/0", "fill/frame/0/0", 30.0),
        timeRow("SWF engine: the same, first draw at 1920x1080 (new stage)", "filling the 1920x1080 frame once",
                "swf/heavy_first/1920/1080", "fill/frame/1920/1080", 30.0),
    };
    std::printf("\nalpha recovery path: %s (plain loop %s per frame, %.2fx the copy)\n",
                PixelPathName(ActivePixelPath()), vdbench::Figure(t("alpha/frame_scalar"), "s").c_str(),
                t("alpha/frame_scalar") / t("copy/frame"));
    if (TheHeavyMovie().movie)
        std::printf("SWF engine movie: %s (%dx%d), high quality\n", kHeavyMovie, TheHeavyMovie().movie->StageWidth(),
                    TheHeavyMovie().movie->StageHeight());
    const int missed = vdbench::PrintRows("platform-free paths (best of the repetitions, CPU time)", rows);
    // What a user sees of the engine's rows: frames a second on one core, a still frame and a new one.
    const double redraw = t("swf/heavy/1920/1080"), first = t("swf/heavy_first/1920/1080");
    if (redraw > 0 && first > 0)
        std::printf("SWF engine at 1920x1080 on one core: %.0f frames a second redrawn, %.0f drawn first\n", 1 / redraw,
                    1 / first);
    return missed == 0 ? 0 : 1;
}
