// The driver base on real DIB sections and memory DCs, and driver selection through
// ChangePlugin with test driver classes.
#include "vd_windows.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "recording_driver.h"
#include "win32_test_support.h"

using namespace vd;
using namespace vdtest;

namespace {

template <class D = TvdFlashDriver> std::unique_ptr<D> Make(int w, int h, uint32_t bg) {
    return std::unique_ptr<D>(TvdFlashDriver::NewDriver<D>(w, h, bg));
}

TEST(DriverBuffer, SizeRulesAndNoWorkForTheSameSize) {
    auto empty = Make(0, 0, 0xFF000000);
    EXPECT_EQ(empty->Bits, nullptr);  // 0 x 0 on a new driver: no buffer
    EXPECT_EQ(empty->BufferDC, nullptr);

    auto d = Make<TRecDriver>(7, 10, 0xFF000000);
    EXPECT_EQ(d->Width, 7);
    EXPECT_EQ(d->Height, 10);
    ASSERT_NE(d->Bits, nullptr);
    EXPECT_EQ(d->CreateBufferCalls, 1);  // the driver's own buffer operations ran for it
    EXPECT_EQ(d->ResizeBufferCalls, 1);
    d->Resize(7, 10);
    EXPECT_EQ(d->CreateBufferCalls, 1);
    EXPECT_EQ(d->FreeBufferCalls, 0);
    EXPECT_EQ(d->ResizeBufferCalls, 1);
    d->Resize(7, 3);
    EXPECT_EQ(d->FreeBufferCalls, 1);
    EXPECT_EQ(d->CreateBufferCalls, 2);
    EXPECT_EQ(d->ResizeBufferCalls, 2);
    EXPECT_EQ(d->BitmapInfo.bmiHeader.biWidth, 7);
    EXPECT_EQ(d->BitmapInfo.bmiHeader.biHeight, -3);
    EXPECT_EQ(d->BitmapInfo.bmiHeader.biBitCount, 32);
}

// A size no buffer can have leaves none, and the driver says so: 0 x 0, nothing to paint into
// and nothing reported; past the limit the system is not even asked. A good size afterwards
// brings the buffer back.
TEST(DriverBuffer, SizesTheBufferCannotHaveLeaveNoBufferAndNothingReported) {
    static_assert(BufferSizeAllowed(kMaxBufferSide, kMaxBufferPixels / kMaxBufferSide));
    static_assert(!BufferSizeAllowed(kMaxBufferSide + 1, 1));
    static_assert(!BufferSizeAllowed(kMaxBufferSide, kMaxBufferSide));
    struct Case {
        const char* what;
        int width, height;
    };
    const Case cases[] = {{"0 x 0", 0, 0},
                          {"0 wide", 0, 10},
                          {"negative", -5, 10},
                          {"both negative", -5, -5},
                          {"60000 x 60000", 60000, 60000},
                          {"one side past the limit", kMaxBufferSide + 1, 1},
                          {"INT_MAX squared", INT_MAX, INT_MAX},
                          {"INT_MIN", INT_MIN, 10}};
    for (uint32_t background : {0xFF000000u, 0u}) {
        for (const Case& c : cases) {
            auto d = Make<TRecDriver>(40, 30, background);
            int reports = 0;
            d->OnPaint = [&](TObject*, const TRect&) { ++reports; };
            d->OnEraseBackground = [&](TObject*, const TRect&) { ++reports; };
            d->Resize(c.width, c.height);
            EXPECT_EQ(d->Width, 0) << c.what;
            EXPECT_EQ(d->Height, 0) << c.what;
            EXPECT_EQ(d->Bits, nullptr) << c.what;
            EXPECT_EQ(d->WhiteBits, nullptr) << c.what;
            EXPECT_EQ(d->BufferDC, nullptr) << c.what;
            EXPECT_EQ(d->ResizeBufferCalls, 2) << c.what;  // the driver hears that its buffer went
            d->ForceUpdate();
            d->SetBackground(background ^ 0xFF000000u);  // a mode change makes no buffer either
            EXPECT_EQ(d->Bits, nullptr) << c.what;
            EXPECT_EQ(reports, 0) << c.what;
            d->Resize(c.width, c.height);  // the same size again: no work
            EXPECT_EQ(d->ResizeBufferCalls, 2) << c.what;
            d->Resize(12, 8);
            EXPECT_EQ(d->Width, 12) << c.what;
            ASSERT_NE(d->Bits, nullptr) << c.what;
        }
    }
}

TEST(DriverBuffer, IsATopDownDibSectionSharedByGdiAndDirectAccess) {
    auto d = Make(6, 4, 0xFF000000);
    BITMAP bm{};
    ASSERT_EQ(GetObjectW(d->BufferBitmap, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmBitsPixel, 32);
    EXPECT_EQ(bm.bmBits, d->Bits);
    EXPECT_EQ(GetCurrentObject(d->BufferDC, OBJ_BITMAP), d->BufferBitmap);

    FillLongword(d->Bits, 24, 0);
    SetPixelV(d->BufferDC, 4, 1, RGB(0x11, 0x22, 0x33));
    GdiFlush();
    EXPECT_EQ(Rgb(d->Bits[1 * 6 + 4]), 0x112233u);  // row 1 is the second row in memory
    d->Bits[3 * 6 + 0] = 0xFF445566;
    EXPECT_EQ(GetPixel(d->BufferDC, 0, 3), static_cast<COLORREF>(RGB(0x44, 0x55, 0x66)));
}

TEST(DriverBuffer, ModesAndBackgroundChanges) {
    auto d = Make<TRecDriver>(8, 5, 0xFF000000);
    EXPECT_EQ(d->WhiteBits, nullptr);
    int erases = 0;
    TRect erased;
    d->OnEraseBackground = [&](TObject* sender, const TRect& r) {
        EXPECT_EQ(sender, d.get());
        ++erases;
        erased = r;
    };
    uint32_t* bits = d->Bits;
    d->SetBackground(0xFF112233);  // another opaque colour: only stored
    EXPECT_EQ(d->Background, 0xFF112233u);
    EXPECT_EQ(d->Bits, bits);
    EXPECT_EQ(d->CreateBufferCalls, 1);
    EXPECT_EQ(erases, 0);

    d->SetBackground(0);  // alpha mode: rebuilt with the white buffer, erased once
    EXPECT_EQ(d->CreateBufferCalls, 2);
    ASSERT_NE(d->WhiteBits, nullptr);
    ASSERT_NE(d->WhiteDC, nullptr);
    EXPECT_EQ(GetCurrentObject(d->WhiteDC, OBJ_BITMAP), d->WhiteBitmap);
    EXPECT_EQ(erases, 1);
    EXPECT_EQ(erased, Rect(0, 0, 8, 5));
    EXPECT_EQ(d->ResizeBufferCalls, 1);  // a mode change is no resize

    d->SetBackground(0x80000000);
    EXPECT_EQ(d->CreateBufferCalls, 3);
    EXPECT_EQ(d->WhiteBits, nullptr);
    d->SetBackground(0xFF000000);  // 0x80 -> 0xFF is a mode change too
    EXPECT_EQ(d->CreateBufferCalls, 4);
    d->SetBackground(0xFF000000);
    EXPECT_EQ(d->CreateBufferCalls, 4);
}

TEST(DriverBuffer, InertForceUpdateErasesTheWholeBufferAndReportsIt) {
    auto d = Make(4, 3, 0xFF000000);
    std::vector<std::string> calls;
    d->OnEraseBackground = [&](TObject*, const TRect& r) {
        calls.push_back("erase " + std::to_string(r.Right) + "x" + std::to_string(r.Bottom));
        FillLongwordRect(d->Bits, d->Width, d->Height, r.Left, r.Top, r.Right, r.Bottom, 0xFF0000FF);
    };
    d->OnPaint = [&](TObject*, const TRect& r) {
        calls.push_back("paint " + std::to_string(r.Right) + "x" + std::to_string(r.Bottom));
    };
    d->ForceUpdate();
    EXPECT_EQ(calls, (std::vector<std::string>{"erase 4x3", "paint 4x3"}));
    EXPECT_EQ(d->Bits[11], 0xFF0000FFu);

    auto a = Make(2, 2, 0);  // alpha mode: nothing drawn means fully transparent
    FillLongword(a->Bits, 4, 0xFFFFFFFF);
    a->ForceUpdate();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(a->Bits[i], 0u);
}

TEST(DriverBuffer, DrawUpdateRectOutlinesInRedOnlyWhenAsked) {
    auto d = Make(10, 8, 0xFF000000);
    FillLongword(d->Bits, 80, 0xFF808080);
    d->DrawUpdateRect(Rect(2, 1, 7, 6));
    for (int i = 0; i < 80; ++i) ASSERT_EQ(d->Bits[i], 0xFF808080u);

    d->ShowUpdateRects = true;
    d->DrawUpdateRect(Rect(2, 1, 7, 6));
    auto at = [&](int x, int y) { return Rgb(d->Bits[y * 10 + x]); };
    for (int x = 2; x <= 6; ++x) {
        EXPECT_EQ(at(x, 1), 0xFF0000u) << x;
        EXPECT_EQ(at(x, 5), 0xFF0000u) << x;
    }
    for (int y = 1; y <= 5; ++y) {
        EXPECT_EQ(at(2, y), 0xFF0000u) << y;
        EXPECT_EQ(at(6, y), 0xFF0000u) << y;
    }
    EXPECT_EQ(at(4, 3), 0x808080u);  // hollow inside
    EXPECT_EQ(at(7, 3), 0x808080u);  // right edge is exclusive
    EXPECT_EQ(at(4, 6), 0x808080u);  // bottom edge is exclusive
    EXPECT_EQ(at(1, 1), 0x808080u);
}

TEST(DriverSettings, DefaultsAndPauseAndVolumeForSwfAndFlv) {
    SelectionGuard guard;
    auto d = Make<TRecDriver>(2, 2, 0xFF000000);
    EXPECT_FALSE(d->ShowUpdateRects);
    EXPECT_FALSE(d->DisableFlashCursor);
    EXPECT_TRUE(d->DisableFlashMenu);
    EXPECT_EQ(d->Skin, u"ClearOverAll");
    EXPECT_EQ(d->Volume, 50);
    EXPECT_FALSE(d->Pause);
    EXPECT_FALSE(d->IsFLV);

    d->SetPause(true);
    d->SetVolume(70);
    EXPECT_EQ(Journal(), (std::vector<std::string>{"rec: StopPlay"}));
    EXPECT_TRUE(d->Pause);
    EXPECT_EQ(d->Volume, 70);

    Journal().clear();
    d->IsFLV = true;
    d->SetPause(true);
    d->SetPause(false);
    d->SetVolume(70);
    EXPECT_EQ(Journal(), (std::vector<std::string>{
                             "rec: StopPlay",
                             "rec: CallFunction <invoke name=\"stopflv\" returntype=\"xml\"></invoke>",
                             "rec: Play",
                             "rec: CallFunction <invoke name=\"playflv\" returntype=\"xml\"></invoke>",
                             "rec: SetVariable flv.volume=70",
                         }));
    EXPECT_FALSE(d->Pause);
}

TEST(DriverEvents, MovieEventsReachTheHandlerWithTheDriverAsSender) {
    auto d = Make(1, 1, 0xFF000000);
    d->DoFSCommand(u"quit", u"");  // no handler: nothing happens
    d->DoFlashCall(u"<invoke/>");
    TObject* sender = nullptr;
    WideString got;
    d->OnFSCommand = [&](TObject* s, const WideString& c, const WideString& a) {
        sender = s;
        got = c + u"|" + a;
    };
    d->OnFlashCall = [&](TObject* s, const WideString& r) {
        sender = s;
        got = r;
    };
    d->DoFSCommand(u"resize", u"10,20");
    EXPECT_EQ(sender, d.get());
    EXPECT_EQ(got, u"resize|10,20");
    sender = nullptr;
    d->DoFlashCall(u"<invoke name=\"f\"/>");
    EXPECT_EQ(sender, d.get());
    EXPECT_EQ(got, u"<invoke name=\"f\"/>");
}

TEST(DriverInterface, InertDriverAcceptsEverythingAndAnswersEmpty) {
    auto d = Make(3, 3, 0xFF000000);
    IvdFlash* flash = d.get();
    flash->LoadMovie(u"movie.swf");
    flash->Play();
    flash->SetLoop(true);
    flash->SetCurrentFrame(5);
    EXPECT_EQ(flash->GetVariable(u"x"), u"");
    EXPECT_EQ(flash->CallFunction(u"<invoke name=\"f\"/>"), u"");
    EXPECT_EQ(flash->GetTotalFrames(), 0);
    EXPECT_EQ(flash->GetCurrentFrame(), 0);
    EXPECT_FALSE(flash->GetLoop());
    EXPECT_FALSE(flash->GetIsPlaying());
    EXPECT_EQ(TvdFlashDriver::Class().PluginExists(), false);
}

TEST(DriverInterface, CallsReachTheSubclassAndReferencesNeverFreeTheDriver) {
    SelectionGuard guard;
    auto d = Make<TRecDriver>(1, 1, 0xFF000000);
    IvdFlash* flash = d.get();
    EXPECT_EQ(flash->GetTotalFrames(), 12);
    EXPECT_EQ(flash->GetVariable(u"a"), u"value of a");
    for (int i = 0; i < 5; ++i) flash->AddRef();
    for (int i = 0; i < 10; ++i) flash->Release();
    EXPECT_TRUE(Journal().empty());  // not destroyed
    void* same = nullptr;
    EXPECT_EQ(flash->QueryInterface(GUID_NULL, &same), S_OK);
    EXPECT_EQ(same, static_cast<void*>(flash));
    IUnknown* unk = nullptr;
    EXPECT_EQ(flash->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unk)), S_OK);
    EXPECT_EQ(flash->QueryInterface(IID_IDispatch, &same), E_NOINTERFACE);
    EXPECT_EQ(flash->GetTotalFrames(), 12);
}

