// TvdFlashPlayer on a real form: its buffer (read back from the DIB section), transparency
// and colour, bounds, mouse forwarding, movie events, driver changes, design time and form files.
#include "vd_windows.h"

#include <windowsx.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "recording_driver.h"
#include "win32_test_support.h"

using namespace vd;
using namespace vdtest;

namespace {

LPARAM Pos(int x, int y) {
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y)));
}

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override { InitializeFlashPlayerUnit(); }
    void TearDown() override { FinalizeFlashPlayerUnit(); }
    SelectionGuard guard_;
};

uint32_t BufferAt(const TvdFlashPlayer& p, int x, int y) {
    const TvdFlashDriver* d = p.Driver();
    return d->Bits[static_cast<size_t>(y) * static_cast<size_t>(d->Width) + static_cast<size_t>(x)];
}

TvdFlashPlayer* Place(TWinControl& parent, int l, int t, int w, int h) {
    auto* p = new TvdFlashPlayer(&parent);
    p->SetParent(&parent);
    p->SetBounds(l, t, w, h);
    return p;
}

TEST_F(PlayerTest, NewControlHasTheStatedDefaultsAndTheInertDriver) {
    TvdFlashPlayer p(nullptr);
    EXPECT_EQ(p.GetWidth(), 100);
    EXPECT_EQ(p.GetHeight(), 100);
    EXPECT_TRUE(p.GetTransparent());
    EXPECT_EQ(p.GetPlugin(), vdDefault);
    EXPECT_TRUE(p.GetDisableFlashMenu());
    EXPECT_FALSE(p.GetDisableFlashCursor());
    EXPECT_FALSE(p.GetShowUpdateRects());
    EXPECT_EQ(p.GetVolume(), 50);
    EXPECT_EQ(p.GetSkin(), "ClearOverAll");
    EXPECT_FALSE(p.GetPause());
    EXPECT_EQ(p.GetColor(), clWindow);
    EXPECT_TRUE(p.GetParentColor());
    ASSERT_NE(p.Driver(), nullptr);
    EXPECT_EQ(p.Driver()->ClassName(), "TvdFlashDriver");
    EXPECT_EQ(p.Driver()->Control, &p);
    EXPECT_EQ(p.Driver()->Width, 100);
    EXPECT_EQ(p.Driver()->Background, ColorToOpaquePixel(clWindow));
    EXPECT_EQ(p.GetVariable(u"a"), u"");
    EXPECT_EQ(p.CallFunction(u"<invoke name=\"f\"/>"), u"");
    EXPECT_EQ(p.GetTotalFrames(), 0);
}

TEST_F(PlayerTest, OpaqueControlFillsItsBufferWithItsColourAndFollowsColourChanges) {
    auto form = MakeForm<TStripedForm>(80, 40);
    TvdFlashPlayer* p = Place(*form, 10, 5, 30, 20);
    p->SetTransparent(false);
    p->SetColor(clRed);
    for (int y : {0, 19})
        for (int x : {0, 29}) EXPECT_EQ(BufferAt(*p, x, y), 0xFFFF0000u) << x << "," << y;

    auto dib = Render(*form, 80, 40);
    EXPECT_EQ(Rgb(dib->Pixel(10, 5)), 0xFF0000u);
    EXPECT_EQ(Rgb(dib->Pixel(39, 24)), 0xFF0000u);
    EXPECT_EQ(Rgb(dib->Pixel(40, 24)), RgbOf(StripeAt(40)));  // outside: the form
    EXPECT_EQ(Rgb(dib->Pixel(9, 5)), RgbOf(StripeAt(9)));

    p->SetParentColor(true);  // takes the form's colour, and shows it at once
    form->SetColor(clLime);
    EXPECT_EQ(p->GetColor(), clLime);
    EXPECT_EQ(BufferAt(*p, 15, 10), 0xFF00FF00u);
    dib = Render(*form, 80, 40);
    EXPECT_EQ(Rgb(dib->Pixel(20, 10)), 0x00FF00u);
}

