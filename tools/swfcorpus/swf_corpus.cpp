// swfcorpus: runs a folder of SWF picture tests through the engine and compares each stage with
// its expected picture. Layout (one test a folder anywhere below DIR): test.swf, test.toml,
// <name>.expected.png. Prints a line a test, writes expected | drawn | difference of each failure
// under the output folder, ends with "corpus: N of M pass".
//
//   swfcorpus DIR [--out DIR] [--expect LIST] [--only SUBSTRING] [--list N]
//     --list N: print the first N differing pixels of each comparison (expected, drawn RGBA)
//     --expect LIST: the tests (one path a line, # comments) that must pass; exit status 1 when
//                    one of them does not (others may fail).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "vd_swf.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include <stb_image.h>
#include <stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace fs = std::filesystem;

namespace {

struct Check {
    int tolerance = 0;
    int maxOutliers = 0;
};

struct Comparison {
    std::string name;  // picture file: <name>.expected.png
    int trigger = -1;  // frames to run (-1: the test's frame count)
    std::vector<Check> checks;
    bool knownFailure = false;
};

struct TestSettings {
    int frames = 1;
    std::string quality = "high";
    int viewportW = 0, viewportH = 0;
    std::vector<Comparison> comparisons;
};

std::string Trim(std::string s) {
    size_t a = s.find_first_not_of(" \t\r"), b = s.find_last_not_of(" \t\r");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

std::string Unquote(std::string s) {
    s = Trim(s);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
    return s;
}

// Value of key inside an inline table "{ a = 1, b = "x" }".
std::string InlineValue(const std::string& table, const std::string& key) {
    std::string body = table;
    size_t p = 0;
    while ((p = body.find(key, p)) != std::string::npos) {
        bool startOk = p == 0 || body[p - 1] == '{' || body[p - 1] == ' ' || body[p - 1] == ',';
        size_t q = p + key.size();
        while (q < body.size() && body[q] == ' ') ++q;
        if (startOk && q < body.size() && body[q] == '=') {
            size_t e = body.find_first_of(",}", q + 1);
            return Unquote(body.substr(q + 1, e == std::string::npos ? std::string::npos : e - q - 1));
        }
        p = q;
    }
    return "";
}

// The part of TOML the corpus uses: top-level keys, [image_comparisons.NAME] tables,
// [[image_comparisons.NAME.checks]] arrays, dotted keys image_comparisons."NAME".key, and
// [player_options] inline tables.
TestSettings ParseToml(const std::string& text) {
    TestSettings settings;
    std::map<std::string, Comparison> comps;
    std::vector<std::string> order;
    auto comp = [&](const std::string& name) -> Comparison& {
        if (!comps.count(name)) {
            comps[name].name = name;
            order.push_back(name);
        }
        return comps[name];
    };
    std::string section;
    bool inChecks = false;
    std::istringstream in(text);
    std::string line;
    auto setKey = [&](Comparison& c, bool check, const std::string& key, const std::string& value) {
        if (key == "trigger") c.trigger = std::atoi(value.c_str());
        if (key == "known_failure") c.knownFailure = value == "true";
        if (key == "tolerance" || key == "max_outliers") {
            if (c.checks.empty() || (!check && c.checks.size() > 1)) c.checks.emplace_back();
            Check& k = c.checks.back();
            (key == "tolerance" ? k.tolerance : k.maxOutliers) = std::atoi(value.c_str());
        }
    };
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#') continue;
        if (line.rfind("[[", 0) == 0) {
            std::string name = line.substr(2, line.find("]]") - 2);
            section = name;
            inChecks = false;
            const std::string prefix = "image_comparisons.";
            if (name.rfind(prefix, 0) == 0 && name.size() > 7 && name.substr(name.size() - 7) == ".checks") {
                std::string cname = Unquote(name.substr(prefix.size(), name.size() - prefix.size() - 7));
                comp(cname).checks.emplace_back();
                section = "checks:" + cname;
                inChecks = true;
            }
            continue;
        }
        if (line[0] == '[') {
            section = line.substr(1, line.find(']') - 1);
            inChecks = false;
            const std::string prefix = "image_comparisons.";
            if (section.rfind(prefix, 0) == 0) comp(Unquote(section.substr(prefix.size())));
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
        if (section.empty()) {
            const std::string prefix = "image_comparisons.";
            if (key == "num_frames" || key == "num_ticks") settings.frames = std::atoi(value.c_str());
            if (key.rfind(prefix, 0) == 0) {
                std::string rest = key.substr(prefix.size());
                size_t dot = rest.rfind('.');
                if (dot != std::string::npos)
                    setKey(comp(Unquote(rest.substr(0, dot))), false, rest.substr(dot + 1), value);
            }
        } else if (inChecks) {
            std::string cname = section.substr(7);
            Comparison& c = comp(cname);
            Check& k = c.checks.back();
            if (key == "tolerance") k.tolerance = std::atoi(value.c_str());
            if (key == "max_outliers") k.maxOutliers = std::atoi(value.c_str());
        } else if (section.rfind("image_comparisons.", 0) == 0) {
            setKey(comp(Unquote(section.substr(18))), false, key, value);
        } else if (section == "player_options") {
            if (key == "with_renderer") {
                std::string q = InlineValue(value, "quality");
                if (!q.empty()) settings.quality = q;
            }
            if (key == "viewport_dimensions") {
                settings.viewportW = std::atoi(InlineValue(value, "width").c_str());
                settings.viewportH = std::atoi(InlineValue(value, "height").c_str());
            }
        }
    }
    for (const std::string& n : order) {
        Comparison c = comps[n];
        if (c.checks.empty()) c.checks.emplace_back();
        settings.comparisons.push_back(c);
    }
    return settings;
}

vd::swf::Quality QualityOf(const std::string& q) {
    if (q == "low") return vd::swf::Quality::Low;
    if (q == "medium") return vd::swf::Quality::Medium;
    if (q == "best") return vd::swf::Quality::Best;
    return vd::swf::Quality::High;
}

struct Image {
    int w = 0, h = 0;
    std::vector<uint8_t> rgba;
};

// The stage (premultiplied 0xAARRGGBB) as straight RGBA.
Image ToRgba(const std::vector<uint32_t>& px, int w, int h) {
    Image img{w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 4)};
    for (size_t i = 0; i < px.size(); ++i) {
        uint32_t c = px[i], a = c >> 24;
        auto un = [a](uint32_t v) { return static_cast<uint8_t>(a ? std::min(255u, (v * 255 + a / 2) / a) : 0); };
        img.rgba[i * 4] = un((c >> 16) & 255);
        img.rgba[i * 4 + 1] = un((c >> 8) & 255);
        img.rgba[i * 4 + 2] = un(c & 255);
        img.rgba[i * 4 + 3] = static_cast<uint8_t>(a);
    }
    return img;
}

// Pixels of b off a by more than tolerance; the first `list` of them printed (expected, drawn).
int Outliers(const Image& a, const Image& b, int tolerance, int list = 0) {
    int n = 0;
    for (size_t i = 0; i < a.rgba.size(); i += 4) {
        for (int k = 0; k < 4; ++k) {
            if (std::abs(int(a.rgba[i + k]) - int(b.rgba[i + k])) > tolerance) {
                if (n < list) {
                    const uint8_t *e = &a.rgba[i], *d = &b.rgba[i];
                    std::printf("  at %d,%d expected %d,%d,%d,%d drawn %d,%d,%d,%d\n", int(i / 4 % a.w),
                                int(i / 4 / a.w), e[0], e[1], e[2], e[3], d[0], d[1], d[2], d[3]);
                }
                ++n;
                break;
            }
        }
    }
    return n;
}

void WriteSideBySide(const fs::path& file, const Image& expected, const Image& drawn, int tolerance) {
    int w = std::max(expected.w, drawn.w), h = std::max(expected.h, drawn.h);
    int W = w * 3;
    std::vector<uint8_t> out(static_cast<size_t>(W) * h * 4, 0);
    auto put = [&](int ox, const Image& img) {
        for (int y = 0; y < img.h; ++y)
            for (int x = 0; x < img.w; ++x)
                for (int k = 0; k < 4; ++k)
                    out[(static_cast<size_t>(y) * W + ox + x) * 4 + k] =
                        img.rgba[(static_cast<size_t>(y) * img.w + x) * 4 + k];
    };
    put(0, expected);
    put(w, drawn);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t* o = &out[(static_cast<size_t>(y) * W + 2 * w + x) * 4];
            o[3] = 255;
            if (x >= expected.w || y >= expected.h || x >= drawn.w || y >= drawn.h) {
                o[0] = 255;
                o[1] = o[2] = 0;
                continue;
            }
            const uint8_t* e = &expected.rgba[(static_cast<size_t>(y) * expected.w + x) * 4];
            const uint8_t* d = &drawn.rgba[(static_cast<size_t>(y) * drawn.w + x) * 4];
            int diff = 0;
            for (int k = 0; k < 4; ++k) diff = std::max(diff, std::abs(int(e[k]) - int(d[k])));
            if (diff > tolerance) {
                o[0] = 255;
                o[1] = static_cast<uint8_t>(255 - std::min(255, diff));
                o[2] = 0;
            } else {
                o[0] = o[1] = o[2] = static_cast<uint8_t>(diff * 8);
            }
        }
    }
    fs::create_directories(file.parent_path());
    stbi_write_png(file.string().c_str(), W, h, 4, out.data(), W * 4);
}

