// TvdFlashDriverActiveX against controls that are hostile or not the Flash control at all: one
// that keeps the site's objects and calls them after the driver is gone, ones that lack the
// control's interfaces or fail every draw, one that answers in other VARIANT types, one whose
// error text is not its own; and the driver in a thread it must not run in. Part of the faults
// program, whose environment starts the units once.
#include "ax_test_support.h"

#include "vd_filer.h"
#include "vd_forms.h"
#include "vd_streams.h"

#include <thread>

using namespace vd;
using namespace vdtest;

namespace {

constexpr uint32_t kTeal = 0xFF008080;
constexpr DISPID kTotalFrames = 124, kScaleMode = 120, kFrameNum = 107, kSAlign = 134, kMenu = 135;
constexpr DISPID kCurrentFrame = 128, kIsPlaying = 129, kGetVariable = 152;

class ActiveXHostile : public ::testing::Test {
protected:
    std::unique_ptr<TvdFlashDriverActiveX> Make(const char* faults, uint32_t background = kTeal) {
        if (ControlHooks earlier; earlier.loaded) earlier.clearJournal();
        SetEnvironmentVariableA("VDRP_FAULTS", faults);
        auto d = MakeDriver(40, 30, background);
        SetEnvironmentVariableA("VDRP_FAULTS", "");
        Reload();
        return d;
    }
    void Reload() {
        hooks.module = GetModuleHandleW(L"vdflashax.dll");
        hooks.loaded = hooks.module && hooks.Load(hooks.module);
    }
    // The late_release control's hook: calls what it kept, then lets it go.
    int CallKept() const {
        using Fn = int(__cdecl*)();
        const auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(hooks.module, "vdrp_CallKept")));
        return fn ? fn() : -1;
    }
    ControlHooks hooks;
};

// ---- Objects the control keeps past the driver ------------------------------------------------

TEST_F(ActiveXHostile, EverythingTheControlKeptOfTheSiteAnswersUnexpectedOnceTheDriverIsGone) {
    auto d = Make("late_release");
    ASSERT_TRUE(hooks.loaded);
    int fsCommands = 0, paints = 0;
    d->OnFSCommand = [&](TObject*, const WideString&, const WideString&) { ++fsCommands; };
    d->OnPaint = [&](TObject*, const TRect&) { ++paints; };
    // A movie from a stream: bound through the bind host, a moniker and a delivered stream.
    const std::vector<uint8_t> bytes = MovieBytes(3);
    TMemoryStream movie;
    movie.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    d->LoadMovieFromStream(&movie);
    // While the driver lives, what the control kept is the site: a late call reaches it.
    hooks.fireFSCommand("alive", "");
    EXPECT_EQ(fsCommands, 1);

    const char* const kept[] = {"client site", "ambient properties", "in-place site", "windowless site",
                                "frame",       "event sink",         "property sink", "bind host",
                                "moniker",     "delivered stream"};
    for (const char* what : kept) EXPECT_TRUE(Has(hooks.Journal(), std::string("kept ") + what)) << what;

    d.reset();
    hooks.clearJournal();
    fsCommands = paints = 0;
    EXPECT_EQ(CallKept(), static_cast<int>(std::size(kept)));
    // Each answers E_UNEXPECTED and touches nothing: no event, no paint, and the releases
    // that follow (the last ones) free what is left without reaching the driver.
    for (const char* what : kept)
        EXPECT_TRUE(Has(hooks.Journal(), std::string("late ") + what + " hr=0x8000FFFF")) << what;
    EXPECT_TRUE(Has(hooks.Journal(), "late objects released"));
    EXPECT_EQ(fsCommands, 0);
    EXPECT_EQ(paints, 0);
    EXPECT_EQ(hooks.CanUnloadNow(), S_OK);
}

TEST_F(ActiveXHostile, SiteCallsWithNothingToWorkOnAreRefusedInsteadOfPassedOn) {
    auto d = Make("");
    const auto windowless = SiteFace<IOleInPlaceSiteWindowless>(*d, IID_IOleInPlaceSiteWindowless);
    const auto inPlace = SiteFace<IOleInPlaceSite>(*d, IID_IOleInPlaceSite);
    hooks.clearJournal();
    EXPECT_EQ(windowless->OnPosRectChange(nullptr), E_POINTER);
    EXPECT_EQ(inPlace->OnPosRectChange(nullptr), E_POINTER);
    EXPECT_TRUE(hooks.Lines("IOleInPlaceObject::SetObjectRects").empty());
    HDC dc = nullptr;
    EXPECT_EQ(windowless->GetDC(nullptr, 0, &dc), S_OK);
    EXPECT_EQ(dc, d->BufferDC);
    d->FreeBuffer();
    dc = reinterpret_cast<HDC>(1);
    EXPECT_EQ(windowless->GetDC(nullptr, 0, &dc), E_FAIL);
    EXPECT_EQ(dc, nullptr);
}

// ---- Something registered under the control's class that is not the control ------------------