TEST_F(PlayerTest, TransparentControlsBufferHoldsTheParentUnderIt) {
    auto form = MakeForm<TStripedForm>(80, 40);
    auto* below = new TvdFlashPlayer(form.get());  // another control under the player shows too
    below->SetParent(form.get());
    below->SetTransparent(false);
    below->SetColor(clWhite);
    below->SetBounds(0, 20, 80, 20);
    TvdFlashPlayer* p = Place(*form, 6, 15, 20, 10);
    ASSERT_TRUE(p->GetTransparent());
    for (int x = 0; x < 20; ++x) {
        EXPECT_EQ(Rgb(BufferAt(*p, x, 0)), RgbOf(StripeAt(x + 6))) << x;
        EXPECT_EQ(Rgb(BufferAt(*p, x, 9)), 0xFFFFFFu) << x;
    }
    // Moving without resizing: the buffer shows the new place, not the old one.
    p->SetBounds(9, 15, 20, 10);
    for (int x = 0; x < 20; ++x) EXPECT_EQ(Rgb(BufferAt(*p, x, 0)), RgbOf(StripeAt(x + 9))) << x;

    auto dib = Render(*form, 80, 40);
    for (int x = 9; x < 29; ++x) EXPECT_EQ(Rgb(dib->Pixel(x, 16)), RgbOf(StripeAt(x))) << x;

    // Turning transparency off shows the colour at once, even with no Flash Player.
    p->SetColor(clBlue);
    p->SetTransparent(false);
    EXPECT_EQ(BufferAt(*p, 3, 3), 0xFF0000FFu);
    p->SetTransparent(true);
    EXPECT_EQ(Rgb(BufferAt(*p, 3, 3)), RgbOf(StripeAt(12)));
}

TEST_F(PlayerTest, EraseTouchesOnlyTheGivenRectangle) {
    auto form = MakeForm<TStripedForm>(80, 40);
    TvdFlashPlayer* p = Place(*form, 4, 4, 10, 8);
    FillLongword(p->Driver()->Bits, 80, 0xFF123456);
    p->DoEraseBackground(p->Driver(), Rect(2, 1, 5, 3));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 2 && x < 5 && y >= 1 && y < 3;
            EXPECT_EQ(Rgb(BufferAt(*p, x, y)), inside ? RgbOf(StripeAt(x + 4)) : 0x123456u) << x << "," << y;
        }
    p->SetTransparent(false);
    p->SetColor(clRed);
    FillLongword(p->Driver()->Bits, 80, 0xFF123456);
    p->DoEraseBackground(p->Driver(), Rect(8, 6, 30, 30));  // cut to the buffer
    EXPECT_EQ(BufferAt(*p, 9, 7), 0xFFFF0000u);
    EXPECT_EQ(BufferAt(*p, 7, 7), 0xFF123456u);
}

TEST_F(PlayerTest, WithoutAParentWindowTheTransparentBufferIsLeftAlone) {
    TStripedForm form(nullptr);
    form.SetBounds(0, 0, 300, 200);
    TvdFlashPlayer* p = Place(form, 4, 4, 10, 8);
    EXPECT_EQ(p->Driver()->Width, 10);
    EXPECT_EQ(p->Driver()->Height, 8);
    FillLongword(p->Driver()->Bits, 80, 0xFF123456);
    p->DoEraseBackground(p->Driver(), Rect(0, 0, 10, 8));
    EXPECT_EQ(BufferAt(*p, 5, 5), 0xFF123456u);
    EXPECT_FALSE(form.HandleAllocated());  // asking never made one
}

TEST_F(PlayerTest, MouseInputIsForwardedToTheDriverAfterTheFrameworksHandling) {
    DefaultFlashDriverClass = &TRecDriver::Class();
    auto form = MakeForm(120, 80);
    TvdFlashPlayer* p = Place(*form, 20, 10, 50, 40);
    auto* driver = dynamic_cast<TRecDriver*>(p->Driver());
    ASSERT_NE(driver, nullptr);
    std::vector<std::string> order;
    p->SetOnClick([&](TObject*) { order.push_back("click"); });
    p->SetOnMouseDown([&](TObject*, TMouseButton, TShiftState, int, int) {
        order.push_back("OnMouseDown, driver saw " + std::to_string(driver->Input.size()));
    });
    HWND wnd = form->Handle();
    SendMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, Pos(25, 15));
    SendMessageW(wnd, WM_MOUSEMOVE, MK_LBUTTON, Pos(30, 20));
    SendMessageW(wnd, WM_LBUTTONUP, 0, Pos(30, 20));
    SendMessageW(wnd, WM_RBUTTONDOWN, MK_RBUTTON, Pos(69, 49));
    SendMessageW(wnd, WM_RBUTTONUP, 0, Pos(69, 49));
    EXPECT_EQ(driver->Input,
              (std::vector<std::string>{"down 0 5,5", "move 10,10", "up 0 10,10", "down 1 49,39", "up 1 49,39"}));
    EXPECT_EQ(order, (std::vector<std::string>{"OnMouseDown, driver saw 0", "click", "OnMouseDown, driver saw 3"}));

    driver->Input.clear();
    p->SetOnMouseWheel([](TObject*, TShiftState, int, TPoint, bool& handled) { handled = true; });
    POINT screen{40, 30};
    ClientToScreen(wnd, &screen);
    SendMessageW(wnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), Pos(screen.x, screen.y));
    EXPECT_EQ(driver->Input, (std::vector<std::string>{"wheel -120 at " + std::to_string(screen.x) + "," +
                                                       std::to_string(screen.y) + " handled"}));
}

