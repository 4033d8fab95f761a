// TvdFlashDriverActiveX drawing the reference control into real buffers (opaque and alpha),
// the input it forwards with packed parameters and the menu-window rule, the events that reach
// a player's handlers, and the scripting and playback calls, each checked in the control's
// journal and in the pixels read back.
#include "ax_test_support.h"

#include <cstdio>
#include <utility>

#include "vd_forms.h"
#include "vd_streams.h"

using namespace vd;
using namespace vdtest;

namespace {

constexpr uint32_t kTeal = 0xFF008080;  // opaque background
constexpr uint32_t kAlphaMode = 0x00000000;

using vdtest::Hex;

class ActiveXRender : public ::testing::Test {
protected:
    void SetUp() override {
        SetEnvironmentVariableA("VDRP_FAULTS", "");
        driver = MakeDriver(80, 80, kTeal);
        ASSERT_TRUE(hooks.loaded = hooks.Load(GetModuleHandleW(L"vdflashax.dll")));
        hooks.module = GetModuleHandleW(L"vdflashax.dll");
    }
    // A movie the driver hands the control from a stream: a white panel and a progress bar.
    void Play(TvdFlashDriverActiveX& d, int frames = 4, uint32_t background = 0xFFFFFF) {
        const auto bytes = MovieBytes(frames, background);
        movie = std::make_unique<TMemoryStream>();
        movie->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        movie->SetPosition(0);
        d.LoadMovieFromStream(movie.get());
        ASSERT_EQ(d.GetTotalFrames(), frames);
    }
    void EraseWithBackground(TvdFlashDriverActiveX& d) {
        d.OnEraseBackground = [&d](TObject*, const TRect& r) {
            FillLongwordRect(d.Bits, d.Width, d.Height, r.Left, r.Top, r.Right, r.Bottom, d.Background);
        };
    }
    std::vector<std::string> Messages() const { return hooks.Lines("IOleInPlaceObjectWindowless::OnWindowMessage"); }
    static std::string Message(unsigned msg, uintptr_t wParam, uintptr_t lParam) {
        return "IOleInPlaceObjectWindowless::OnWindowMessage msg=" + Hex(msg) + " wParam=" + Hex(wParam) +
               " lParam=" + Hex(lParam);
    }
    std::unique_ptr<TMemoryStream> movie;
    std::unique_ptr<TvdFlashDriverActiveX> driver;
    ControlHooks hooks;
};

// ---- Painting -------------------------------------------------------------------------------

TEST_F(ActiveXRender, ASizeTheBufferCannotHaveDrawsAndReportsNothing) {
    for (uint32_t background : {kTeal, kAlphaMode}) {
        for (const auto& [w, h] : {std::pair{0, 0}, std::pair{-5, 10}, std::pair{60000, 60000}}) {
            auto d = MakeDriver(40, 30, background);
            int reports = 0;
            d->OnPaint = [&](TObject*, const TRect&) { ++reports; };
            d->OnEraseBackground = [&](TObject*, const TRect&) { ++reports; };
            hooks.clearJournal();
            d->Resize(w, h);
            EXPECT_EQ(d->Width, 0);
            EXPECT_EQ(d->Bits, nullptr);
            d->ForceUpdate();
            EXPECT_TRUE(hooks.Lines("IViewObject::Draw").empty()) << w << "x" << h;
            EXPECT_EQ(reports, 0) << w << "x" << h;
            d->Resize(20, 10);  // a size it can have: drawn and reported again
            d->ForceUpdate();
            EXPECT_FALSE(hooks.Lines("IViewObject::Draw").empty());
            EXPECT_GT(reports, 0);
        }
    }
}

TEST_F(ActiveXRender, OpaqueRepaintErasesTheRectangleThenDrawsTheMovieOverIt) {
    TvdFlashDriverActiveX& d = *driver;
    EraseWithBackground(d);
    std::vector<TRect> painted, erased;
    d.OnPaint = [&](TObject* sender, const TRect& r) {
        EXPECT_EQ(sender, &d);
        painted.push_back(r);
    };
    Play(d);
    auto erase = d.OnEraseBackground;
    d.OnEraseBackground = [&](TObject* s, const TRect& r) {
        erased.push_back(r);
        erase(s, r);
    };
    painted.clear();
    hooks.clearJournal();
    d.ForceUpdate();
    EXPECT_EQ(hooks.Lines("IViewObject::Draw"),
              std::vector<std::string>{"IViewObject::Draw aspect=16 lindex=-1 bounds=0,0,80,80"});
    EXPECT_EQ(erased, std::vector<TRect>{Rect(0, 0, 80, 80)});
    EXPECT_EQ(painted, std::vector<TRect>{Rect(0, 0, 80, 80)});
    // Outside the movie's panel the background stays; the bar is opaque; the panel is half.
    EXPECT_EQ(Pixel(d, 2, 2), kTeal);
    EXPECT_EQ(Rgb(Pixel(d, 25, 40)), 0xF0A030u);  // first quarter of the bar: done
    EXPECT_EQ(Rgb(Pixel(d, 50, 40)), 0x202020u);  // the rest of the track
    const uint32_t panel = Rgb(Pixel(d, 15, 15));
    EXPECT_NEAR(static_cast<int>(panel >> 16), 128, 2);  // white at half over teal's 0 red
}

TEST_F(ActiveXRender, AlphaRepaintDrawsOverBlackAndWhiteAndKeepsTheCoverage) {
    auto d = MakeDriver(80, 80, kAlphaMode);
    ASSERT_NE(d->WhiteBits, nullptr);
    Play(*d);
    hooks.clearJournal();
    d->ForceUpdate();
    EXPECT_EQ(hooks.Lines("IViewObject::Draw").size(), 2u);
    EXPECT_EQ(Pixel(*d, 2, 2), 0u);             // untouched: transparent, all zero
    EXPECT_EQ(Pixel(*d, 25, 40), 0xFFF0A030u);  // opaque: colour kept, alpha 255
    EXPECT_EQ(Pixel(*d, 50, 40), 0xFF202020u);
    const uint32_t panel = Pixel(*d, 15, 15);  // white at half coverage
    const uint32_t a = panel >> 24;
    EXPECT_NEAR(static_cast<int>(a), 128, 2);
    // Premultiplied once: white's channels equal the coverage (not darkened a second time).
    EXPECT_EQ((panel >> 16) & 0xFF, a);
    EXPECT_EQ((panel >> 8) & 0xFF, a);
    EXPECT_EQ(panel & 0xFF, a);
}

TEST_F(ActiveXRender, DirtyRectanglesOfTheControlAreRenderedAtOnceAndCutToTheBuffer) {
    TvdFlashDriverActiveX& d = *driver;
    EraseWithBackground(d);
    std::vector<TRect> painted;
    d.OnPaint = [&](TObject*, const TRect& r) { painted.push_back(r); };
    Play(d);
    // The control's timer: the bar grows and the control reports what changed.
    painted.clear();
    hooks.clearJournal();
    hooks.step(1);
    const auto reported = hooks.Lines("-> InvalidateRect");
    ASSERT_FALSE(reported.empty());
    ASSERT_EQ(painted.size(), reported.size());
    const TRect& r = painted[0];
    EXPECT_EQ(reported[0], "-> InvalidateRect " + std::to_string(r.Left) + "," + std::to_string(r.Top) + "," +
                               std::to_string(r.Right) + "," + std::to_string(r.Bottom));
    EXPECT_EQ(Rgb(Pixel(d, 35, 40)), 0xF0A030u);  // second frame: half the bar
    // A rectangle past the buffer is cut to it; none at all means the whole buffer.
    const auto site = SiteFace<IOleInPlaceSiteWindowless>(d, IID_IOleInPlaceSiteWindowless);
    painted.clear();
    const RECT past{70, 60, 200, 300};
    EXPECT_EQ(site->InvalidateRect(&past, TRUE), S_OK);
    EXPECT_EQ(site->InvalidateRect(nullptr, FALSE), S_OK);
    EXPECT_EQ(painted, (std::vector<TRect>{Rect(70, 60, 80, 80), Rect(0, 0, 80, 80)}));
}

TEST_F(ActiveXRender, UpdateRectanglesAreOutlinedBeforeThePlayerIsTold) {
    TvdFlashDriverActiveX& d = *driver;
    EraseWithBackground(d);
    d.ShowUpdateRects = true;
    uint32_t cornerAtPaint = 0, insideAtPaint = 0;
    d.OnPaint = [&](TObject*, const TRect&) {
        cornerAtPaint = Pixel(d, 20, 20);
        insideAtPaint = Pixel(d, 30, 30);
    };
    const RECT r{20, 20, 40, 40};
    SiteFace<IOleInPlaceSiteWindowless>(d, IID_IOleInPlaceSiteWindowless)->InvalidateRect(&r, FALSE);
    EXPECT_EQ(Rgb(cornerAtPaint), 0xFF0000u);
    EXPECT_EQ(insideAtPaint, kTeal);
}

TEST_F(ActiveXRender, ResizingSetsTheObjectRectanglesAndRepaintsTheNewBuffer) {
    TvdFlashDriverActiveX& d = *driver;
    std::vector<TRect> painted;
    d.OnPaint = [&](TObject*, const TRect& r) { painted.push_back(r); };
    hooks.clearJournal();
    d.Resize(60, 50);
    EXPECT_EQ(hooks.Lines("IOleInPlaceObject::SetObjectRects"),
              std::vector<std::string>(2, "IOleInPlaceObject::SetObjectRects pos=0,0,60,50 clip=0,0,60,50"));
    EXPECT_EQ(painted, std::vector<TRect>{Rect(0, 0, 60, 50)});
    // A change of mode rebuilds the buffers and repaints in the new one.
    painted.clear();
    d.SetBackground(kAlphaMode);
    EXPECT_NE(d.WhiteBits, nullptr);
    EXPECT_EQ(painted, std::vector<TRect>{Rect(0, 0, 60, 50)});
}

// ---- Input ----------------------------------------------------------------------------------

TEST_F(ActiveXRender, MouseMessagesCarryKeyStateAndPackedPointAndThenTheCursor) {
    TvdFlashDriverActiveX& d = *driver;
    hooks.clearJournal();
    d.MouseDown(mbLeft, TShiftState{ssShift, ssLeft}, 5, 7);
    const std::string cursor = Message(WM_SETCURSOR, 0, 0x2000001);
    EXPECT_EQ(Messages(), (std::vector<std::string>{Message(WM_LBUTTONDOWN, MK_SHIFT | MK_LBUTTON, 0x70005), cursor}));
    hooks.clearJournal();
    d.MouseMove(TShiftState{ssCtrl, ssAlt}, -1, 300);
    d.MouseUp(mbRight, TShiftState{}, 3, 4);
    bool handled = true;
    d.MouseWheel(TShiftState{ssCtrl}, 300, 200, -120, handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(Messages(), (std::vector<std::string>{Message(WM_MOUSEMOVE, MK_CONTROL | 0x20, 0x12CFFFF), cursor,
                                                    Message(WM_RBUTTONUP, 0, 0x40003), cursor,
                                                    Message(WM_MOUSEWHEEL, 0xFF880008, 0xC8012C), cursor}));
    // With the cursor left alone, only the message itself.
    d.DisableFlashCursor = true;
    hooks.clearJournal();
    d.MouseDown(mbLeft, TShiftState{}, 1, 2);
    EXPECT_EQ(Messages(), std::vector<std::string>{Message(WM_LBUTTONDOWN, 0, 0x20001)});
}

TEST_F(ActiveXRender, RightPressWithTheMenuDisabledGetsNoWindow) {
    TvdFlashDriverActiveX& d = *driver;
    ASSERT_TRUE(d.DisableFlashMenu);
    hooks.clearJournal();
    d.MouseDown(mbRight, TShiftState{ssRight}, 5, 5);
    EXPECT_EQ(hooks.Lines("IOleInPlaceObjectWindowless::OnWindowMessage msg=0x204"),
              std::vector<std::string>{Message(WM_RBUTTONDOWN, MK_RBUTTON, 0x50005)});
    EXPECT_EQ(hooks.Lines("-> GetWindow for menu"),
              std::vector<std::string>{"-> GetWindow for menu hr=0x80004005 hwnd=0x0"});
}

TEST_F(ActiveXRender, RightPressWithTheMenuAllowedIsPlacedInTheParentWindowOnce) {
    auto form = std::make_unique<TForm>(nullptr);
    form->SetBounds(10, 10, 300, 200);
    form->HandleNeeded();
    auto* p = new TvdFlashPlayer(form.get());
    p->SetParent(form.get());
    p->SetBounds(10, 20, 80, 60);
    p->SetPlugin(vdActiveX);
    p->SetDisableFlashMenu(false);
    auto* d = dynamic_cast<TvdFlashDriverActiveX*>(p->Driver());
    ASSERT_NE(d, nullptr);
    hooks.clearJournal();
    d->MouseDown(mbRight, TShiftState{}, 5, 5);
    EXPECT_EQ(hooks.Lines("IOleInPlaceObjectWindowless::OnWindowMessage msg=0x204"),
              std::vector<std::string>{Message(WM_RBUTTONDOWN, 0, 0x19000F)});
    EXPECT_EQ(hooks.Lines("-> GetWindow for menu"),
              std::vector<std::string>{"-> GetWindow for menu hr=0x0 hwnd=" +
                                       Hex(reinterpret_cast<uintptr_t>(form->Handle()))});
    // The window was for that press only.
    HWND h = reinterpret_cast<HWND>(1);
    EXPECT_FALSE(d->MenuWindowRequest);
    EXPECT_EQ(SiteFace<IOleInPlaceSiteWindowless>(*d, IID_IOleInPlaceSiteWindowless)->GetWindow(&h), E_FAIL);
    EXPECT_EQ(h, nullptr);
    // A left press never asks for one.
    hooks.clearJournal();
    d->MouseDown(mbLeft, TShiftState{}, 5, 5);
    EXPECT_EQ(hooks.Lines("IOleInPlaceObjectWindowless::OnWindowMessage msg=0x201"),
              std::vector<std::string>{Message(WM_LBUTTONDOWN, 0, 0x50005)});
}

TEST_F(ActiveXRender, KeysAreClearedWhenTheControlConsumesThem) {
    TvdFlashDriverActiveX& d = *driver;
    hooks.clearJournal();
    WORD key = 'A';
    d.KeyDown(key, TShiftState{ssCtrl});
    EXPECT_EQ(key, 0);
    key = VK_F5;
    d.KeyUp(key, TShiftState{ssShift});
    EXPECT_EQ(key, 0);
    char16_t ch = u'A';
    d.KeyPress(ch, TShiftState{});
    EXPECT_EQ(ch, u'\0');
    EXPECT_EQ(Messages(), (std::vector<std::string>{Message(WM_KEYDOWN, 'A', MK_CONTROL),
                                                    Message(WM_KEYUP, VK_F5, MK_SHIFT), Message(WM_CHAR, 'A', 0)}));
}

TEST_F(ActiveXRender, CharactersReachTheControlInTheSystemCodePage) {
    TvdFlashDriverActiveX& d = *driver;
    hooks.clearJournal();
    const UINT acp = GetACP();
    if (acp == 932) {
        // Hiragana A is two bytes in Shift-JIS, lead byte first.
        char16_t ch = u'\u3042';
        d.KeyPress(ch, TShiftState{});
        EXPECT_EQ(ch, u'\0');
        EXPECT_EQ(Messages(), (std::vector<std::string>{Message(WM_CHAR, 0x82, 0), Message(WM_CHAR, 0xA0, 0)}));
    } else if (acp == 1252) {
        char16_t ch = u'\u00E9';  // e acute: one byte, 0xE9, not the UTF-16 unit's low byte by chance
        d.KeyPress(ch, TShiftState{});
        char16_t euro = u'\u20AC';  // the euro sign: 0x80 in this code page
        d.KeyPress(euro, TShiftState{});
        EXPECT_EQ(Messages(), (std::vector<std::string>{Message(WM_CHAR, 0xE9, 0), Message(WM_CHAR, 0x80, 0)}));
    } else {
        GTEST_SKIP() << "system code page " << acp << " is neither 1252 nor 932";
    }
}

// ---- Events ---------------------------------------------------------------------------------

class ActiveXEvents : public ActiveXRender {
protected:
    void SetUp() override {
        ActiveXRender::SetUp();
        form = std::make_unique<TForm>(nullptr);
        form->HandleNeeded();
        player = new TvdFlashPlayer(form.get());
        player->SetParent(form.get());
        player->SetPlugin(vdActiveX);
        ASSERT_NE(dynamic_cast<TvdFlashDriverActiveX*>(player->Driver()), nullptr);
    }
    void TearDown() override { Application().SetOnException(nullptr); }
    std::unique_ptr<TForm> form;
    TvdFlashPlayer* player = nullptr;
};

TEST_F(ActiveXEvents, FSCommandReachesThePlayersHandlerWithTheDriverAsSender) {
    std::vector<std::pair<WideString, WideString>> got;
    TObject* sender = nullptr;
    player->SetOnFSCommand([&](TObject* s, const WideString& c, const WideString& a) {
        sender = s;
        got.emplace_back(c, a);
    });
    ASSERT_EQ(hooks.fireFSCommand("quit", ""), 1);
    ASSERT_EQ(hooks.fireFSCommand("say",
                                  "gr\xC3\xBC\xC3\x9F"
                                  "e \xE2\x9C\x93"),
              1);
    EXPECT_EQ(sender, player->Driver());
    EXPECT_EQ(got,
              (std::vector<std::pair<WideString, WideString>>{{u"quit", u""}, {u"say", u"gr\u00FC\u00DFe \u2713"}}));
}

TEST_F(ActiveXEvents, FlashCallIsAnsweredThroughSetReturnValueDuringTheCall) {
    WideString request;
    player->SetOnFlashCall([&](TObject* s, const WideString& r) {
        EXPECT_EQ(s, player->Driver());
        request = r;
        player->SetReturnValue(u"<string>from host</string>");
    });
    EXPECT_EQ(hooks.CallHost("sendData", "<string>a&amp;b</string><number>12</number>"), "<string>from host</string>");
    EXPECT_EQ(request,
              u"<invoke name=\"sendData\" returntype=\"xml\"><arguments><string>a&amp;b</string><number>12</number>"
              u"</arguments></invoke>");
}

TEST_F(ActiveXEvents, ARaisingHandlerGoesToTheApplicationAndLaterEventsStillArrive) {
    std::vector<std::string> reported;
    TObject* reportedSender = nullptr;
    Application().SetOnException([&](TObject* s, const Exception& e) {
        reportedSender = s;
        reported.push_back(e.what());
    });
    int calls = 0;
    player->SetOnFSCommand([&](TObject*, const WideString&, const WideString&) {
        if (++calls == 1) throw Exception("handler failed");
    });
    hooks.clearJournal();
    hooks.fireFSCommand("one", "");
    hooks.fireFSCommand("two", "");
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(reported, std::vector<std::string>{"handler failed"});
    EXPECT_EQ(reportedSender, player->Driver());
    // The control is told the event was delivered, both times.
    EXPECT_EQ(hooks.Lines("-> event 150"), std::vector<std::string>(2, "-> event 150 hr=0x0"));
}

TEST_F(ActiveXEvents, EventsWithoutAHandlerOrOutsideTheTableAreDroppedAndAnsweredOk) {
    auto* d = static_cast<TvdFlashDriverActiveX*>(player->Driver());
    IDispatch* sink = d->EventSink();
    win32::ComPtr<IDispatch> asEvents;
    ASSERT_EQ(
        sink->QueryInterface(vd::flash::DIID__IvdFlashPlayerEvents, reinterpret_cast<void**>(asEvents.GetAddressOf())),
        S_OK);
    EXPECT_EQ(asEvents.Get(), sink);
    win32::TVariant arg = win32::TVariant::Int(3);
    DISPPARAMS one{arg.Ptr(), nullptr, 1, 0};
    // Ready state and progress have no handler by default: dropped.
    EXPECT_EQ(sink->Invoke(-609, IID_NULL, 0, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr), S_OK);
    std::vector<int> states, progress;
    d->OnReadyStateChange = [&](TObject*, int32_t s) { states.push_back(s); };
    d->OnProgress = [&](TObject*, int32_t p) { progress.push_back(p); };
    EXPECT_EQ(sink->Invoke(-609, IID_NULL, 0, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(sink->Invoke(1958, IID_NULL, 0, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(sink->Invoke(12345, IID_NULL, 0, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(states, std::vector<int>{3});
    EXPECT_EQ(progress, std::vector<int>{3});
    // An FSCommand the control sent short of its arguments reaches the handler with empty texts.
    std::vector<WideString> got;
    player->SetOnFSCommand([&](TObject*, const WideString& c, const WideString& a) {
        got.push_back(c);
        got.push_back(a);
    });
    win32::TVariant command = win32::TVariant::Bstr(L"only");
    DISPPARAMS shortList{command.Ptr(), nullptr, 1, 0};
    EXPECT_EQ(sink->Invoke(150, IID_NULL, 0, DISPATCH_METHOD, &shortList, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(got, (std::vector<WideString>{u"only", u""}));
}

TEST_F(ActiveXRender, ReadyStateAndProgressReachTheirTypedHandlersWhenSet) {
    TvdFlashDriverActiveX& d = *driver;
    // No handler by default: the control's events are dropped, and it is told all went well.
    hooks.clearJournal();
    Play(d);
    EXPECT_EQ(hooks.Lines("-> event"), (std::vector<std::string>{"-> event 1958 hr=0x0", "-> event -609 hr=0x0"}));
    std::vector<std::pair<TObject*, int>> progress, states;
    d.OnProgress = [&](TObject* s, int32_t p) { progress.emplace_back(s, p); };
    d.OnReadyStateChange = [&](TObject* s, int32_t n) { states.emplace_back(s, n); };
    Play(d, 3);
    EXPECT_EQ(progress, (std::vector<std::pair<TObject*, int>>{{&d, 100}}));
    EXPECT_EQ(states, (std::vector<std::pair<TObject*, int>>{{&d, 4}}));
}

// ---- Scripting and playback -----------------------------------------------------------------

TEST_F(ActiveXRender, VariablesAndExternalCallsGoThroughTheControlInterface) {
    TvdFlashDriverActiveX& d = *driver;
    const auto bytes = vdtest::SwfBuilder(100, 100, 12, 4).Callback("echo").Fws();
    movie = std::make_unique<TMemoryStream>();
    movie->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    movie->SetPosition(0);
    d.LoadMovieFromStream(movie.get());
    hooks.clearJournal();
    d.SetVariable(u"greeting", u"gr\u00FC\u00DF dich");
    EXPECT_EQ(d.GetVariable(u"greeting"), u"gr\u00FC\u00DF dich");
    const WideString call =
        u"<invoke name=\"echo\" returntype=\"xml\"><arguments><string>hi</string></arguments></invoke>";
    EXPECT_EQ(d.CallFunction(call), u"<string>hi</string>");
    EXPECT_EQ(Only(hooks.Journal(), {"SetVariable", "GetVariable", "FlashVersion", "CallFunction"}),
              (std::vector<std::string>{"SetVariable \"greeting\" \"gr\xC3\xBC\xC3\x9F dich\"",
                                        "GetVariable \"greeting\"", "FlashVersion",
                                        "CallFunction \"<invoke name=\\\"echo\\\" returntype=\\\"xml\\\"><arguments>"
                                        "<string>hi</string></arguments></invoke>\""}));
}

TEST_F(ActiveXRender, PlaybackLoopAndFramesAreTheControlsOwn) {
    TvdFlashDriverActiveX& d = *driver;
    Play(d, 5);
    hooks.clearJournal();
    d.Play();
    d.StopPlay();
    d.Rewind();
    d.Forward();
    d.Back();
    d.SetLoop(true);
    EXPECT_TRUE(d.GetLoop());
    d.SetLoop(false);
    EXPECT_FALSE(d.GetLoop());
    d.SetCurrentFrame(3);
    EXPECT_EQ(d.GetCurrentFrame(), 3);
    EXPECT_EQ(d.GetTotalFrames(), 5);
    EXPECT_FALSE(d.GetIsPlaying());
    d.Play();
    EXPECT_TRUE(d.GetIsPlaying());
    EXPECT_EQ(Only(hooks.Journal(), {"Play", "StopPlay", "Rewind", "Forward", "Back", "put_Loop", "put_FrameNum"}),
              (std::vector<std::string>{"Play", "StopPlay", "Rewind", "Forward", "Back", "put_Loop -1", "put_Loop 0",
                                        "put_FrameNum 3", "Play"}));
}

}  // namespace