TEST(DriverParent, ParentHandleNeverCreatesAWindowAndOffsetIsTheGraphicControlsPosition) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 300, 200);
    TGraphicControl* graphic = new TGraphicControl(&form);
    graphic->SetParent(&form);
    graphic->SetBounds(12, 34, 10, 10);
    auto d = Make(1, 1, 0xFF000000);
    EXPECT_EQ(d->GetParentHandle(), nullptr);  // no control
    EXPECT_EQ(d->GetParentOffset(), (TPoint{0, 0}));
    d->Control = graphic;
    EXPECT_EQ(d->GetParentHandle(), nullptr);
    EXPECT_FALSE(form.HandleAllocated());
    EXPECT_EQ(d->GetParentOffset(), (TPoint{12, 34}));
    form.HandleNeeded();
    EXPECT_EQ(d->GetParentHandle(), form.Handle());

    TCustomControl* windowed = new TCustomControl(&form);
    windowed->SetParent(&form);
    windowed->SetBounds(5, 6, 20, 20);
    d->Control = windowed;
    ASSERT_TRUE(windowed->HandleAllocated());
    EXPECT_EQ(d->GetParentHandle(), windowed->Handle());
    EXPECT_EQ(d->GetParentOffset(), (TPoint{0, 0}));
    d->Control = nullptr;
}