TEST_F(PlayerTest, MovieEventsAssignedByCodeReachTheCurrentDriverAtOnce) {
    TvdFlashPlayer p(nullptr);  // made by code: no Loaded ever comes
    std::vector<std::string> got;
    p.SetOnFSCommand([&](TObject* s, const WideString& c, const WideString& a) {
        got.push_back("fs " + vd::WideToUtf8(c) + " " + vd::WideToUtf8(a) + (s == p.Driver() ? " from driver" : ""));
    });
    p.SetOnFlashCall([&](TObject* s, const WideString& r) {
        got.push_back("call " + vd::WideToUtf8(r) + (s == p.Driver() ? " from driver" : ""));
    });
    p.Driver()->DoFSCommand(u"next", u"2");
    p.Driver()->DoFlashCall(u"<invoke name=\"f\"/>");
    EXPECT_EQ(got, (std::vector<std::string>{"fs next 2 from driver", "call <invoke name=\"f\"/> from driver"}));

    got.clear();
    p.SetOnFSCommand(nullptr);  // cleared by code: the driver stops calling it too
    p.Driver()->DoFSCommand(u"next", u"3");
    EXPECT_TRUE(got.empty());

    DefaultFlashDriverClass = &TRecDriver::Class();
    p.SetPlugin(vdNetscape);  // the new driver gets the current handlers
    p.Driver()->DoFlashCall(u"again");
    EXPECT_EQ(got, (std::vector<std::string>{"call again from driver"}));
}

// A "quit"-style handler that clears or replaces itself while it runs keeps running on
// intact state: what it holds lives until it returns.
namespace handler_probe {
bool gone = false;
bool goneDuringCall = false;
struct Probe {
    ~Probe() { gone = true; }
};
}  // namespace handler_probe

TEST_F(PlayerTest, AHandlerMayClearItselfWhileItRuns) {
    using namespace handler_probe;
    gone = goneDuringCall = false;
    TvdFlashPlayer p(nullptr);
    auto probe = std::make_shared<Probe>();
    p.SetOnFSCommand([probe, player = &p](TObject*, const WideString&, const WideString&) {
        player->SetOnFSCommand(nullptr);
        goneDuringCall = gone;  // only globals from here on
    });
    probe.reset();  // the handler copies are now the only owners
    ASSERT_FALSE(gone);
    p.Driver()->DoFSCommand(u"quit", u"");
    EXPECT_FALSE(goneDuringCall);
    EXPECT_TRUE(gone);  // released once the call returned
}

TEST_F(PlayerTest, ChangingPluginReplacesTheDriverAndReloadsTheMovie) {
    DefaultFlashDriverClass = &TRecDriver::Class();
    FlashDriverNSClass = &TTestNSDriver::Class();
    auto form = MakeForm(120, 80);
    TvdFlashPlayer* p = Place(*form, 0, 0, 40, 30);
    p->SetMovie(u"http://example.test/a.swf");
    p->SetVolume(80);
    p->SetSkin("SteelOverAll");
    p->SetDisableFlashMenu(false);
    Journal().clear();

    TvdFlashDriver* before = p->Driver();
    p->SetPlugin(vdDefault);  // the current value: nothing at all
    EXPECT_EQ(p->Driver(), before);
    EXPECT_TRUE(Journal().empty());

    TRecDriver::Installed = false;  // the default class's player is missing: Netscape it is
    p->SetPlugin(vdNetscape);
    ASSERT_NE(dynamic_cast<TTestNSDriver*>(p->Driver()), nullptr);
    EXPECT_EQ(Journal(), (std::vector<std::string>{"rec: destroyed", "ns: LoadMovie 'http://example.test/a.swf'"}));
    EXPECT_EQ(p->GetVolume(), 50);
    EXPECT_EQ(p->GetSkin(), "ClearOverAll");
    EXPECT_TRUE(p->GetDisableFlashMenu());
    EXPECT_EQ(p->Driver()->Width, 40);
    EXPECT_EQ(p->Driver()->Control, p);
}