TEST_F(ActiveXHostile, ForeignControlsLeaveAPlayerWithoutFlashAndNothingRaises) {
    // The process-wide check has found the real thing once; each driver meets its own control.
    SetEnvironmentVariableA("VDRP_FAULTS", "");
    CheckFlashPlugins();
    ASSERT_TRUE(TvdFlashDriverActiveX::PluginExists());
    struct Row {
        const char* faults;
        bool found;      // the availability check counts it
        bool available;  // the driver hosts it
        bool drawn;      // a draw is asked of it
    };
    const Row rows[] = {
        {"only_oleobject", false, false, false},
        {"no_main_interface", false, false, false},
        {"windowed_only", true, true, false},
        {"draw_fails", true, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.faults);
        SetEnvironmentVariableA("VDRP_FAULTS", row.faults);
        EXPECT_EQ(CheckFlashActiveX(), row.found);
        // Read from a form, the player asking for the control is made, whatever it meets.
        {
            TForm form(nullptr);
            EXPECT_NO_THROW(
                ReadComponent("object F: TForm\n"
                              "  object P: TvdFlashPlayer\n"
                              "    Width = 40\n"
                              "    Height = 30\n"
                              "    Plugin = vdActiveX\n"
                              "    Movie = 'intro.swf'\n"
                              "  end\n"
                              "end\n",
                              &form));
            auto* p = dynamic_cast<TvdFlashPlayer*>(form.FindComponent("P"));
            ASSERT_NE(p, nullptr);
            auto* pd = dynamic_cast<TvdFlashDriverActiveX*>(p->Driver());
            ASSERT_NE(pd, nullptr);
            EXPECT_EQ(pd->GetIsFlashAvailable(), row.available);
            EXPECT_NO_THROW(p->SetPlugin(vdNetscape));
            EXPECT_NO_THROW(p->SetPlugin(vdActiveX));
        }
        // Bare drivers, opaque and with alpha: the control is set up or let go, and nothing it
        // draws (or fails to) shows.
        for (const uint32_t background : {kTeal, 0x00000000u}) {
            auto d = Make(row.faults, background);
            EXPECT_EQ(d->GetIsFlashAvailable(), row.available);
            EXPECT_EQ(!d->OleObject, !row.available);
            if (!row.available) {
                EXPECT_TRUE(hooks.Lines("IOleObject::SetClientSite").empty());
                EXPECT_EQ(d->CallFunction(u"<invoke name=\"f\"></invoke>"), u"");
                d->LoadMovie(u"intro.swf");
            } else {
                d->SetVariable(u"v", u"1");
                EXPECT_EQ(d->GetVariable(u"v"), u"1");
            }
            d->OnEraseBackground = [&d](TObject*, const TRect& r) {
                FillLongwordRect(d->Bits, d->Width, d->Height, r.Left, r.Top, r.Right, r.Bottom, d->Background);
            };
            FillLongwordRect(d->Bits, d->Width, d->Height, 0, 0, d->Width, d->Height, d->Background);
            int paints = 0;
            d->OnPaint = [&](TObject*, const TRect&) { ++paints; };
            hooks.clearJournal();
            d->ForceUpdate();
            EXPECT_EQ(paints, 1);
            EXPECT_EQ(hooks.Lines("IViewObject::Draw").size(), row.drawn ? (background ? 1u : 2u) : 0u);
            EXPECT_EQ(Pixel(*d, 5, 5), background);
            EXPECT_EQ(Pixel(*d, 39, 29), background);
        }
        SetEnvironmentVariableA("VDRP_FAULTS", "");
    }
    EXPECT_EQ(hooks.CanUnloadNow(), S_OK);
}

// ---- Answers of another type than asked ---------------------------------------------------------