// ---------------------------------------------------------------------------------------
// ChangePlugin

std::string ChosenFor(TvdPlugin plugin) {
    TvdDriverPtr driver;
    ChangePlugin(driver, plugin, u"", 4, 4, 0xFF000000, nullptr, nullptr, nullptr, nullptr, nullptr);
    TvdFlashDriver* d = driver.get();
    std::string name = d ? (dynamic_cast<TTestNSDriver*>(d)   ? "Netscape"
                            : dynamic_cast<TTestAXDriver*>(d) ? "ActiveX"
                            : dynamic_cast<TRecDriver*>(d)    ? "Recording"
                                                              : d->ClassName())
                         : "none";
    return name;
}

TEST(ChangePlugin, ChoosesByAvailabilityAndFallsBackToTheInertDriver) {
    SelectionGuard guard;
    DefaultFlashDriverClass = &TvdFlashDriver::Class();
    FlashDriverNSClass = &TTestNSDriver::Class();
    FlashDriverActiveXClass = &TTestAXDriver::Class();
    struct Case {
        bool ax, ns;
        const char *def, *netscape, *activex;
    } cases[] = {
        {true, true, "ActiveX", "Netscape", "ActiveX"},
        {true, false, "ActiveX", "ActiveX", "ActiveX"},
        {false, true, "Netscape", "Netscape", "Netscape"},
        {false, false, "TvdFlashDriver", "TvdFlashDriver", "TvdFlashDriver"},
    };
    for (const Case& c : cases) {
        TTestAXDriver::Installed = c.ax;
        TTestNSDriver::Installed = c.ns;
        // As after the ActiveX check: a working control makes it the default.
        DefaultFlashDriverClass = c.ax ? &TTestAXDriver::Class() : &TvdFlashDriver::Class();
        SCOPED_TRACE(std::string("ax=") + (c.ax ? "1" : "0") + " ns=" + (c.ns ? "1" : "0"));
        EXPECT_EQ(ChosenFor(vdDefault), c.def);
        EXPECT_EQ(ChosenFor(vdNetscape), c.netscape);
        EXPECT_EQ(ChosenFor(vdActiveX), c.activex);
    }
    TTestAXDriver::Installed = TTestNSDriver::Installed = true;
    DefaultFlashDriverClass = &TTestNSDriver::Class();  // set by the application
    EXPECT_EQ(ChosenFor(vdDefault), "Netscape");
    // Before the drivers' units register their classes there is only the inert driver.
    FlashDriverNSClass = FlashDriverActiveXClass = nullptr;
    DefaultFlashDriverClass = nullptr;
    EXPECT_EQ(ChosenFor(vdActiveX), "TvdFlashDriver");
}

