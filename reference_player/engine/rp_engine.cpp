#include "rp_engine.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace vd::rp {

namespace {
constexpr char kVideoPlayerLabel[] = "flvplayback";

// Lower case without spaces, so "Show All", "showAll" and "SHOWALL" are one name.
std::string Folded(std::string_view name) {
    std::string out;
    for (unsigned char ch : name)
        if (!std::isspace(ch)) out += static_cast<char>(std::tolower(ch));
    return out;
}

std::unique_ptr<swf::Stage> NewStage(const std::vector<uint8_t>& data, std::string& error) {
    swf::LoadResult loaded = swf::LoadMovie(data.data(), data.size());
    error = loaded.error;
    if (!loaded.movie) return nullptr;
    return std::make_unique<swf::Stage>(std::move(loaded.movie));
}
}  // namespace

// ---- Scale and quality ----------------------------------------------------------------------

ScaleMode ScaleModeOf(std::string_view name, ScaleMode fallback) {
    const std::string n = Folded(name);
    if (n == "showall") return ScaleMode::ShowAll;
    if (n == "noborder") return ScaleMode::NoBorder;
    if (n == "exactfit") return ScaleMode::ExactFit;
    if (n == "noscale") return ScaleMode::NoScale;
    return fallback;
}

swf::Quality QualityOf(std::string_view name) {
    const std::string n = Folded(name);
    if (n == "low" || n == "autolow") return swf::Quality::Low;
    if (n == "medium") return swf::Quality::Medium;
    if (n == "best") return swf::Quality::Best;
    return swf::Quality::High;
}

StageFit FitStage(int stageWidth, int stageHeight, int width, int height, ScaleMode mode) {
    StageFit fit;
    if (stageWidth <= 0 || stageHeight <= 0 || width <= 0 || height <= 0) return fit;
    const double sx = static_cast<double>(width) / stageWidth, sy = static_cast<double>(height) / stageHeight;
    switch (mode) {
        case ScaleMode::ExactFit:
            fit.scaleX = sx;
            fit.scaleY = sy;
            return fit;
        case ScaleMode::ShowAll:
            fit.scaleX = fit.scaleY = std::min(sx, sy);
            break;
        case ScaleMode::NoBorder:
            fit.scaleX = fit.scaleY = std::max(sx, sy);
            break;
        case ScaleMode::NoScale:
            break;
    }
    // Centred; whole pixels, so a stage edge that falls on a pixel edge stays crisp.
    fit.offsetX = std::floor((width - stageWidth * fit.scaleX) / 2 + 0.5);
    fit.offsetY = std::floor((height - stageHeight * fit.scaleY) / 2 + 0.5);
    return fit;
}

// ---- Faults ---------------------------------------------------------------------------------

