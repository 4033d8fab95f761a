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

TPluginDownload::TPluginDownload(TvdFlashDriverNS& driver, std::string url, void* notifyData)
    : driver_(driver), url_(std::move(url)) {
    stream_.url = url_.c_str();  // the record stays at this address while the download lives
    stream_.notifyData = notifyData;
}

bool TPluginDownload::Start(const WideString& address) {
    uint16_t type = NP_NORMAL;
    char mime[sizeof kMime];
    std::copy(std::begin(kMime), std::end(kMime), mime);
    opened_ =
        Plugin().newstream && Plugin().newstream(&driver_.Instance, mime, &stream_, true, &type) == NPERR_NO_ERROR;
    return StartDownload(std::wstring(WinStr(address)), this, &handle_);
}

void TPluginDownload::Detach() {
    if (handle_) handle_->Detach();
}

void TPluginDownload::End(NPReason reason) {
    if (Plugin().urlnotify) Plugin().urlnotify(&driver_.Instance, url_.c_str(), reason, stream_.notifyData);
    if (opened_ && Plugin().destroystream) Plugin().destroystream(&driver_.Instance, &stream_, reason);
    opened_ = false;
}

void TPluginDownload::DownloadData(const uint8_t* data, size_t size, size_t offset) {
    if (opened_ && Plugin().write && size > 0)
        Plugin().write(&driver_.Instance, &stream_, static_cast<int32_t>(offset), static_cast<int32_t>(size),
                       const_cast<uint8_t*>(data));
    if (!driver_.InstanceLive) return;
    driver_.SetPluginWindow();
    driver_.ForceUpdate();
}

void TPluginDownload::DownloadDone(bool ok) {
    End(ok ? NPRES_DONE : NPRES_NETWORK_ERR);
    driver_.ForgetDownload(this);  // frees this object: nothing of it may be used after
}

}  // namespace np

void TvdFlashDriverNS::StartPluginDownload(const WideString& url, const std::string& streamUrl, void* notifyData) {
    downloads_.push_back(std::make_unique<np::TPluginDownload>(*this, streamUrl, notifyData));
    np::TPluginDownload* download = downloads_.back().get();
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

void TvdFlashDriverNS::DetachDownloads() {
    for (const auto& download : downloads_) download->Detach();
    downloads_.clear();
}

void TvdFlashDriverNS::CreateStream(const WideString& requested, void* notifyData) {
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
        if (Plugin().urlnotify) Plugin().urlnotify(&Instance, streamUrl.c_str(), NPRES_NETWORK_ERR, notifyData);
        return;
    }
    NPStream stream{};
    stream.url = streamUrl.c_str();
    stream.end = static_cast<uint32_t>(source.size);
    stream.notifyData = notifyData;
    uint16_t type = NP_NORMAL;
    char mime[sizeof kMime];
    std::copy(std::begin(kMime), std::end(kMime), mime);
    if (Plugin().newstream && Plugin().newstream(&Instance, mime, &stream, true, &type) == NPERR_NO_ERROR) {
        // The plugin copies what it keeps during the call; it never writes to the block.
        if (Plugin().write)
            Plugin().write(&Instance, &stream, 0, static_cast<int32_t>(source.size), const_cast<uint8_t*>(source.data));
        if (Plugin().urlnotify) Plugin().urlnotify(&Instance, streamUrl.c_str(), NPRES_DONE, notifyData);
        if (Plugin().destroystream) Plugin().destroystream(&Instance, &stream, NPRES_DONE);
    }
    source = {};
    for (const auto& [name, value] : query) SetVariable(name, value);
    if (!InstanceLive) return;
    SetPluginWindow();
    ForceUpdate();
}

void TvdFlashDriverNS::SetPlayerVariables() {
    SetVariable(WideString(kPlayerSkinVar), Skin + u".swf");
    const std::string volume = std::to_string(Volume);
    SetVariable(WideString(kPlayerVolumeVar), WideString(volume.begin(), volume.end()));
}

void TvdFlashDriverNS::LoadMovie(const WideString& URL) {
    if (!PluginExists() || URL.empty() || !ScriptObject) return;
    DestroyPlugin();
    CreatePlugin();
    if (!ScriptObject) return;
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
    if (!PluginExists() || !ScriptObject || !Stream) return;
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