TEST_F(PlayerTest, MovieOperationsThroughIvdFlashReachTheDriver) {
    DefaultFlashDriverClass = &TRecDriver::Class();
    TvdFlashPlayer p(nullptr);
    Journal().clear();
    IvdFlash* flash = &p;
    flash->LoadMovie(u"a.swf");
    EXPECT_EQ(p.GetMovie(), u"a.swf");
    TMemoryStream stream;
    stream.WriteBuffer("FWS", 3);
    flash->LoadMovieFromStream(&stream);
    EXPECT_EQ(p.GetMovie(), u"");  // a movie from a stream has no address
    EXPECT_EQ(flash->GetTotalFrames(), 12);
    EXPECT_EQ(flash->GetVariable(u"v"), u"value of v");
    EXPECT_EQ(flash->CallFunction(u"<invoke name=\"f\"/>"), u"<string>answer</string>");
    flash->StopPlay();
    flash->AddRef();
    flash->Release();
    flash->Release();
    EXPECT_EQ(Journal(), (std::vector<std::string>{"rec: LoadMovie 'a.swf'", "rec: LoadMovieFromStream 3",
                                                   "rec: CallFunction <invoke name=\"f\"/>", "rec: StopPlay"}));
    EXPECT_EQ(p.GetWidth(), 100);  // still alive and well
}

TEST_F(PlayerTest, WithoutADriverSettingsReadEmptyAndNothingBreaks) {
    auto form = MakeForm(120, 80);
    TvdFlashPlayer* p = Place(*form, 0, 0, 40, 30);
    FlashDriverNSClass = &TFailingDriver::Class();
    EXPECT_THROW(p->SetPlugin(vdNetscape), Exception);
    ASSERT_EQ(p->Driver(), nullptr);
    EXPECT_EQ(p->GetVolume(), 0);
    EXPECT_FALSE(p->GetPause());
    EXPECT_EQ(p->GetSkin(), "");
    EXPECT_EQ(p->GetVariable(u"x"), u"");
    EXPECT_EQ(p->CallFunction(u"<invoke/>"), u"");
    p->Play();
    p->SetPause(true);
    p->SetVolume(3);
    p->SetColor(clRed);
    p->SetTransparent(false);
    p->SetBounds(1, 1, 20, 20);
    p->LoadMovie(u"a.swf");
    SendMessageW(form->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, Pos(5, 5));
    SendMessageW(form->Handle(), WM_LBUTTONUP, 0, Pos(5, 5));
    Render(*form, 120, 80);
    FlashDriverNSClass = nullptr;
    p->SetPlugin(vdDefault);  // a later change brings a driver back
    ASSERT_NE(p->Driver(), nullptr);
    EXPECT_EQ(p->Driver()->Width, 20);
}

TEST_F(PlayerTest, InTheDesignerMoviesStayPausedAndPaintRebindsTheDriver) {
    DefaultFlashDriverClass = &TRecDriver::Class();
    auto form = MakeForm(120, 80);
    TvdFlashPlayer* p = Place(*form, 0, 0, 40, 30);
    form->SetDesigning(true);
    Journal().clear();
    p->SetMovie(u"intro.swf");
    EXPECT_TRUE(p->GetPause());
    EXPECT_EQ(Journal(), (std::vector<std::string>{"rec: LoadMovie 'intro.swf'", "rec: StopPlay"}));

    p->Driver()->OnPaint = nullptr;
    p->Driver()->OnEraseBackground = nullptr;
    Render(*form, 120, 80);  // the form's paint runs the player's Paint
    EXPECT_TRUE(static_cast<bool>(p->Driver()->OnPaint));
    EXPECT_TRUE(static_cast<bool>(p->Driver()->OnEraseBackground));
}

// Counts how often the player is asked to paint.
class TCountingPlayer : public TvdFlashPlayer {
public:
    using TvdFlashPlayer::TvdFlashPlayer;
    int Paints = 0;

protected:
    void Paint() override {
        ++Paints;
        TvdFlashPlayer::Paint();
    }
};