Faults Faults::Parse(std::string_view list) {
    Faults f;
    size_t pos = 0;
    while (pos < list.size()) {
        size_t end = list.find_first_of(", ;", pos);
        if (end == std::string_view::npos) end = list.size();
        const std::string_view item = list.substr(pos, end - pos);
        pos = end + 1;
        if (item.empty()) continue;
        const size_t eq = item.find('=');
        const std::string_view key = item.substr(0, eq);
        const std::string_view val = eq == std::string_view::npos ? std::string_view{} : item.substr(eq + 1);
        if (key == "no_newp") f.noNewp = true;
        else if (key == "new_fails") f.newFails = true;
        else if (key == "no_scriptable") f.noScriptable = true;
        else if (key == "newstream_refuses") f.newStreamRefuses = true;
        else if (key == "script_fails") f.scriptFails = true;
        else if (key == "version7") f.version7 = true;
        else if (key == "setclientsitefirst") f.setClientSiteFirst = true;
        else if (key == "invisible") f.invisibleAtRuntime = true;
        else if (key == "no_windowless") f.noWindowless = true;
        else if (key == "no_viewobject") f.noViewObject = true;
        else if (key == "ignores_input") f.ignoresInput = true;
        else if (key == "handler_raises") f.handlerRaises = true;
        else if (key == "raises_once") f.handlerRaises = f.raisesOnce = true;
        else if (key == "full_table") f.fullTable = true;
        else if (key == "keep_stream") f.keepStream = true;
        else if (key == "wrong_types") f.wrongTypes = true;
        else if (key == "late_release") f.lateRelease = true;
        else if (key == "only_oleobject") f.onlyOleObject = true;
        else if (key == "no_main_interface") f.noMainInterface = true;
        else if (key == "windowed_only") f.windowedOnly = f.noWindowless = true;
        else if (key == "draw_fails") f.drawFails = true;
        else if (key == "no_errorinfo") f.noErrorInfo = true;
        else if (key == "entrypoints_fail") f.entryPointsFail = true;
        else if (key == "initialize_fails") f.initializeFails = true;
        else if (key == "other_types") f.otherTypes = true;
        else if (key == "fscommand_in" && !val.empty()) f.fsCommandIn = std::string(val);
        else if (key == "flashcall_in" && !val.empty()) f.flashCallIn = std::string(val);
        else if (key == "invalidate_in_paint") f.invalidateInPaint = true;
        else if (key == "write_refuses") f.writeRefuses = true;
        else if (key == "write_ready" && !val.empty() &&
                 val.find_first_not_of("0123456789") == std::string_view::npos && val.size() < 9)
            f.writeReady = std::stoi(std::string(val));
        else if (key == "loadmovie_hr") {
            const std::string text(val);
            char* stop = nullptr;
            const unsigned long v = std::strtoul(text.c_str(), &stop, 0);
            // A value that is not a failure code would make LoadMovie "fail" with success.
            if (!text.empty() && stop && *stop == 0 && (v & 0x80000000u)) {
                f.loadMovieHr = static_cast<uint32_t>(v);
            } else {
                f.unknown.emplace_back(item);
            }
        } else {
            f.unknown.emplace_back(item);
        }
    }
    return f;
}

// ---- Player ---------------------------------------------------------------------------------

Player::Player(PlayerHost& host, int majorVersion) : host_(host), major_(majorVersion) {}

void Player::LoadMovie(int layer, const std::string& url) {
    if (layer == 0) {
        ++generation_;
        const bool had = hasMovie_;
        hasMovie_ = false;
        movie_ = MovieInfo{};
        movieUrl_.clear();
        vars_.clear();
        functions_.clear();
        frame_ = 0;
        playing_ = false;
        videoPlayer_ = false;
        videoPlaying_ = false;
        stage_.reset();
        skin_.reset();
        engineError_.clear();
        ++version_;
        pendingUrl_ = url;
        if (had) InvalidateAll();
    }
    host_.RequestUrl(url);
}

void Player::DataArrived(const std::string& url, const std::vector<uint8_t>& data) {
    if (url != pendingUrl_ || pendingUrl_.empty()) {
        media_[url] = data;
        // The skin the video player was told to show: drawn along the bottom of its stage, as
        // the player movie loads it into its controls clip.
        if (videoPlayer_ && stage_) {
            const auto skin = vars_.find("flv.skin");
            std::string error;
            if (skin != vars_.end() && skin->second == url) {
                if (auto s = NewStage(data, error)) {
                    skin_ = std::move(s);
                    Changed();
                }
            }
        }
        return;
    }
    MovieInfo info = ReadMovie(data.data(), data.size());
    if (info.kind == MediaKind::Other) {
        media_[url] = data;
        return;
    }
    pendingUrl_.clear();
    ++generation_;
    movie_ = std::move(info);
    movieUrl_ = url;
    hasMovie_ = true;
    playing_ = true;
    if (movie_.kind == MediaKind::Swf) stage_ = NewStage(data, engineError_);
    ++version_;
    videoPlayer_ = movie_.FrameOfLabel(kVideoPlayerLabel) == 0;
    functions_ = movie_.callbacks;
    if (videoPlayer_) {
        functions_.push_back("playflv");
        functions_.push_back("stopflv");
    }
    ShowFrame(0, true);
    InvalidateAll();
    // Settings a host made while the movie was still on its way take effect now.
    if (videoPlayer_) {
        for (const char* name : {"flv.skin", "flv.volume", "flv.contentPath"}) {
            const auto it = vars_.find(name);
            if (it != vars_.end()) SetVariable(it->first, std::string(it->second));
        }
    }
}