TEST(ChangePlugin, ReplacesTheDriverWiresItErasesThenLoadsAndInvalidates) {
    SelectionGuard guard;
    DefaultFlashDriverClass = &TRecDriver::Class();
    auto form = MakeForm(100, 80);
    TGraphicControl* control = new TGraphicControl(form.get());
    control->SetParent(form.get());
    control->SetBounds(0, 0, 30, 20);
    form->Show();
    Application().ProcessMessages();
    ValidateRect(form->Handle(), nullptr);

    TvdDriverPtr driver;
    auto onErase = [&](TObject* s, const TRect& r) {
        EXPECT_EQ(s, driver.get());
        Journal().push_back("erase " + std::to_string(r.Right) + "x" + std::to_string(r.Bottom));
    };
    int painted = 0, commands = 0, calls = 0;
    ChangePlugin(
        driver, vdDefault, u"first.swf", 30, 20, 0xFF102030, control, [&](TObject*, const TRect&) { ++painted; },
        onErase, [&](TObject*, const WideString&, const WideString&) { ++commands; },
        [&](TObject*, const WideString&) { ++calls; });
    ASSERT_NE(dynamic_cast<TRecDriver*>(driver.get()), nullptr);
    EXPECT_EQ(driver->Control, control);
    EXPECT_EQ(driver->Background, 0xFF102030u);
    EXPECT_EQ(driver->Width, 30);
    EXPECT_EQ(Journal(), (std::vector<std::string>{"erase 30x20", "rec: LoadMovie 'first.swf'"}));
    RECT dirty{};
    EXPECT_TRUE(GetUpdateRect(form->Handle(), &dirty, FALSE));  // the control was invalidated
    driver->DoFSCommand(u"a", u"b");
    driver->DoFlashCall(u"r");
    driver->OnPaint(driver.get(), Rect(0, 0, 1, 1));
    EXPECT_EQ(commands, 1);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(painted, 1);

    Journal().clear();
    ChangePlugin(driver, vdDefault, u"", 30, 20, 0xFF102030, control, nullptr, onErase, nullptr, nullptr);
    // The old driver goes first; an empty movie is still handed to the new one.
    EXPECT_EQ(Journal(), (std::vector<std::string>{"rec: destroyed", "erase 30x20", "rec: LoadMovie ''"}));
}