TEST_F(PlayerTest, DriverPaintsAndWindowPaintsCopyTheBufferButNotInTheDesigner) {
    auto form = MakeForm(120, 80);
    auto* p = new TCountingPlayer(form.get());
    p->SetParent(form.get());
    p->SetBounds(10, 10, 40, 30);
    form->Show();
    Application().ProcessMessages();

    p->Paints = 0;
    p->Driver()->OnPaint(p->Driver(), Rect(0, 0, 5, 5));  // a re-rendered rectangle: copied at once
    EXPECT_EQ(p->Paints, 1);
    EXPECT_FALSE(p->Canvas()->HandleAllocated());  // the borrowed window DC went back

    RECT area{10, 10, 50, 40};
    InvalidateRect(form->Handle(), &area, TRUE);
    UpdateWindow(form->Handle());  // the form's paint message paints its graphic children
    EXPECT_EQ(p->Paints, 2);

    form->SetDesigning(true);
    p->Driver()->OnPaint(p->Driver(), Rect(0, 0, 5, 5));
    EXPECT_EQ(p->Paints, 2);
}

// A hidden player draws nothing on its parent: not when it is hidden itself (its pixels would
// land on the visible form), nor when its parent is.
TEST_F(PlayerTest, AHiddenPlayerDrawsNothingOnItsParent) {
    auto form = MakeForm(120, 80);
    form->SetColor(clWhite);
    auto* p = new TCountingPlayer(form.get());
    p->SetParent(form.get());
    p->SetBounds(10, 10, 40, 30);
    p->SetTransparent(false);
    p->SetColor(clRed);
    form->Show();
    Application().ProcessMessages();
    const auto screenAt = [&](int x, int y) {
        win32::TWindowDC dc(form->Handle());
        return GetPixel(dc.Get(), x, y);
    };
    const auto repaintForm = [&] {
        InvalidateRect(form->Handle(), nullptr, TRUE);
        UpdateWindow(form->Handle());
    };
    ASSERT_EQ(screenAt(20, 20), RGB(255, 0, 0)) << "the shown player's buffer is on the form";

    p->SetVisible(false);
    repaintForm();
    ASSERT_EQ(screenAt(20, 20), RGB(255, 255, 255));
    p->Paints = 0;
    p->Driver()->OnPaint(p->Driver(), Rect(0, 0, 40, 30));  // the movie re-rendered
    EXPECT_EQ(screenAt(20, 20), RGB(255, 255, 255));
    EXPECT_EQ(p->Paints, 0);

    // Shown again on a hidden form: still nothing drawn until the form shows.
    p->SetVisible(true);
    form->Hide();
    p->Driver()->OnPaint(p->Driver(), Rect(0, 0, 40, 30));
    EXPECT_EQ(p->Paints, 0);
    form->Show();
    repaintForm();
    EXPECT_EQ(screenAt(20, 20), RGB(255, 0, 0));
}

class TPlayerForm : public TForm {
public:
    explicit TPlayerForm(TComponent* owner) : TForm(owner) {
        PublishMethod("PlayerFSCommand", TvdFSCommandEvent([this](TObject*, const WideString& c, const WideString&) {
                          Commands.push_back(vd::WideToUtf8(c));
                      }));
    }
    std::vector<std::string> Commands;
};

const char kPlayerForm[] =
    "object PlayerForm: TForm\n"
    "  Left = 0\n"
    "  Top = 0\n"
    "  Width = 300\n"
    "  Height = 200\n"
    "  object Player1: TvdFlashPlayer\n"
    "    Left = 8\n"
    "    Top = 6\n"
    "    Width = 120\n"
    "    Height = 90\n"
    "    DisableFlashMenu = False\n"
    "    Movie = 'intro.swf'\n"
    "    Skin = 'SteelOverAll'\n"
    "    Pause = True\n"
    "    Volume = 80\n"
    "    OnFSCommand = PlayerFSCommand\n"
    "    Transparent = False\n"
    "  end\n"
    "end\n";