std::string Player::GetVariable(const std::string& name) const {
    if (name == "$version") return "WIN " + std::to_string(major_) + ",0,0,0";
    const auto it = vars_.find(name);
    return it == vars_.end() ? std::string() : it->second;
}

void Player::SetVariable(const std::string& name, const std::string& value) {
    vars_[name] = value;
    if (!videoPlayer_) return;
    if (name == "flv.skin") {
        host_.RequestUrl(value);
    } else if (name == "flv.contentPath") {
        videoPlaying_ = true;
        host_.RequestUrl(value);
    } else if (name == "flv.volume") {
        volume_ = std::clamp(std::atoi(value.c_str()), 0, 100);
    }
}

bool Player::HasFunction(const std::string& name) const {
    return std::find(functions_.begin(), functions_.end(), name) != functions_.end();
}

std::string Player::CallFunction(const std::string& request) {
    const auto req = ReadRequest(request);
    if (!req || !HasFunction(req->name)) return {};
    if (videoPlayer_ && req->name == "playflv") {
        videoPlaying_ = true;
        return WriteValue(ExtValue{});
    }
    if (videoPlayer_ && req->name == "stopflv") {
        videoPlaying_ = false;
        return WriteValue(ExtValue{});
    }
    // A movie callback answers with its first argument, so a host sees its value come back.
    return req->args.empty() ? WriteValue(ExtValue{}) : WriteValue(req->args.front());
}

std::string Player::CallHost(const std::string& name, const std::vector<ExtValue>& args) {
    return host_.ExternalCall(name, args);
}

void Player::FireFSCommand(const std::string& command, const std::string& args) { host_.FSCommand(command, args); }

void Player::Play() {
    if (hasMovie_) playing_ = true;
}
void Player::StopPlay() { playing_ = false; }
void Player::Rewind() {
    playing_ = false;
    GotoFrame(0);
}
void Player::Forward() {
    playing_ = false;
    GotoFrame(frame_ + 1);
}
void Player::Back() {
    playing_ = false;
    GotoFrame(frame_ - 1);
}

void Player::GotoFrame(int frame) {
    if (!hasMovie_) return;
    frame = std::clamp(frame, 0, movie_.frameCount - 1);
    if (frame != frame_) ShowFrame(frame, true);
}

int Player::FrameInterval() const {
    const double rate = hasMovie_ && movie_.frameRate > 0 ? movie_.frameRate : 12.0;
    return std::max(1, static_cast<int>(1000.0 / rate + 0.5));
}

bool Player::Step() {
    if (!hasMovie_ || !playing_) return false;
    int next = frame_ + 1;
    if (next >= movie_.frameCount) {
        if (!loop_) {
            playing_ = false;
            return false;
        }
        next = 0;
    }
    if (next == frame_) return false;
    // Without looping, playing ends on the last frame.
    if (!loop_ && next == movie_.frameCount - 1) playing_ = false;
    ShowFrame(next, true);
    return true;
}

void Player::ShowFrame(int frame, bool fireActions) {
    const bool changed = frame != frame_;
    frame_ = frame;
    SyncStage(frame);
    if (changed && stage_) {
        Changed();
    } else if (changed) {
        const Rect bar = BarArea();
        if (!bar.Empty()) host_.Invalidate(bar);
    }
    if (!fireActions) return;
    // A host handler may load another movie while the frame's commands go out: iterate over
    // a copy, and stop once the movie is replaced.
    const std::vector<FrameAction> actions = movie_.fsCommands;
    const unsigned generation = generation_;
    for (const auto& a : actions) {
        if (generation_ != generation) break;
        if (a.frame == frame) host_.FSCommand(a.command, a.args);
    }
}

void Player::InvalidateAll() {
    if (extentW_ > 0 && extentH_ > 0) host_.Invalidate(Rect{0, 0, extentW_, extentH_});
}

void Player::SetExtent(int width, int height) {
    extentW_ = std::max(0, width);
    extentH_ = std::max(0, height);
}

