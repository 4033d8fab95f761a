// TvdFlashPlayerWnd on a real form: its window (Unicode, re-made Unicode), focus and keys to
// the driver, the opaque buffer and its mask, the paint path (one copy per paint message,
// nothing drawn without a Flash Player), movie events and form files.
#include "vd_windows.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "recording_driver.h"
#include "win32_test_support.h"

using namespace vd;
using namespace vdtest;

namespace {

LPARAM Pos(int x, int y) {
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y)));
}

class PlayerWndTest : public ::testing::Test {
protected:
    void SetUp() override { InitializeFlashPlayerUnit(); }
    void TearDown() override { FinalizeFlashPlayerUnit(); }
    SelectionGuard guard_;
};

template <class P = TvdFlashPlayerWnd> P* Place(TWinControl& parent, int l, int t, int w, int h) {
    auto* p = new P(&parent);
    p->SetParent(&parent);
    p->SetBounds(l, t, w, h);
    return p;
}

uint32_t BufferAt(const TvdCustomFlashPlayerWnd& p, int x, int y) {
    const TvdFlashDriver* d = p.Driver();
    return d->Bits[static_cast<size_t>(y) * static_cast<size_t>(d->Width) + static_cast<size_t>(x)];
}

TRecDriver* Recording(const TvdCustomFlashPlayerWnd& p) { return dynamic_cast<TRecDriver*>(p.Driver()); }

TEST_F(PlayerWndTest, NewControlIsAnOpaqueTabStopWithTheDriverDefaults) {
    TvdFlashPlayerWnd p(nullptr);
    EXPECT_EQ(p.GetWidth(), 100);
    EXPECT_EQ(p.GetHeight(), 100);
    EXPECT_TRUE(p.GetTabStop());
    EXPECT_EQ(p.GetBackgroundMask(), 0xFFFFFFFFu);
    EXPECT_EQ(p.GetPlugin(), vdDefault);
    EXPECT_TRUE(p.GetDisableFlashMenu());
    EXPECT_FALSE(p.GetDisableFlashCursor());
    EXPECT_EQ(p.GetVolume(), 50);
    EXPECT_EQ(p.GetSkin(), "ClearOverAll");
    ASSERT_NE(p.Driver(), nullptr);
    EXPECT_EQ(p.Driver()->Control, &p);
    EXPECT_EQ(p.Driver()->Width, 100);
    EXPECT_EQ(p.Driver()->Background, ColorToOpaquePixel(clWindow));
    EXPECT_EQ(p.Driver()->WhiteBits, nullptr);  // opaque mode
    EXPECT_EQ(BufferAt(p, 0, 0), ColorToOpaquePixel(clWindow));
    EXPECT_EQ(BufferAt(p, 99, 99), ColorToOpaquePixel(clWindow));
    EXPECT_EQ(p.CallFunction(u"<invoke name=\"f\"/>"), u"");
}

TEST_F(PlayerWndTest, TheBufferIsFilledWithTheMaskedColourOnEveryChange) {
    auto form = MakeForm(120, 80);
    auto* p = Place(*form, 10, 10, 30, 20);
    p->SetColor(clRed);
    EXPECT_EQ(p->Driver()->Background, 0xFFFF0000u);
    EXPECT_EQ(BufferAt(*p, 29, 19), 0xFFFF0000u);  // the colour shows at once

    p->SetBackgroundMask(0xFF00FFFF);  // red masked out
    p->SetColor(clYellow);
    EXPECT_EQ(p->Driver()->Background, 0xFF00FF00u);
    EXPECT_EQ(BufferAt(*p, 0, 0), 0xFF00FF00u);
    p->SetBounds(10, 10, 40, 25);  // a new buffer is erased the masked way too
    EXPECT_EQ(p->Driver()->Width, 40);
    EXPECT_EQ(BufferAt(*p, 39, 24), 0xFF00FF00u);

    FillLongword(p->Driver()->Bits, 40 * 25, 0xFF123456);
    p->DoEraseBackground(p->Driver(), Rect(2, 1, 60, 3));  // cut to the buffer
    EXPECT_EQ(BufferAt(*p, 2, 1), 0xFF00FF00u);
    EXPECT_EQ(BufferAt(*p, 39, 2), 0xFF00FF00u);
    EXPECT_EQ(BufferAt(*p, 1, 1), 0xFF123456u);
    EXPECT_EQ(BufferAt(*p, 2, 3), 0xFF123456u);
}