TEST_F(PlayerTest, ReadFromAFormTheMovieLoadsInLoadedAndEventsAreWired) {
    DefaultFlashDriverClass = &TRecDriver::Class();
    TPlayerForm form(nullptr);
    ReadComponent(kPlayerForm, &form);
    auto* p = dynamic_cast<TvdFlashPlayer*>(form.FindComponent("Player1"));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetParent(), &form);
    // Construction hands the empty movie to the first driver; the stored Pause reaches the
    // driver while reading; the movie itself loads only after reading, not paused again.
    EXPECT_EQ(Journal(),
              (std::vector<std::string>{"rec: LoadMovie ''", "rec: StopPlay", "rec: LoadMovie 'intro.swf'"}));
    EXPECT_EQ(p->GetMovie(), u"intro.swf");
    EXPECT_EQ(p->GetSkin(), "SteelOverAll");
    EXPECT_EQ(p->GetVolume(), 80);
    EXPECT_TRUE(p->GetPause());
    EXPECT_FALSE(p->GetDisableFlashMenu());
    EXPECT_FALSE(p->GetTransparent());
    EXPECT_EQ(p->BoundsRect(), Rect(8, 6, 128, 96));
    EXPECT_EQ(p->Driver()->Width, 120);
    p->Driver()->DoFSCommand(u"stop", u"");
    EXPECT_EQ(form.Commands, (std::vector<std::string>{"stop"}));
}

TEST_F(PlayerTest, FormFilesStoreChangedPropertiesInOrderAndAlwaysPauseAndVolume) {
    TPlayerForm form(nullptr);
    form.SetName("PlayerForm");
    auto* plain = new TvdFlashPlayer(&form);
    plain->SetName("Plain");
    plain->SetParent(&form);
    const std::string plainText = WriteComponentText(&form);
    const auto plainAt = plainText.find("object Plain: TvdFlashPlayer");
    ASSERT_NE(plainAt, std::string::npos) << plainText;
    const std::string plainBody = plainText.substr(plainAt);
    // Defaults are left out; Pause and Volume have none and are always there.
    for (const char* absent : {"Transparent", "DisableFlashMenu", "DisableFlashCursor", "Plugin", "Color", "Align",
                               "Anchors", "DragCursor", "Visible", "Movie"})
        EXPECT_EQ(plainBody.find(absent), std::string::npos) << absent << "\n" << plainBody;
    EXPECT_NE(plainBody.find("Pause = False"), std::string::npos) << plainBody;
    EXPECT_NE(plainBody.find("Volume = 50"), std::string::npos) << plainBody;
    EXPECT_NE(plainBody.find("Skin = 'ClearOverAll'"), std::string::npos) << plainBody;
    delete plain;

    auto* p = new TvdFlashPlayer(&form);
    p->SetName("Player1");
    p->SetParent(&form);
    p->SetBounds(8, 6, 120, 90);
    p->SetAlign(alNone);
    p->SetAnchors(TAnchors{akLeft, akTop, akRight});
    p->SetDragMode(dmAutomatic);
    p->SetColor(clTeal);
    p->SetShowHint(true);
    p->SetVisible(false);
    p->SetPlugin(vdActiveX);
    p->SetDisableFlashCursor(true);
    p->SetMovie(u"clip.flv");
    p->SetSkin("ArcticOverAll");
    p->SetVolume(65);
    // As the designer assigns a handler: the form's published method, known by name.
    const auto& method = std::any_cast<const TvdFSCommandEvent&>(*form.MethodAddress("PlayerFSCommand"));
    p->SetOnFSCommand(TvdFSCommandEvent(detail::TNamedMethod<TvdFSCommandEvent>{"PlayerFSCommand", method}));
    p->SetTransparent(false);

    // The order a form stores them in is the published order.
    const std::string text = WriteComponentText(&form);
    std::vector<std::string> names;
    const std::string body = text.substr(text.find("object Player1"));
    for (const char* n : {"DragMode", "Color", "ShowHint", "Visible", "DisableFlashCursor", "Plugin", "Movie", "Skin",
                          "Pause", "Volume", "Transparent"}) {
        const auto at = body.find(std::string("    ") + n + " = ");
        ASSERT_NE(at, std::string::npos) << n << "\n" << body;
        names.push_back(std::to_string(at));
    }
    for (size_t i = 1; i < names.size(); ++i) EXPECT_LT(std::stoul(names[i - 1]), std::stoul(names[i])) << i;
    EXPECT_NE(body.find("Plugin = vdActiveX"), std::string::npos);
    EXPECT_NE(body.find("Color = clTeal"), std::string::npos);

    // Binary round trip into a fresh form.
    const std::string binary = WriteComponentBinary(&form);
    TPlayerForm copy(nullptr);
    ReadComponent(binary, &copy);
    auto* q = dynamic_cast<TvdFlashPlayer*>(copy.FindComponent("Player1"));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->BoundsRect(), Rect(8, 6, 128, 96));
    EXPECT_EQ(q->GetAnchors(), (TAnchors{akLeft, akTop, akRight}));
    EXPECT_EQ(q->GetDragMode(), dmAutomatic);
    EXPECT_EQ(q->GetColor(), clTeal);
    EXPECT_FALSE(q->GetParentColor());
    EXPECT_TRUE(q->GetShowHint());
    EXPECT_FALSE(q->GetVisible());
    EXPECT_EQ(q->GetPlugin(), vdActiveX);
    // Stored before Plugin, applied to the first driver, and kept when Plugin replaced it.
    EXPECT_TRUE(q->GetDisableFlashCursor());
    EXPECT_EQ(q->GetMovie(), u"clip.flv");
    EXPECT_EQ(q->GetSkin(), "ArcticOverAll");
    EXPECT_EQ(q->GetVolume(), 65);
    EXPECT_FALSE(q->GetTransparent());
    q->Driver()->DoFSCommand(u"hello", u"");
    EXPECT_EQ(copy.Commands, (std::vector<std::string>{"hello"}));
    EXPECT_EQ(WriteComponentText(&copy), text);
}

}  // namespace