void Player::Changed() {
    ++version_;
    if (stage_) InvalidateAll();
}

void Player::SetQuality(swf::Quality quality) {
    if (quality == quality_) return;
    quality_ = quality;
    Changed();
}

void Player::SetScaleMode(ScaleMode mode) {
    if (mode == scale_) return;
    scale_ = mode;
    Changed();
}

void Player::SetTransparent(bool transparent) {
    if (transparent == transparent_) return;
    transparent_ = transparent;
    Changed();
}

void Player::SyncStage(int frame) {
    if (!stage_) return;
    const int now = stage_->CurrentFrame();
    const int last = stage_->GetMovie()->FrameCount() - 1;
    if (frame == now + 1 || (frame == 0 && now == last && now > 0)) {
        stage_->NextFrame();
    } else if (frame != now) {
        stage_->GotoFrame(frame);
    }
}

const std::vector<uint32_t>& Player::Render(int width, int height) {
    if (!stage_ || width <= 0 || height <= 0) {
        picture_.clear();
        pictureVersion_ = ~0u;
        return picture_;
    }
    if (pictureVersion_ == version_ && pictureW_ == width && pictureH_ == height) return picture_;
    picture_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0u);
    const swf::Movie& movie = *stage_->GetMovie();
    const StageFit fit = FitStage(movie.StageWidth(), movie.StageHeight(), width, height, scale_);
    swf::RenderOptions options;
    options.quality = quality_;
    options.scaleX = fit.scaleX;
    options.scaleY = fit.scaleY;
    options.offsetX = fit.offsetX;
    options.offsetY = fit.offsetY;
    options.fillBackground = !transparent_;
    stage_->Render(picture_.data(), width, height, width, options);
    if (skin_) {
        // The controls clip sits at the foot of the player's stage.
        options.offsetY += fit.scaleY * (movie.StageHeight() - skin_->GetMovie()->StageHeight());
        options.fillBackground = false;
        skin_->Render(picture_.data(), width, height, width, options);
    }
    pictureVersion_ = version_;
    pictureW_ = width;
    pictureH_ = height;
    return picture_;
}

Picture Player::Layout(int w, int h) const {
    Picture p;
    if (!hasMovie_ || w <= 0 || h <= 0) return p;
    p.panel = Rect{w / 8, h / 8, w - w / 8, h - h / 8};
    p.panelColor = movie_.hasBackground ? movie_.background : 0x808080;
    const int half = std::max(1, h / 16);
    p.track = Rect{w / 4, h / 2 - half, w - w / 4, h / 2 + half};
    p.trackColor = 0x202020;
    const int total = std::max(1, movie_.frameCount);
    const int done = p.track.Width() * (frame_ + 1) / total;
    p.fill = Rect{p.track.left, p.track.top, p.track.left + done, p.track.bottom};
    p.fillColor = 0xF0A030;
    return p;
}

Rect Player::BarArea() const { return Layout(extentW_, extentH_).track; }

// ---- Journal --------------------------------------------------------------------------------

void Journal::Add(std::string line) {
    std::lock_guard lock(mu_);
    lines_.push_back(std::move(line));
}

std::string Journal::Text() const {
    std::lock_guard lock(mu_);
    std::string out;
    for (const auto& l : lines_) {
        out += l;
        out += '\n';
    }
    return out;
}

std::vector<std::string> Journal::Lines() const {
    std::lock_guard lock(mu_);
    return lines_;
}

void Journal::Clear() {
    std::lock_guard lock(mu_);
    lines_.clear();
}

std::string JournalQuote(std::string_view text) {
    std::string out = "\"";
    for (unsigned char ch : text) {
        if (ch == '\\' || ch == '"') {
            out += '\\';
            out += static_cast<char>(ch);
        } else if (ch == '\n') {
            out += "\\n";
        } else if (ch < 0x20) {
            static const char hex[] = "0123456789ABCDEF";
            out += "\\x";
            out += hex[ch >> 4];
            out += hex[ch & 15];
        } else {
            out += static_cast<char>(ch);
        }
    }
    out += '"';
    return out;
}

}  // namespace vd::rp