TEST(ChangePlugin, AFailingDriverConstructorLeavesNoDriver) {
    SelectionGuard guard;
    DefaultFlashDriverClass = &TRecDriver::Class();
    TvdDriverPtr driver;
    ChangePlugin(driver, vdDefault, u"", 2, 2, 0xFF000000, nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(driver, nullptr);
    Journal().clear();
    DefaultFlashDriverClass = &TFailingDriver::Class();
    EXPECT_THROW(ChangePlugin(driver, vdDefault, u"", 2, 2, 0xFF000000, nullptr, nullptr, nullptr, nullptr, nullptr),
                 Exception);
    EXPECT_EQ(driver, nullptr);
    EXPECT_EQ(Journal(), (std::vector<std::string>{"rec: destroyed"}));
}

TEST(ChangePlugin, CheckFlashPluginsFindsNothingUntilTheActiveXDriverInstallsItsProbe) {
    SelectionGuard guard;
    InitializeFlashPlayerUnit();
    const TvdFlashDriverClass* before = DefaultFlashDriverClass;
    CheckFlashPlugins();
    EXPECT_EQ(DefaultFlashDriverClass, before);
    EXPECT_FALSE(FlashActiveXCheck().Installed());
    EXPECT_FALSE(FlashActiveXCheck().Available());
    FinalizeFlashPlayerUnit();
}

}  // namespace
