// The ActiveX driver as the reference control's bind host: what LoadMovie and
// LoadMovieFromStream tell the control, how each name the control asks a moniker for resolves,
// and how the data reaches the control's callback (stored movies, resources, streams, files
// and http through urlmon), read back from the control's journal and from callbacks of the
// test's own.
#include "loopback_http.h"

#include "bind_test_support.h"
#include "vd_flashstore.h"
#include "vd_movienames.h"
#include "vd_movieres.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace vd;
using namespace vdtest;
using vd::win32::ComPtr;

namespace {

const ::testing::Environment* const kUnits = ::testing::AddGlobalTestEnvironment(new ActiveXUnits);

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::vector<uint8_t> ResourceBytes(std::u16string_view requested) {
    TMovieResource resource;
    EXPECT_TRUE(FindMovieResource(requested, resource));
    return std::vector<uint8_t>(resource.Data, resource.Data + resource.Size);
}

WideString Wide(const std::wstring& w) { return WideString(w.begin(), w.end()); }

void WriteFile(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

ComPtr<IBindHost> BindHostOf(TvdFlashDriverActiveX& driver) {
    ComPtr<IBindHost> host;
    EXPECT_EQ(driver.QueryService(IID_IBindHost, IID_IBindHost, reinterpret_cast<void**>(host.GetAddressOf())), S_OK);
    return host;
}

// CreateMoniker for name: its result, and the moniker it handed out.
HRESULT Moniker(IBindHost* host, const WideString& name, ComPtr<IMoniker>& moniker) {
    std::wstring text(name.begin(), name.end());
    return host->CreateMoniker(text.data(), nullptr, moniker.ReleaseAndGetAddressOf(), 0);
}

class BindHost : public DriverWithJournal {
protected:
    void SetUp() override {
        DriverWithJournal::SetUp();
        if (HasFatalFailure()) return;
        host_ = BindHostOf(*driver_);
    }
    void TearDown() override {
        host_.Reset();
        driver_.reset();
    }
    ComPtr<IBindHost> host_;
};

// ---- What the control is told to load -----------------------------------------------------------

TEST_F(BindHost, AStoredPlayerMovieIsServedInsteadOfTheBuiltInOneThenSkinVolumeAndAddress) {
    TvdFlashList store(nullptr);
    TvdFlashStream* item = store.GetFlashs()->Add();
    const std::vector<uint8_t> stored = Bytes("a stored player movie");
    TMemoryStream data;
    data.WriteBuffer(stored.data(), static_cast<int64_t>(stored.size()));
    item->LoadData(data);
    item->SetFlashStore(u"FlvPlayback.swf");
    driver_->Volume = 35;

    driver_->LoadMovie(u"C:\\media\\clip.flv");

    const int load = Find(hooks_, "LoadMovie layer=0 url=\"flvplayback.swf\"");
    ASSERT_GE(load, 0);
    const int created = Find(hooks_, "-> IBindHost::CreateMoniker \"flvplayback.swf\" hr=0x0", load);
    const int start = Find(hooks_, "BSC::OnStartBinding \"flvplayback.swf\"", created);
    const int progress = Find(hooks_, "BSC::OnProgress 100/100 status=6", start);
    const int data1 =
        Find(hooks_, "BSC::OnDataAvailable flags=5 size=" + std::to_string(stored.size()) + " tymed=4", progress);
    const int stop = Find(hooks_, "BSC::OnStopBinding hr=0x0 " + BytesAndSum(stored), data1);
    const int bound = Find(hooks_, "-> IMoniker::BindToStorage hr=0x0", stop);
    EXPECT_TRUE(created > load && start > created && progress > start && data1 > progress && stop > data1 &&
                bound > stop)
        << "the whole movie arrives in one sequence inside the bind";
    const int skin = Find(hooks_, "SetVariable \"flv.skin\" \"ClearOverAll.swf\"", bound);
    const int volume = Find(hooks_, "SetVariable \"flv.volume\" \"35\"", skin);
    const int address = Find(hooks_, "SetVariable \"flv.contentPath\" \"http://vdlocal/C:/media/clip.flv\"", volume);
    EXPECT_TRUE(skin > bound && volume > skin && address > volume);
    EXPECT_EQ(driver_->LoadedMovie, u"C:/media/clip.flv");
    EXPECT_TRUE(driver_->IsFLV);
    EXPECT_TRUE(driver_->FBindTarget.empty());
}

TEST_F(BindHost, ThePlayerMovieAndItsSkinComeFromTheResourcesAndAMissingVideoIsReportedAsFailed) {
    driver_->LoadMovie(u"D:\\missing\\clip.flv");

    const int player = Find(hooks_, "BSC::OnStopBinding hr=0x0 " + BytesAndSum(ResourceBytes(u"flvplayback.swf")));
    ASSERT_GE(player, 0);
    // The player movie asks for its skin by the name the host set.
    EXPECT_GE(Find(hooks_, "BSC::OnStopBinding hr=0x0 " + BytesAndSum(ResourceBytes(u"ClearOverAll.swf")), player), 0);
    // The video's address names a drive path that does not exist: the bind goes to urlmon with
    // nothing, and the control hears of the failure instead of waiting for ever.
    const int request = Find(hooks_, "request \"http://vdlocal/D:/missing/clip.flv\"");
    ASSERT_GE(request, 0);
    ASSERT_TRUE(PumpUntil([&] { return Find(hooks_, "BSC::OnStopBinding hr=0x8", request) >= 0; }));
    EXPECT_EQ(Find(hooks_, "BSC::OnStopBinding hr=0x0", request), -1);
}

TEST_F(BindHost, AMovieFromAStreamIsServedByItsTokenEachTimeItIsAsked) {
    const std::vector<uint8_t> movie = Bytes("CWS a movie held in a stream");
    TMemoryStream stream;
    stream.WriteBuffer(movie.data(), static_cast<int64_t>(movie.size()));
    stream.SetPosition(5);

    driver_->LoadMovieFromStream(&stream);

    const WideString token = PublishStream(stream);
    const std::string url = "http://vdlocal/<stream>" + WideToUtf8(token) + ".swf";
    EXPECT_GE(Find(hooks_, "LoadMovie layer=0 url=\"" + url + "\""), 0);
    EXPECT_GE(Find(hooks_, "BSC::OnStopBinding hr=0x0 " + BytesAndSum(movie)), 0);
    EXPECT_FALSE(driver_->IsFLV);
    EXPECT_TRUE(driver_->LoadedMovie.empty());

    // Asked again, the same stream is served again, from its start.
    RecordingCallback callback;
    const ComPtr<IBindCtx> context = BindContextFor(&callback);
    ComPtr<IMoniker> moniker;
    ASSERT_EQ(Moniker(host_.Get(), Wide(std::wstring(url.begin(), url.end())), moniker), S_OK);
    ASSERT_EQ(moniker->BindToStorage(context.Get(), nullptr, IID_IStream, nullptr), S_OK);
    ASSERT_TRUE(callback.stream);
    EXPECT_EQ(ReadAll(callback.stream.Get()), movie);
}

TEST_F(BindHost, AVideoStreamGoesThroughThePlayerMovieAddressFirst) {
    const std::vector<uint8_t> video = Bytes("FLV\x01 video");
    TMemoryStream stream;
    stream.WriteBuffer(video.data(), static_cast<int64_t>(video.size()));

    driver_->LoadMovieFromStream(&stream);

    const std::string token = WideToUtf8(PublishStream(stream));
    const int load = Find(hooks_, "LoadMovie layer=0 url=\"flvplayback.swf\"");
    const int address =
        Find(hooks_, "SetVariable \"flv.contentPath\" \"http://vdlocal/<stream>" + token + ".flv\"", load);
    const int skin = Find(hooks_, "SetVariable \"flv.skin\"", address);
    const int volume = Find(hooks_, "SetVariable \"flv.volume\"", skin);
    EXPECT_TRUE(load >= 0 && address > load && skin > address && volume > skin);
    // The player movie asks for the video by that address and gets the stream.
    EXPECT_GE(Find(hooks_, "BSC::OnStopBinding hr=0x0 " + BytesAndSum(video), address), 0);
    EXPECT_TRUE(driver_->IsFLV);
}

// ---- Names the control asks monikers for ------------------------------------------------------

TEST_F(BindHost, CreateMonikerHandsOutTheDriverAndRemembersWhatTheNameResolvedTo) {
    WriteFile(ExeDir() + L"ClearOverAll.swf", Bytes("a file beside the executable"));
    WriteFile(ExeDir() + L"beside.swf", Bytes("beside"));
    const std::wstring dir = ExeDir();
    WideString slashedDir;
    for (wchar_t c : dir) slashedDir += c == L'\\' ? u'/' : static_cast<char16_t>(c);

    ComPtr<IMoniker> moniker;
    ComPtr<IMoniker> self;
    ASSERT_EQ(driver_->ClientSite()->QueryInterface(IID_IMoniker, reinterpret_cast<void**>(self.GetAddressOf())), S_OK);

    EXPECT_EQ(Moniker(host_.Get(), u"ClearOverAll.swf", moniker), S_OK);
    EXPECT_EQ(moniker.Get(), self.Get());
    EXPECT_EQ(driver_->FBindTarget, u"<res>ClearOverAll.swf") << "resources come before the directory";

    EXPECT_EQ(Moniker(host_.Get(), u"http://vdlocal/beside.swf", moniker), S_OK);
    EXPECT_EQ(driver_->FBindTarget, slashedDir + u"beside.swf");

    EXPECT_EQ(Moniker(host_.Get(), u"http://vdlocal/MOVIE.SWF", moniker), E_NOTIMPL);
    EXPECT_EQ(moniker.Get(), nullptr);
    EXPECT_EQ(driver_->FBindTarget, slashedDir + u"beside.swf") << "a refused name leaves the target";

    EXPECT_EQ(Moniker(host_.Get(), u"http://example.com/page", moniker), S_OK);
    EXPECT_EQ(driver_->FBindTarget, u"http://example.com/page");

    // The control's own load of a file beside the executable.
    hooks_.clearJournal();
    driver_->LoadMovie(u"beside.swf");
    ASSERT_TRUE(PumpUntil([&] { return Find(hooks_, "BSC::OnStopBinding") >= 0; }));
    EXPECT_GE(Find(hooks_, "BSC::OnStopBinding hr=0x0 " + BytesAndSum(Bytes("beside"))), 0);
}

TEST_F(BindHost, TheOtherMonikerMembersAreNotImplementedAndClearWhatTheyReturn) {
    ComPtr<IMoniker> m;
    ASSERT_EQ(driver_->ClientSite()->QueryInterface(IID_IMoniker, reinterpret_cast<void**>(m.GetAddressOf())), S_OK);
    IMoniker* out = reinterpret_cast<IMoniker*>(1);
    EXPECT_EQ(m->Reduce(nullptr, 0, nullptr, &out), E_NOTIMPL);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<IMoniker*>(1);
    EXPECT_EQ(m->ComposeWith(nullptr, FALSE, &out), E_NOTIMPL);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<IMoniker*>(1);
    EXPECT_EQ(m->Inverse(&out), E_NOTIMPL);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<IMoniker*>(1);
    EXPECT_EQ(m->CommonPrefixWith(nullptr, &out), E_NOTIMPL);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<IMoniker*>(1);
    EXPECT_EQ(m->RelativePathTo(nullptr, &out), E_NOTIMPL);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<IMoniker*>(1);
    EXPECT_EQ(m->ParseDisplayName(nullptr, nullptr, nullptr, nullptr, &out), E_NOTIMPL);
    EXPECT_EQ(out, nullptr);
    IEnumMoniker* e = reinterpret_cast<IEnumMoniker*>(1);
    EXPECT_EQ(m->Enum(TRUE, &e), E_NOTIMPL);
    EXPECT_EQ(e, nullptr);
    DWORD hash = 0;
    EXPECT_EQ(m->Hash(&hash), E_NOTIMPL);
    EXPECT_EQ(m->IsEqual(m.Get()), E_NOTIMPL);
    EXPECT_EQ(m->IsRunning(nullptr, nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(m->IsDirty(), E_NOTIMPL);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(host_->MonikerBindToStorage(nullptr, nullptr, nullptr, IID_IStream, &object), S_OK);
    EXPECT_EQ(object, nullptr);
}

// ---- Binding ---------------------------------------------------------------------------------------

TEST_F(BindHost, ABindWithoutBindContextOrCallbackFailsAndStillConsumesTheTarget) {
    ComPtr<IMoniker> moniker;
    ASSERT_EQ(Moniker(host_.Get(), u"ClearOverAll.swf", moniker), S_OK);
    EXPECT_EQ(moniker->BindToStorage(nullptr, nullptr, IID_IStream, nullptr), E_FAIL);
    EXPECT_TRUE(driver_->FBindTarget.empty());

    ComPtr<IBindCtx> bare;
    ASSERT_EQ(CreateBindCtx(0, &bare), S_OK);
    ASSERT_EQ(Moniker(host_.Get(), u"ClearOverAll.swf", moniker), S_OK);
    EXPECT_EQ(moniker->BindToStorage(bare.Get(), nullptr, IID_IStream, nullptr), E_FAIL);
    EXPECT_TRUE(driver_->FBindTarget.empty());
}

// Mended: a stored movie removed before its bind was answered with success and no data, so the
// control waited for ever. It is refused like any other missing source.
TEST_F(BindHost, AStoredMovieRemovedBeforeItsBindIsRefusedWithoutCallingTheCallback) {
    auto store = std::make_unique<TvdFlashList>(nullptr);
    store->GetFlashs()->Add()->SetFlashStore(u"gone.swf");
    ComPtr<IMoniker> moniker;
    ASSERT_EQ(Moniker(host_.Get(), u"http://vdlocal/gone.swf", moniker), S_OK);
    ASSERT_EQ(driver_->FBindTarget, u"<list>gone.swf");
    store.reset();

    RecordingCallback callback;
    const ComPtr<IBindCtx> context = BindContextFor(&callback);
    EXPECT_EQ(moniker->BindToStorage(context.Get(), nullptr, IID_IStream, nullptr), E_FAIL);
    EXPECT_TRUE(callback.calls.empty());
    EXPECT_TRUE(driver_->FBindTarget.empty());

    // So is a stream that is no longer there.
    std::string url;
    {
        TMemoryStream stream;
        url = "http://vdlocal/<stream>" + WideToUtf8(PublishStream(stream)) + ".swf";
    }
    ASSERT_EQ(Moniker(host_.Get(), Wide(std::wstring(url.begin(), url.end())), moniker), S_OK);
    EXPECT_EQ(moniker->BindToStorage(context.Get(), nullptr, IID_IStream, nullptr), E_FAIL);
    EXPECT_TRUE(callback.calls.empty());
}

// Mended: the delivered stream read its source without owning it, and the source went right
// after the delivery; a control reading later read freed memory.
TEST_F(BindHost, TheDeliveredStreamStaysReadableAfterItsSourceIsGone) {
    const std::vector<uint8_t> movie = Bytes("stored bytes the control reads later");
    auto store = std::make_unique<TvdFlashList>(nullptr);
    TvdFlashStream* item = store->GetFlashs()->Add();
    TMemoryStream data;
    data.WriteBuffer(movie.data(), static_cast<int64_t>(movie.size()));
    item->LoadData(data);
    item->SetFlashStore(u"later.swf");

    RecordingCallback callback;
    {
        const ComPtr<IBindCtx> context = BindContextFor(&callback);
        ComPtr<IMoniker> moniker;
        ASSERT_EQ(Moniker(host_.Get(), u"later.swf", moniker), S_OK);
        ASSERT_EQ(moniker->BindToStorage(context.Get(), nullptr, IID_IStream, nullptr), S_OK);
    }
    const std::vector<std::string> sequence = {"OnStartBinding", "OnProgress 100/100 6",
                                               "OnDataAvailable 5 " + std::to_string(movie.size()), "OnStopBinding"};
    EXPECT_EQ(callback.calls, sequence);
    EXPECT_EQ(callback.stopResult, S_OK);
    store.reset();
    ASSERT_TRUE(callback.stream);
    EXPECT_EQ(ReadAll(callback.stream.Get()), movie);
}

TEST(BindHostKeptStream, TheReferenceControlReadsTheStreamAfterTheBindReturned) {
    const auto driver = NewDriver("keep_stream");
    ControlHooks hooks;
    ASSERT_TRUE(hooks.loaded);
    hooks.clearJournal();
    const std::vector<uint8_t> movie = Bytes("a movie read once the bind is over");
    auto stream = std::make_unique<TMemoryStream>();
    stream->WriteBuffer(movie.data(), static_cast<int64_t>(movie.size()));

    driver->LoadMovieFromStream(stream.get());

    const int bound = Find(hooks, "-> IMoniker::BindToStorage hr=0x0");
    ASSERT_GE(bound, 0);
    EXPECT_GE(Find(hooks, "BSC::ReadKept " + BytesAndSum(movie), bound), 0);
}

// ---- urlmon: files and http through the moniker binding where the pull stream is missing -------

TEST_F(BindHost, AFileArrivesThroughUrlmon) {
    wchar_t temp[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring path = std::wstring(temp) + L"vd_ax_bind_movie.swf";
    const std::vector<uint8_t> movie = Bytes("a movie file on a drive path");
    WriteFile(path, movie);

    driver_->LoadMovie(Wide(path));

    ASSERT_TRUE(PumpUntil([&] { return Find(hooks_, "BSC::OnStopBinding") >= 0; }));
    EXPECT_GE(Find(hooks_, "BSC::OnStopBinding hr=0x0 " + BytesAndSum(movie)), 0);
    DeleteFileW(path.c_str());
}

// Winsock for the test's own server, for as long as it is needed.
struct TWinsock {
    WSADATA data{};
    const bool started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    ~TWinsock() {
        if (started) WSACleanup();
    }
};

TEST_F(BindHost, AnHttpMovieArrivesThroughUrlmonAndARefusedConnectionIsReported) {
    const TWinsock winsock;
    ASSERT_TRUE(winsock.started);
    TLoopbackServer server;
    ASSERT_TRUE(server.Running());
    const std::vector<uint8_t> movie = Pattern(7);
    server.Publish("/movie.swf", movie);

    driver_->LoadMovie(Wide(server.Url("/movie.swf")));

    ASSERT_TRUE(PumpUntil([&] { return Find(hooks_, "BSC::OnStopBinding") >= 0; }));
    EXPECT_GE(Find(hooks_, "BSC::OnStopBinding hr=0x0 " + BytesAndSum(movie)), 0);
    // urlmon found the control's own negotiation through the relay: its header went out.
    EXPECT_GE(Find(hooks_, "BSC::BeginningTransaction"), 0);
    EXPECT_NE(server.Request("/movie.swf").find("X-Vdrp-Bind: reference"), std::string::npos)
        << server.Request("/movie.swf");

    // Nobody listens on the port of a server that is gone.
    std::wstring gone;
    {
        TLoopbackServer closed;
        gone = closed.Url("/gone.swf");
    }
    RecordingCallback callback;
    {
        const ComPtr<IBindCtx> context = BindContextFor(&callback);
        ComPtr<IMoniker> moniker;
        ASSERT_EQ(Moniker(host_.Get(), u"http://vdlocal/" + Wide(gone), moniker), S_OK);
        EXPECT_EQ(moniker->BindToStorage(context.Get(), nullptr, IID_IStream, nullptr), S_OK);
    }
    ASSERT_TRUE(PumpUntil([&] { return !callback.calls.empty() && callback.calls.back() == "OnStopBinding"; }));
    EXPECT_TRUE(FAILED(callback.stopResult));
    EXPECT_EQ(std::count(callback.calls.begin(), callback.calls.end(), "OnStopBinding"), 1);
}

TEST_F(BindHost, AnHttpBindStillRunningWhenTheDriverGoesReachesTheControlNoMore) {
    const TWinsock winsock;
    ASSERT_TRUE(winsock.started);
    TLoopbackServer server;
    ASSERT_TRUE(server.Running());
    server.Publish("/big.swf", Pattern(5));  // sent in pieces, a while
    driver_->LoadMovie(Wide(server.Url("/big.swf")));
    ASSERT_TRUE(PumpUntil([&] { return Find(hooks_, "BSC::OnStartBinding") >= 0; }));
    host_.Reset();
    driver_.reset();
    hooks_.clearJournal();
    // The bind is aborted with the driver: what urlmon still has to say stops at the relay.
    PumpUntil([&] { return server.Finished("/big.swf"); });
    PumpFor(300);
    EXPECT_TRUE(Only(hooks_.Journal(), {"BSC::"}).empty());
}

TEST_F(BindHost, ATargetUrlmonCannotOpenIsReportedToTheCallbackOnce) {
    RecordingCallback callback;
    const ComPtr<IBindCtx> context = BindContextFor(&callback);
    ComPtr<IMoniker> moniker;
    // A drive path that does not exist leaves the target empty.
    ASSERT_EQ(Moniker(host_.Get(), u"http://vdlocal/D:/missing/clip.flv", moniker), S_OK);
    ASSERT_TRUE(driver_->FBindTarget.empty());
    EXPECT_EQ(moniker->BindToStorage(context.Get(), nullptr, IID_IStream, nullptr), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return !callback.calls.empty() && callback.calls.back() == "OnStopBinding"; }));
    EXPECT_TRUE(FAILED(callback.stopResult));
    EXPECT_EQ(std::count(callback.calls.begin(), callback.calls.end(), "OnStopBinding"), 1);
    EXPECT_EQ(std::count_if(callback.calls.begin(), callback.calls.end(),
                            [](const std::string& c) { return c.rfind("OnDataAvailable", 0) == 0; }),
              0);
}

}  // namespace