TEST_F(PlayerWndTest, ItsWindowIsUnicodeAndStaysSoWhenMadeAgain) {
    DefaultFlashDriverClass = &TRecDriver::Class();
    auto form = MakeForm(120, 80);
    auto* p = Place(*form, 0, 0, 50, 40);
    HWND first = p->Handle();
    EXPECT_TRUE(IsWindowUnicode(first));
    // UTF-16 code units arrive as they were sent: a CJK character and a surrogate pair.
    SendMessageW(first, WM_CHAR, 0x4E2D, 1);
    SendMessageW(first, WM_CHAR, 0xD83D, 1);
    SendMessageW(first, WM_CHAR, 0xDE00, 1);

    p->RecreateWnd();
    HWND second = p->Handle();
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(IsWindowUnicode(second));
    SendMessageW(second, WM_CHAR, 0x00E9, 1);  // the new window still reaches the control
    EXPECT_EQ(Recording(*p)->Input, (std::vector<std::string>{"char 20013", "char 55357", "char 56832", "char 233"}));
}

TEST_F(PlayerWndTest, KeysGoToTheDriverAndControlCharactersNeverAsCharacters) {
    DefaultFlashDriverClass = &TRecDriver::Class();
    auto form = MakeForm(120, 80);
    auto* p = Place(*form, 0, 0, 50, 40);
    HWND wnd = p->Handle();
    // Arrows, Tab and characters stay in the control in a dialog.
    EXPECT_EQ(SendMessageW(wnd, WM_GETDLGCODE, 0, 0), 0x83);

    std::vector<std::string> events;
    p->SetOnKeyDown([&](TObject*, WORD& k, TShiftState) { events.push_back("OnKeyDown " + std::to_string(k)); });
    p->SetOnKeyPress([&](TObject*, char16_t& k) { events.push_back("OnKeyPress " + std::to_string(int(k))); });
    SendMessageW(wnd, WM_KEYDOWN, 'A', 1);
    SendMessageW(wnd, WM_CHAR, 'a', 1);
    SendMessageW(wnd, WM_KEYUP, 'A', 1);
    SendMessageW(wnd, WM_KEYDOWN, VK_RETURN, 1);
    for (WPARAM control : {WPARAM{13}, WPARAM{8}, WPARAM{9}, WPARAM{27}, WPARAM{31}})
        SendMessageW(wnd, WM_CHAR, control, 1);
    SendMessageW(wnd, WM_CHAR, ' ', 1);
    SendMessageW(wnd, WM_KEYUP, VK_RETURN, 1);
    EXPECT_EQ(Recording(*p)->Input,
              (std::vector<std::string>{"keydown 65", "char 97", "keyup 65", "keydown 13", "char 32", "keyup 13"}));
    // The control's own key events still see every key and character.
    EXPECT_EQ(events.size(), 9u);
    EXPECT_EQ(events.front(), "OnKeyDown 65");
}

TEST_F(PlayerWndTest, AKeyTheDriverTakesSuppressesTheControlsKeyEvent) {
    DefaultFlashDriverClass = &TRecDriver::Class();
    auto form = MakeForm(120, 80);
    auto* p = Place(*form, 0, 0, 50, 40);
    Recording(*p)->ClearKey = VK_LEFT;
    std::vector<std::string> events;
    p->SetOnKeyDown([&](TObject*, WORD& k, TShiftState) { events.push_back("down " + std::to_string(k)); });
    p->SetOnKeyUp([&](TObject*, WORD& k, TShiftState) { events.push_back("up " + std::to_string(k)); });
    HWND wnd = p->Handle();
    SendMessageW(wnd, WM_KEYDOWN, VK_LEFT, 1);
    SendMessageW(wnd, WM_KEYUP, VK_LEFT, 1);
    SendMessageW(wnd, WM_KEYDOWN, VK_RIGHT, 1);
    SendMessageW(wnd, WM_KEYUP, VK_RIGHT, 1);
    EXPECT_EQ(Recording(*p)->Input, (std::vector<std::string>{"keydown 37", "keyup 37", "keydown 39", "keyup 39"}));
    EXPECT_EQ(events, (std::vector<std::string>{"down 39", "up 39"}));
}