std::vector<uint8_t> ReadFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

std::string TagList(const std::map<int, int>& tags) {
    std::string s;
    for (const auto& [code, count] : tags) s += (s.empty() ? "" : ",") + std::to_string(code);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir, outDir = "out/corpus", expectFile, only;
    int list = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--out" && i + 1 < argc) outDir = argv[++i];
        else if (a == "--expect" && i + 1 < argc) expectFile = argv[++i];
        else if (a == "--only" && i + 1 < argc) only = argv[++i];
        else if (a == "--list" && i + 1 < argc) list = std::atoi(argv[++i]);
        else if (dir.empty()) dir = a;
        else {
            std::fprintf(stderr, "usage: swfcorpus DIR [--out DIR] [--expect LIST] [--only SUBSTRING] [--list N]\n");
            return 2;
        }
    }
    if (dir.empty() || !fs::is_directory(dir)) {
        std::fprintf(stderr, "swfcorpus: no corpus folder %s\n", dir.c_str());
        return 2;
    }
    std::set<std::string> expected;
    if (!expectFile.empty()) {
        std::ifstream f(expectFile);
        if (!f) {
            std::fprintf(stderr, "swfcorpus: cannot read %s\n", expectFile.c_str());
            return 2;
        }
        std::string line;
        while (std::getline(f, line)) {
            line = Trim(line.substr(0, line.find('#')));
            if (!line.empty()) expected.insert(line);
        }
    }
    fs::path root = fs::is_directory(fs::path(dir) / "visual") ? fs::path(dir) / "visual" : fs::path(dir);
    std::vector<fs::path> tests;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file() && e.path().filename() == "test.toml") tests.push_back(e.path().parent_path());
    std::sort(tests.begin(), tests.end());

    int total = 0, passed = 0, noPicture = 0;
    std::vector<std::string> regressions;
    std::set<std::string> seen;
    for (const fs::path& t : tests) {
        std::string name = fs::relative(t, root).generic_string();
        if (!only.empty() && name.find(only) == std::string::npos) continue;
        std::ifstream tf(t / "test.toml");
        std::stringstream ss;
        ss << tf.rdbuf();
        TestSettings settings = ParseToml(ss.str());
        std::vector<Comparison> comps;
        for (const Comparison& c : settings.comparisons)
            if (fs::exists(t / (c.name + ".expected.png"))) comps.push_back(c);
        if (comps.empty()) {
            std::printf("%-56s skip: no expected picture\n", name.c_str());
            ++noPicture;
            continue;
        }
        ++total;
        seen.insert(name);
        std::vector<uint8_t> swf = ReadFile(t / "test.swf");
        vd::swf::LoadResult lr = vd::swf::LoadMovie(swf.data(), swf.size());
        std::string verdict;
        bool ok = true;
        std::string skipped;
        if (!lr.movie) {
            ok = false;
            verdict = "does not load: " + lr.error;
        } else {
            vd::swf::Stage stage(lr.movie);
            skipped = TagList(stage.SkippedTags());
            int sw = lr.movie->StageWidth(), sh = lr.movie->StageHeight();
            int w = settings.viewportW > 0 ? settings.viewportW : sw,
                h = settings.viewportH > 0 ? settings.viewportH : sh;
            vd::swf::RenderOptions ro;
            ro.quality = QualityOf(settings.quality);
            if (settings.viewportW > 0 && sw > 0 && sh > 0) {
                double s = std::min(double(w) / sw, double(h) / sh);
                ro.scaleX = ro.scaleY = s;
                ro.offsetX = (w - sw * s) / 2;
                ro.offsetY = (h - sh * s) / 2;
            }
            std::sort(comps.begin(), comps.end(), [&](const Comparison& a, const Comparison& b) {
                return (a.trigger < 0 ? settings.frames : a.trigger) < (b.trigger < 0 ? settings.frames : b.trigger);
            });
            int shown = 1;  // frames run: the first is shown on creation
            for (const Comparison& c : comps) {
                int want = std::max(1, c.trigger < 0 ? settings.frames : c.trigger);
                while (shown < want) {
                    stage.NextFrame();
                    ++shown;
                }
                int ew = 0, eh = 0, comp = 0;
                std::string png = (t / (c.name + ".expected.png")).string();
                unsigned char* e = stbi_load(png.c_str(), &ew, &eh, &comp, 4);
                if (!e) {
                    ok = false;
                    verdict += " " + c.name + ": unreadable picture";
                    continue;
                }
                Image exp{ew, eh, std::vector<uint8_t>(e, e + static_cast<size_t>(ew) * eh * 4)};
                stbi_image_free(e);
                std::vector<uint32_t> px(static_cast<size_t>(std::max(w, 1)) * std::max(h, 1), 0);
                if (w > 0 && h > 0) stage.Render(px.data(), w, h, w, ro);
                Image drawn = ToRgba(px, std::max(w, 1), std::max(h, 1));
                if (exp.w != drawn.w || exp.h != drawn.h) {
                    ok = false;
                    verdict += " " + c.name + ": size " + std::to_string(drawn.w) + "x" + std::to_string(drawn.h) +
                               " not " + std::to_string(exp.w) + "x" + std::to_string(exp.h);
                    WriteSideBySide(fs::path(outDir) / (name + (c.name == "output" ? "" : "." + c.name) + ".png"), exp,
                                    drawn, 0);
                    continue;
                }
                for (const Check& k : c.checks) {
                    int n = Outliers(exp, drawn, k.tolerance, list);
                    if (n > k.maxOutliers) {
                        ok = false;
                        verdict += " " + c.name + ": " + std::to_string(n) + " pixels differ by more than " +
                                   std::to_string(k.tolerance) + " (" + std::to_string(k.maxOutliers) + " allowed)";
                        WriteSideBySide(fs::path(outDir) / (name + (c.name == "output" ? "" : "." + c.name) + ".png"),
                                        exp, drawn, k.tolerance);
                        break;
                    }
                }
            }
        }
        if (ok) {
            ++passed;
            std::printf("%-56s pass\n", name.c_str());
        } else {
            std::printf("%-56s FAIL%s%s\n", name.c_str(), verdict.c_str(),
                        skipped.empty() ? "" : ("; tags not drawn: " + skipped).c_str());
            if (expected.count(name)) regressions.push_back(name);
        }
        std::fflush(stdout);
    }
    for (const std::string& e : expected)
        if (!seen.count(e) && only.empty()) regressions.push_back(e + " (not found)");
    if (noPicture) std::printf("%d test(s) without an expected picture not counted\n", noPicture);
    std::printf("corpus: %d of %d pass\n", passed, total);
    if (!regressions.empty()) {
        std::printf("listed as passing but not passing:");
        for (const std::string& r : regressions) std::printf(" %s", r.c_str());
        std::printf("\n");
        return 1;
    }
    return 0;
}