TEST_F(ActiveXHostile, AnswersOfAnotherTypeAreConvertedOrRefusedNamingTheMember) {
    auto d = Make("wrong_types");
    const std::vector<uint8_t> bytes = MovieBytes(5);
    TMemoryStream movie;
    movie.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    d->LoadMovieFromStream(&movie);
    d->SetIntegerProp(kScaleMode, 2);
    d->SetIntegerProp(kFrameNum, 3);
    d->SetOleBoolProp(kMenu, false);
    d->Play();
    struct Row {
        const char* what;
        std::function<std::string(TvdFlashDriverActiveX&)> read;
        const char* value;   // what the caller reads; null when it raises
        const char* naming;  // the member the error names
    };
    const auto text = [](bool b) { return std::string(b ? "true" : "false"); };
    const auto method = [](TvdFlashDriverActiveX& x, DISPID id, VARTYPE type, auto& result, const VARIANT* arg) {
        x.InvokeMethod(TDispInfo{id, type, DISPATCH_METHOD}, &result,
                       arg ? std::span<const VARIANT>(arg, 1) : std::span<const VARIANT>());
    };
    const Row rows[] = {
        {"an integer answered as text", [](auto& x) { return std::to_string(x.GetIntegerProp(kScaleMode)); }, "2",
         nullptr},
        {"a word answered as text", [](auto& x) { return std::to_string(x.GetWordProp(kTotalFrames)); }, "5", nullptr},
        {"a boolean answered as a number", [&](auto& x) { return text(x.GetOleBoolProp(kMenu)); }, "false", nullptr},
        {"a text answered as an object", [](auto& x) { return std::to_string(x.GetWideStringProp(kSAlign).size()); },
         nullptr, "SAlign"},
        {"a text answered as an object, read narrow", [](auto& x) { return x.GetStringProp(kSAlign); }, nullptr,
         "SAlign"},
        {"a method's integer answered as text",
         [&](auto& x) {
             int32_t n = -1;
             method(x, kCurrentFrame, VT_I4, n, nullptr);
             return std::to_string(n);
         },
         "3", nullptr},
        {"a method's boolean answered as a number",
         [&](auto& x) {
             int16_t b = 0;
             method(x, kIsPlaying, VT_BOOL, b, nullptr);
             return std::to_string(b);
         },
         "-1", nullptr},
        {"a method's text answered as an object",
         [&](auto& x) {
             std::string s;
             const win32::TVariant name = win32::TVariant::Bstr(L"v");
             method(x, kGetVariable, VT_BSTR, s, &name.Get());
             return s;
         },
         nullptr, "GetVariable"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        hooks.clearJournal();
        if (row.value) {
            EXPECT_EQ(row.read(*d), row.value);
        } else {
            try {
                row.read(*d);
                ADD_FAILURE() << "no error";
            } catch (const EOleSysError& e) {
                EXPECT_NE(std::string(e.what()).find(row.naming), std::string::npos) << e.what();
            }
        }
        // The control did answer in another type.
        EXPECT_FALSE(hooks.Lines("wrong type: answered").empty());
    }
}

TEST_F(ActiveXHostile, TextsKeepTheirLengthPastAnEmbeddedNul) {
    auto d = Make("");
    const WideString wide(u"a\0b", 3);
    d->SetWideStringProp(kSAlign, wide);
    EXPECT_EQ(d->GetWideStringProp(kSAlign), wide);
    EXPECT_EQ(d->GetStringProp(kSAlign), std::string("a\0b", 3));
    d->SetVariable(u"v", WideString(u"x\0y", 3));
    std::string value;
    const win32::TVariant name = win32::TVariant::Bstr(L"v");
    d->InvokeMethod(TDispInfo{kGetVariable, VT_BSTR, DISPATCH_METHOD}, &value,
                    std::span<const VARIANT>(&name.Get(), 1));
    EXPECT_EQ(value, std::string("x\0y", 3));
    EXPECT_EQ(d->GetVariable(u"v"), WideString(u"x\0y", 3));
}

// ---- Error text, apartments and the unit's end ---------------------------------------------------

TEST_F(ActiveXHostile, ErrorTextIsTakenOnlyFromAControlThatSupportsErrorInformation) {
    struct Row {
        const char* faults;
        bool quoted;  // the control's own description reaches the caller
    };
    for (const Row row : {Row{"handler_raises", true}, Row{"handler_raises,no_errorinfo", false}}) {
        SCOPED_TRACE(row.faults);
        auto d = Make(row.faults);
        try {
            d->Play();
            ADD_FAILURE() << "Play did not raise";
        } catch (const EOleSysError& e) {
            EXPECT_EQ(e.ErrorCode(), DISP_E_EXCEPTION);
            EXPECT_EQ(std::string(e.what()) == "reference player: Play raised", row.quoted) << e.what();
            EXPECT_EQ(dynamic_cast<const EOleException*>(&e) != nullptr, row.quoted);
        }
        // What the control left behind is not read later as another call's either.
        SetErrorInfo(0, nullptr);
    }
}

TEST_F(ActiveXHostile, TheDriverRefusesToStartInTheMultithreadedApartment) {
    std::string message;
    bool raised = false;
    std::thread worker([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        try {
            auto d = MakeDriver(40, 30, kTeal);
        } catch (const EOleSysError& e) {
            raised = true;
            message = e.what();
        }
        CoUninitialize();
    });
    worker.join();
    EXPECT_TRUE(raised);
    EXPECT_NE(message.find("single-threaded apartment"), std::string::npos) << message;
}

TEST_F(ActiveXHostile, TheUnitsLastShutDownLeavesOleToTheDriversStillAlive) {
    auto d = Make("");
    int started = 0;
    while (FlashDriverActiveXClass) {
        FinalizeDriverActiveXUnit();
        ++started;
    }
    // OLE still runs on this thread, and the control with it.
    const HRESULT alive = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    EXPECT_EQ(alive, S_FALSE);
    if (SUCCEEDED(alive)) CoUninitialize();
    d->SetVariable(u"v", u"still");
    EXPECT_EQ(d->GetVariable(u"v"), u"still");
    d.reset();
    // The last driver ended it.
    const HRESULT ended = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    EXPECT_EQ(ended, S_OK);
    if (SUCCEEDED(ended)) CoUninitialize();
    for (int i = 0; i < started; ++i) InitializeDriverActiveXUnit();
    EXPECT_EQ(FlashDriverActiveXClass, &TvdFlashDriverActiveX::Class());
}

}  // namespace