// System keys never reach the driver, even one that would take them: Alt+F4 still asks the
// form to close, as the system's own handling does.
TEST_F(PlayerWndTest, SystemKeysKeepTheSystemsHandlingAndNeverReachTheDriver) {
    DefaultFlashDriverClass = &TRecDriver::Class();
    auto form = MakeForm(120, 80);
    auto* p = Place(*form, 0, 0, 50, 40);
    Recording(*p)->ClearKey = VK_F4;  // the driver would swallow it
    HWND wnd = p->Handle();
    MSG stale;
    while (PeekMessageW(&stale, form->Handle(), WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE)) {}
    const LPARAM altDown = LPARAM{1} | (LPARAM{KF_ALTDOWN} << 16);
    SendMessageW(wnd, WM_SYSKEYDOWN, VK_F4, altDown);
    SendMessageW(wnd, WM_SYSKEYUP, VK_F4, altDown | (LPARAM{KF_UP} << 16));
    EXPECT_TRUE(Recording(*p)->Input.empty());
    MSG close{};
    ASSERT_TRUE(PeekMessageW(&close, form->Handle(), WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE))
        << "Alt+F4 did not reach the system's handling";
    EXPECT_EQ(close.wParam & 0xFFF0, static_cast<WPARAM>(SC_CLOSE));
    // Ordinary keys still go to the driver.
    SendMessageW(wnd, WM_KEYDOWN, VK_F4, 1);
    EXPECT_EQ(Recording(*p)->Input, std::vector<std::string>{"keydown 115"});
}

TEST_F(PlayerWndTest, AnyPressFocusesTheControlBeforeTheDriverSeesIt) {
    DefaultFlashDriverClass = &TRecDriver::Class();
    auto form = MakeForm(200, 80);
    auto* p = Place(*form, 0, 0, 50, 40);
    auto* other = Place(*form, 100, 0, 50, 40);
    form->Show();
    Application().ProcessMessages();
    for (auto [down, up] : {std::pair{WM_LBUTTONDOWN, WM_LBUTTONUP}, std::pair{WM_RBUTTONDOWN, WM_RBUTTONUP},
                            std::pair{WM_MBUTTONDOWN, WM_MBUTTONUP}}) {
        other->SetFocus();
        ASSERT_EQ(GetFocus(), other->Handle());
        Recording(*p)->FocusAtMouseDown = nullptr;
        SendMessageW(p->Handle(), down, 0, Pos(7, 9));
        SendMessageW(p->Handle(), up, 0, Pos(7, 9));
        EXPECT_EQ(Recording(*p)->FocusAtMouseDown, p->Handle()) << down;
        EXPECT_TRUE(p->Focused()) << down;
    }
    EXPECT_EQ(Recording(*p)->Input,
              (std::vector<std::string>{"down 0 7,9", "up 0 7,9", "down 1 7,9", "up 1 7,9", "down 2 7,9", "up 2 7,9"}));
}

// Counts the copies of the buffer to the window.
class TCountingPlayerWnd : public TvdFlashPlayerWnd {
public:
    using TvdFlashPlayerWnd::TvdFlashPlayerWnd;
    int Paints = 0;

protected:
    void Paint() override {
        ++Paints;
        TvdFlashPlayerWnd::Paint();
    }
};

TEST_F(PlayerWndTest, RenderedRectanglesAreCopiedOncePerPaintMessage) {
    DefaultFlashDriverClass = &TRecDriver::Class();
    auto form = MakeForm<TStripedForm>(120, 80);
    auto* p = Place<TCountingPlayerWnd>(*form, 8, 4, 40, 30);
    p->SetColor(clBlue);
    form->Show();
    Application().ProcessMessages();
    UpdateWindow(p->Handle());

    p->Paints = 0;
    for (int i = 0; i < 3; ++i) p->Driver()->OnPaint(p->Driver(), Rect(i, i, i + 5, i + 5));
    EXPECT_EQ(p->Paints, 0);  // only invalidated
    RECT update{};
    EXPECT_TRUE(GetUpdateRect(p->Handle(), &update, FALSE));
    EXPECT_EQ(update.right - update.left, 40);  // the whole client area
    UpdateWindow(p->Handle());
    EXPECT_EQ(p->Paints, 1);
    UpdateWindow(p->Handle());
    EXPECT_EQ(p->Paints, 1);

    auto dib = Render(*form, 120, 80);
    EXPECT_EQ(Rgb(dib->Pixel(8, 4)), 0x0000FFu);
    EXPECT_EQ(Rgb(dib->Pixel(47, 33)), 0x0000FFu);
    EXPECT_EQ(Rgb(dib->Pixel(48, 33)), RgbOf(StripeAt(48)));

    form->SetDesigning(true);  // in the designer a rendered rectangle asks for no repaint
    p->Driver()->OnPaint(p->Driver(), Rect(0, 0, 5, 5));
    EXPECT_FALSE(GetUpdateRect(p->Handle(), &update, FALSE));
}