// The unit's start-up makes the movie store readable from forms and lets movie names be
// tested against the real file system.
TEST_F(PlayerTest, StartUpRegistersTheMovieStoreAndTheFileTest) {
    TForm form(nullptr);
    ReadComponent(
        "object F: TForm\n"
        "  object Movies: TvdFlashList\n"
        "    Flashs = <\n"
        "      item\n"
        "        FlashStore = 'a.swf'\n"
        "        FlashStream = {040500000061002E00730077006600030000000102\n"
        "          03}\n"
        "      end>\n"
        "  end\n"
        "end\n",
        &form);
    ASSERT_NE(FlashList, nullptr);
    TvdFlashStream* item = FlashList->Find(u"A.SWF");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->Data().GetSize(), 3);

    wchar_t exe[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, exe, MAX_PATH), 0u);
    const WideString path(reinterpret_cast<const char16_t*>(exe));
    EXPECT_TRUE(LocalFileExists(path));
    EXPECT_FALSE(LocalFileExists(path + u".missing"));
}

// Stored movies of older forms carry 8-bit names in the system code page: bytes the code page
// gives other characters than Latin-1 (cp1252's 0x80-0x9F: the euro sign, typographic quotes)
// come out as the code page says.
TEST_F(PlayerTest, OlderStoredMovieNamesAreTextInTheSystemCodePage) {
    const std::string name = "\x80\x93intro\x94\xC9.swf";
    std::string bytes = "\x02";
    const auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(v >> (8 * i)));
    };
    put32(static_cast<uint32_t>(name.size()));
    bytes += name;
    put32(3);
    bytes += "abc";
    TvdFlashList list(nullptr);
    TvdFlashStream* item = list.GetFlashs()->Add();
    TMemoryStream stream;
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    stream.SetPosition(0);
    item->ReadData(stream);

    wchar_t wide[64] = {};
    const int n = MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), wide, 64);
    const WideString systemText(reinterpret_cast<const char16_t*>(wide), static_cast<size_t>(n));
    EXPECT_EQ(WideToUtf8(item->GetFlashStore()), WideToUtf8(systemText));
    if (GetACP() == 1252) EXPECT_EQ(item->GetFlashStore(), u"\u20AC\u201Cintro\u201D\u00C9.swf");
    if (GetACP() != 28591) EXPECT_NE(item->GetFlashStore(), Latin1ToWide(name)) << "read as Latin-1";
}

// A form naming a player class whose unit was not started says which start-up registers it.
TEST_F(PlayerTest, AFormNamingAClassOfAUnitNotStartedNamesItsStartUp) {
    TForm form(nullptr);
    try {
        ReadComponent("object F: TForm\n  object L: TvdFlashLayer\n  end\nend\n", &form);
        FAIL() << "the layer unit is not started here";
    } catch (const EClassNotFound& e) {
        EXPECT_EQ(e.Message(),
                  "Class TvdFlashLayer not found: InitializeLayerUnit() (or InitializeFlashPackage()) registers it");
    }
}
