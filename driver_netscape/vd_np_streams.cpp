// Starting movies and serving the plugin's URL requests: files, the application directory,
// the movie store, in-memory streams and resources, delivered in one block inside the request.
#include "vd_np_unit.h"
#include "vd_npscript.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "vd_flashstore.h"
#include "vd_movienames.h"
#include "vd_movieres.h"
#include "vd_winstr.h"

namespace vd {

using namespace np;

namespace {

const char kMime[] = "application/x-shockwave-flash";

bool IsFile(const WideString& path) {
    if (path.empty()) return false;
    const DWORD attributes = GetFileAttributesW(WinStr(path));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The bytes a request is answered with, handed to the plugin in one block. A file is read into
// memory of its own; the other sources are shown where they already are: a stored movie in the
// store (kept alive by a shared reference should the application free the store while the
// plugin reads it), a stream a token named (taken over, freed after delivery), a resource in the
// module. So a 100 MB stored movie is never copied on its way to the plugin.
struct TSourceBytes {
    std::vector<uint8_t> own;
    std::unique_ptr<TMemoryStream> taken;
    std::shared_ptr<TMemoryStream> stored;
    const uint8_t* data = nullptr;
    size_t size = 0;

    void Show(const uint8_t* bytes, size_t count) {
        data = count ? bytes : nullptr;
        size = count;
    }
};

bool ReadFile(const WideString& path, TSourceBytes& source) {
    std::ifstream in(std::filesystem::path(std::wstring(WinStr(path))), std::ios::binary | std::ios::ate);
    if (!in) return false;
    const std::streamoff size = in.tellg();
    if (size < 0) return false;
    in.seekg(0);
    source.own.resize(static_cast<size_t>(size));
    if (size > 0 && !in.read(reinterpret_cast<char*>(source.own.data()), size)) return false;
    source.Show(source.own.data(), source.own.size());
    return true;
}

void ShowStream(std::unique_ptr<TMemoryStream> stream, TSourceBytes& source) {
    source.Show(stream->Memory(), static_cast<size_t>(stream->GetSize()));
    source.taken = std::move(stream);
}

// The streams LoadMovieFromStream made, until a request takes them (a token serves one).
std::vector<std::unique_ptr<TMemoryStream>>& PendingStreams() {
    static std::vector<std::unique_ptr<TMemoryStream>> streams;
    return streams;
}

std::unique_ptr<TMemoryStream> TakePending(TStream* stream) {
    auto& pending = PendingStreams();
    for (auto it = pending.begin(); it != pending.end(); ++it)
        if (it->get() == stream) {
            std::unique_ptr<TMemoryStream> taken = std::move(*it);
            pending.erase(it);
            return taken;
        }
    return nullptr;
}

// The data of the first source that has `url`, in their order. False when none has it.
bool ResolveSource(const WideString& url, TSourceBytes& source) {
    const WideString decoded = DecodeUrlEscapesAnyCase(url);
    if (IsFile(decoded)) return ReadFile(decoded, source);
    const WideString last = np::LastPathPart(url);
    if (IsFile(last)) return ReadFile(last, source);
    const WideString beside = ApplicationDirectory() + url;
    if (IsFile(beside)) return ReadFile(beside, source);
    if (FlashList)
        if (TvdFlashStream* stored = FlashList->Find(last)) {
            source.stored = stored->ShareData();
            source.Show(source.stored->Memory(), static_cast<size_t>(source.stored->GetSize()));
            return true;
        }
    if (StartsWith(url, u"/<stream>") || StartsWith(url, kStreamMarker)) {
        const WideString name = url[0] == u'/' ? url.substr(1) : url;
        if (std::unique_ptr<TMemoryStream> stream = TakePending(StreamFromPseudoName(name))) {
            ShowStream(std::move(stream), source);
            return true;
        }
        return false;
    }
    TMovieResource resource;
    if (FindMovieResource(url, resource)) {
        source.Show(resource.Data, resource.Size);
        return true;
    }
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Network requests: one stream a request, written as the download brings it, ended once.

namespace np {

TWriteOutcome WriteStream(TvdFlashDriverNS& driver, NPP npp, NPStream& stream, const uint8_t* data, size_t size,
                          size_t offset) {
    // A plugin that keeps answering that it can take nothing is asked this many times more,
    // then its stream ends: the data is here, nothing would bring it readiness later.
    constexpr int kStallLimit = 64;
    TvdFlashDriver::TCallGuard guard(driver, TvdFlashDriver::TCallKind::Player);
    size_t done = 0;
    int stalls = 0;
    while (done < size) {
        int32_t ready = INT32_MAX;
        if (Plugin().writeready) ready = Plugin().writeready(npp, &stream);
        if (!driver.StillFor(npp)) return TWriteOutcome::Gone;
        if (ready <= 0) {
            if (++stalls > kStallLimit) return TWriteOutcome::Stalled;
            continue;
        }
        if (!Plugin().write) return TWriteOutcome::Written;
        const size_t chunk = std::min<size_t>(size - done, static_cast<size_t>(ready));
        // The plugin copies what it keeps during the call; it never writes to the block.
        const int32_t took = Plugin().write(npp, &stream, static_cast<int32_t>(offset + done),
                                            static_cast<int32_t>(chunk), const_cast<uint8_t*>(data + done));
        if (!driver.StillFor(npp)) return TWriteOutcome::Gone;
        if (took < 0) return TWriteOutcome::Refused;
        if (took == 0) {
            if (++stalls > kStallLimit) return TWriteOutcome::Stalled;
            continue;
        }
        stalls = 0;
        done += std::min<size_t>(static_cast<size_t>(took), chunk);
    }
    return TWriteOutcome::Written;
}

TPluginDownload::TPluginDownload(TvdFlashDriverNS& driver, NPP npp, std::string url, void* notifyData)
    : driver_(driver), npp_(npp), url_(std::move(url)) {
    stream_.url = url_.c_str();  // the record stays at this address while the download lives
    stream_.notifyData = notifyData;
}

bool TPluginDownload::Start(const WideString& address) {
    uint16_t type = NP_NORMAL;
    char mime[sizeof kMime];
    std::copy(std::begin(kMime), std::end(kMime), mime);
    {
        TvdFlashDriver::TCallGuard guard(driver_, TvdFlashDriver::TCallKind::Player);
        opened_ = Plugin().newstream && Plugin().newstream(npp_, mime, &stream_, true, &type) == NPERR_NO_ERROR;
    }
    // Let go meanwhile: the teardown ends the stream.
    if (cut_) return true;
    // The download may end (and this object go) inside the call: nothing of it is used after.
    return StartDownload(std::wstring(WinStr(address)), this, &handle_);
}

void TPluginDownload::Detach() {
    cut_ = true;
    if (handle_) handle_->Detach();
}

void TPluginDownload::End(NPReason reason) {
    if (ended_) return;
    ended_ = true;
    if (!npp_->pdata) return;
    TvdFlashDriver::TCallGuard guard(driver_, TvdFlashDriver::TCallKind::Player);
    // NPAPI's order: the stream ends, then the request is answered.
    if (opened_ && Plugin().destroystream) Plugin().destroystream(npp_, &stream_, reason);
    opened_ = false;
    if (Plugin().urlnotify) Plugin().urlnotify(npp_, url_.c_str(), reason, stream_.notifyData);
}

void TPluginDownload::DownloadData(const uint8_t* data, size_t size, size_t offset) {
    if (cut_ || ended_) return;
    TvdFlashDriverNS& driver = driver_;
    const NPP npp = npp_;
    TvdFlashDriver::TCallGuard guard(driver);
    if (opened_ && size > 0) {
        const TWriteOutcome outcome = WriteStream(driver, npp, stream_, data, size, offset);
        if (outcome == TWriteOutcome::Gone || cut_) return;
        if (outcome != TWriteOutcome::Written) {
            // The plugin wants no more: the transfer is dropped and the stream ends.
            Detach();
            End(NPRES_USER_BREAK);
            if (driver.StillFor(npp)) driver.ForgetDownload(this);  // frees this object
            return;
        }
    }
    if (!driver.StillFor(npp) || !driver.InstanceLive) return;
    driver.SetPluginWindow();
    if (driver.StillFor(npp)) driver.ForceUpdate();
}

void TPluginDownload::DownloadDone(bool ok) {
    TvdFlashDriverNS& driver = driver_;
    TvdFlashDriver::TCallGuard guard(driver);
    End(ok ? NPRES_DONE : NPRES_NETWORK_ERR);
    driver.ForgetDownload(this);  // frees this object (when still the current instance's)
}

}  // namespace np

void TvdFlashDriverNS::StartPluginDownload(const WideString& url, const std::string& streamUrl, void* notifyData) {
    downloads_.push_back(std::make_unique<np::TPluginDownload>(*this, Instance, streamUrl, notifyData));
    np::TPluginDownload* download = downloads_.back().get();
    TCallGuard guard(*this);
    if (!download->Start(DecodeUrlEscapesAnyCase(url))) {
        // The download never started, so nothing else will end the request.
        download->End(NPRES_NETWORK_ERR);
        ForgetDownload(download);
    }
}

void TvdFlashDriverNS::ForgetDownload(np::TPluginDownload* download) {
    const auto it = std::find_if(downloads_.begin(), downloads_.end(),
                                 [download](const auto& owned) { return owned.get() == download; });
    if (it == downloads_.end()) return;
    std::unique_ptr<np::TPluginDownload> gone = std::move(*it);
    downloads_.erase(it);
}

void TvdFlashDriverNS::CreateStream(const WideString& requested, void* notifyData) {
    if (!Instance || Detached()) return;
    const NPP npp = Instance;
    // The request's instance and its stream stay alive to the end of this, whatever a handler does.
    TCallGuard guard(*this);
    WideString url = requested;
    if (StartsWith(url, kDummyOrigin)) url = url.substr(kDummyOrigin.size());
    if (StartsWith(url, u"file:///")) url = url.substr(8);
    const auto query = SplitQuery(url);
    const std::string streamUrl = WideToAnsi(url);

    TSourceBytes source;
    if (!ResolveSource(url, source)) {
        if (StartsWith(url, u"http:")) {
            StartPluginDownload(url, streamUrl, notifyData);
            return;
        }
        // Nothing has it: tell the plugin so, instead of leaving it waiting.
        if (Plugin().urlnotify) Plugin().urlnotify(npp, streamUrl.c_str(), NPRES_NETWORK_ERR, notifyData);
        return;
    }
    NPStream stream{};
    stream.url = streamUrl.c_str();
    stream.end = static_cast<uint32_t>(source.size);
    stream.notifyData = notifyData;
    uint16_t type = NP_NORMAL;
    char mime[sizeof kMime];
    std::copy(std::begin(kMime), std::end(kMime), mime);
    if (Plugin().newstream && Plugin().newstream(npp, mime, &stream, true, &type) == NPERR_NO_ERROR) {
        NPReason reason = NPRES_USER_BREAK;
        if (StillFor(npp) && WriteStream(*this, npp, stream, source.data, source.size, 0) == TWriteOutcome::Written)
            reason = NPRES_DONE;
        // A stream of an instance that was let go meanwhile ends here too: it is still alive.
        if (Plugin().destroystream) Plugin().destroystream(npp, &stream, reason);
        if (Plugin().urlnotify) Plugin().urlnotify(npp, streamUrl.c_str(), reason, notifyData);
    }
    source = {};
    for (const auto& [name, value] : query) {
        if (!StillFor(npp)) return;
        SetVariable(name, value);
    }
    if (!StillFor(npp) || !InstanceLive) return;
    SetPluginWindow();
    if (StillFor(npp)) ForceUpdate();
}

void TvdFlashDriverNS::SetPlayerVariables() {
    SetVariable(WideString(kPlayerSkinVar), Skin + u".swf");
    const std::string volume = std::to_string(Volume);
    SetVariable(WideString(kPlayerVolumeVar), WideString(volume.begin(), volume.end()));
}

void TvdFlashDriverNS::LoadMovie(const WideString& URL) {
    if (!PluginExists() || URL.empty() || !ScriptObject || Detached()) return;
    // From a handler the old instance is inside a call of its own: it is let go now and
    // destroyed once that call has returned; the new one starts at once.
    TCallGuard guard(*this);
    DestroyPlugin();
    CreatePlugin();
    if (!ScriptObject || Detached()) return;
    if (IsVideoName(URL)) {
        InvokeLoadMovie(WideString(kPlayerMovieName));
        SetPlayerVariables();
        SetVariable(WideString(kPlayerContentPathVar), WideString(kDummyOrigin) + URL);
        IsFLV = true;
    } else {
        InvokeLoadMovie(URL);
        IsFLV = false;
    }
}

void TvdFlashDriverNS::LoadMovieFromStream(TStream* Stream) {
    if (!PluginExists() || !ScriptObject || !Stream || Detached()) return;
    TCallGuard guard(*this);
    auto copy = std::make_unique<TMemoryStream>();
    const int64_t size = Stream->GetSize() - Stream->GetPosition();
    if (size > 0) copy->CopyFrom(*Stream, size);
    copy->SetPosition(0);
    const bool video = IsVideoStream(*copy);
    const WideString token = PublishStream(*copy);
    PendingStreams().push_back(std::move(copy));
    LoadedMovie.clear();
    if (video) {
        InvokeLoadMovie(WideString(kPlayerMovieName));
        SetPlayerVariables();
        SetVariable(WideString(kPlayerContentPathVar), StreamMovieUrl(token, true));
        IsFLV = true;
    } else {
        InvokeLoadMovie(StreamMovieUrl(token, false));
        IsFLV = false;
    }
}

}  // namespace vd