TEST_F(PlayerWndTest, WithoutAFlashPlayerNothingIsDrawnAtAll) {
    auto form = MakeForm<TStripedForm>(120, 80);  // no player installed: the inert driver
    auto* p = Place(*form, 8, 4, 40, 30);
    p->SetColor(clBlue);
    ASSERT_EQ(p->Driver()->ClassName(), "TvdFlashDriver");
    EXPECT_EQ(BufferAt(*p, 0, 0), 0xFF0000FFu);  // the buffer has its colour ...
    auto dib = Render(*form, 120, 80);
    for (int x : {8, 20, 47})  // ... but the window shows what was there: the form's stripes
        EXPECT_EQ(Rgb(dib->Pixel(x, 10)), RgbOf(StripeAt(x))) << x;

    // Erasing is suppressed: the answer says handled and the device context is untouched.
    TDibSection target(4, 4);
    FillLongword(target.Bits(), 16, 0x123456);
    EXPECT_EQ(SendMessageW(p->Handle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(target.DC()), 0), 1);
    GdiFlush();
    EXPECT_EQ(target.Pixel(1, 1), 0x123456u);

    // A driver whose player went missing draws nothing either.
    DefaultFlashDriverClass = &TRecDriver::Class();
    auto* q = Place(*form, 60, 4, 40, 30);
    q->SetColor(clLime);
    EXPECT_EQ(Rgb(Render(*form, 120, 80)->Pixel(70, 10)), 0x00FF00u);
    TRecDriver::Installed = false;
    EXPECT_EQ(Rgb(Render(*form, 120, 80)->Pixel(70, 10)), RgbOf(StripeAt(70)));
}

TEST_F(PlayerWndTest, MovieEventsAssignedByCodeReachTheCurrentDriverAtOnce) {
    TvdFlashPlayerWnd p(nullptr);  // made by code: no Loaded ever comes
    std::vector<std::string> got;
    p.SetOnFSCommand([&](TObject* s, const WideString& c, const WideString& a) {
        got.push_back("fs " + WideToUtf8(c) + " " + WideToUtf8(a) + (s == p.Driver() ? " from driver" : ""));
    });
    p.SetOnFlashCall([&](TObject* s, const WideString& r) {
        got.push_back("call " + WideToUtf8(r) + (s == p.Driver() ? " from driver" : ""));
    });
    p.Driver()->DoFSCommand(u"next", u"2");
    p.Driver()->DoFlashCall(u"<invoke name=\"f\"/>");
    EXPECT_EQ(got, (std::vector<std::string>{"fs next 2 from driver", "call <invoke name=\"f\"/> from driver"}));

    got.clear();
    p.SetOnFlashCall(nullptr);
    p.Driver()->DoFlashCall(u"gone");
    EXPECT_TRUE(got.empty());

    DefaultFlashDriverClass = &TRecDriver::Class();
    p.SetPlugin(vdNetscape);  // the new driver gets the current handlers
    p.Driver()->DoFSCommand(u"again", u"");
    EXPECT_EQ(got, (std::vector<std::string>{"fs again  from driver"}));
}

TEST_F(PlayerWndTest, ChangingPluginReplacesTheDriverAndReloadsTheMovie) {
    DefaultFlashDriverClass = &TRecDriver::Class();
    FlashDriverNSClass = &TTestNSDriver::Class();
    auto form = MakeForm(120, 80);
    auto* p = Place(*form, 0, 0, 40, 30);
    p->SetMovie(u"a.swf");
    p->SetVolume(80);
    Journal().clear();
    TRecDriver::Installed = false;
    p->SetPlugin(vdNetscape);
    ASSERT_NE(dynamic_cast<TTestNSDriver*>(p->Driver()), nullptr);
    EXPECT_EQ(Journal(), (std::vector<std::string>{"rec: destroyed", "ns: LoadMovie 'a.swf'"}));
    EXPECT_EQ(p->GetVolume(), 50);
    EXPECT_EQ(p->Driver()->Width, 40);
    EXPECT_EQ(p->GetVariable(u"v"), u"value of v");
    EXPECT_EQ(p->GetTotalFrames(), 12);
}

class TWndForm : public TForm {
public:
    explicit TWndForm(TComponent* owner) : TForm(owner) {
        PublishMethod("PlayerFSCommand", TvdFSCommandEvent([this](TObject*, const WideString& c, const WideString&) {
                          Commands.push_back(WideToUtf8(c));
                      }));
    }
    std::vector<std::string> Commands;
};

TEST_F(PlayerWndTest, FormFilesStoreThePlayersPropertiesFirstAndReadBack) {
    TWndForm form(nullptr);
    form.SetName("WndForm");
    auto* plain = new TvdFlashPlayerWnd(&form);
    plain->SetName("Plain");
    plain->SetParent(&form);
    const std::string plainText = WriteComponentText(&form);
    const std::string plainBody = plainText.substr(plainText.find("object Plain: TvdFlashPlayerWnd"));
    for (const char* absent : {"TabStop", "DisableFlashMenu", "Plugin", "Color", "Movie", "Visible"})
        EXPECT_EQ(plainBody.find(absent), std::string::npos) << absent << "\n" << plainBody;
    EXPECT_NE(plainBody.find("Pause = False"), std::string::npos) << plainBody;
    EXPECT_NE(plainBody.find("Volume = 50"), std::string::npos) << plainBody;
    delete plain;

    auto* p = new TvdFlashPlayerWnd(&form);
    p->SetName("Player1");
    p->SetParent(&form);
    p->SetBounds(8, 6, 120, 90);
    p->SetPlugin(vdActiveX);  // first: a run-time Plugin change starts from the driver defaults
    p->SetDisableFlashCursor(true);
    p->SetMovie(u"clip.flv");
    p->SetSkin("ArcticOverAll");
    p->SetVolume(65);
    const auto& method = std::any_cast<const TvdFSCommandEvent&>(*form.MethodAddress("PlayerFSCommand"));
    p->SetOnFSCommand(TvdFSCommandEvent(detail::TNamedMethod<TvdFSCommandEvent>{"PlayerFSCommand", method}));
    p->SetTabStop(false);
    p->SetAnchors(TAnchors{akLeft, akTop, akRight});
    p->SetColor(clTeal);
    p->SetShowHint(true);
    p->SetVisible(false);

    const std::string text = WriteComponentText(&form);
    const std::string body = text.substr(text.find("object Player1"));
    size_t last = 0;
    for (const char* n : {"Width", "DisableFlashCursor", "Plugin", "Movie", "Skin", "Pause", "Volume", "OnFSCommand",
                          "TabStop", "Anchors", "Color", "ShowHint", "Visible"}) {
        const auto at = body.find(std::string("    ") + n + " = ");
        ASSERT_NE(at, std::string::npos) << n << "\n" << body;
        EXPECT_GT(at, last) << n << "\n" << body;
        last = at;
    }
    EXPECT_NE(body.find("TabStop = False"), std::string::npos);

    DefaultFlashDriverClass = &TRecDriver::Class();
    FlashDriverNSClass = &TTestNSDriver::Class();  // what vdActiveX falls back to here
    Journal().clear();
    TWndForm copy(nullptr);
    ReadComponent(WriteComponentBinary(&form), &copy);
    auto* q = dynamic_cast<TvdFlashPlayerWnd*>(copy.FindComponent("Player1"));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->BoundsRect(), Rect(8, 6, 128, 96));
    EXPECT_EQ(q->GetPlugin(), vdActiveX);
    EXPECT_TRUE(q->GetDisableFlashCursor());  // stored before Plugin and kept
    EXPECT_EQ(q->GetMovie(), u"clip.flv");
    EXPECT_EQ(q->GetSkin(), "ArcticOverAll");
    EXPECT_EQ(q->GetVolume(), 65);
    EXPECT_FALSE(q->GetTabStop());
    EXPECT_EQ(q->GetColor(), clTeal);
    EXPECT_FALSE(q->GetVisible());
    EXPECT_EQ(q->Driver()->Width, 120);
    // The movie loads once the form is read, not while it is.
    ASSERT_NE(dynamic_cast<TTestNSDriver*>(q->Driver()), nullptr);
    EXPECT_EQ(Journal().back(), "ns: LoadMovie 'clip.flv'");
    q->Driver()->DoFSCommand(u"hello", u"");
    EXPECT_EQ(copy.Commands, (std::vector<std::string>{"hello"}));
    EXPECT_EQ(WriteComponentText(&copy), text);
}

}  // namespace
