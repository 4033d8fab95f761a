// The visual framework on real Win32: windows made on demand, painting of graphic children
// through the parent, mouse routing and capture, keys, colour inheritance, alignment.
#include "vd_windows.h"

#include <windowsx.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win32_test_support.h"

using namespace vd;
using namespace vdtest;

namespace {

LPARAM Pos(int x, int y) {
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y)));
}

// A graphic control that fills itself with one colour and records its input.
class TBlock : public TGraphicControl {
public:
    explicit TBlock(TComponent* owner, COLORREF fill = RGB(0, 200, 0)) : TGraphicControl(owner), fill_(fill) {}
    std::vector<std::string> Log;
    int ColorChanges = 0;
    TPoint WheelPos;

protected:
    void Paint() override {
        Canvas()->Brush.Color = static_cast<TColor>(fill_);
        // Deliberately larger than the control: the parent's clip must cut it.
        Canvas()->FillRect(Rect(-50, -50, GetWidth() + 50, GetHeight() + 50));
    }
    void MouseDown(TMouseButton b, TShiftState s, int x, int y) override {
        Log.push_back("down " + std::to_string(b) + " " + std::to_string(x) + "," + std::to_string(y));
        TGraphicControl::MouseDown(b, s, x, y);
    }
    void MouseMove(TShiftState s, int x, int y) override {
        Log.push_back("move " + std::to_string(x) + "," + std::to_string(y));
        TGraphicControl::MouseMove(s, x, y);
    }
    void MouseUp(TMouseButton b, TShiftState s, int x, int y) override {
        Log.push_back("up " + std::to_string(b) + " " + std::to_string(x) + "," + std::to_string(y));
        TGraphicControl::MouseUp(b, s, x, y);
    }
    void Click() override {
        Log.push_back("click");
        TGraphicControl::Click();
    }
    bool DoMouseWheel(TShiftState s, int delta, TPoint pos) override {
        Log.push_back("wheel " + std::to_string(delta));
        WheelPos = pos;
        return TGraphicControl::DoMouseWheel(s, delta, pos);
    }
    void CMColorChanged(TMessage& m) override {
        ++ColorChanges;
        TGraphicControl::CMColorChanged(m);
    }

private:
    COLORREF fill_;
};

TEST(WinControl, CreatesItsWindowOnDemandAndAgainOnRecreate) {
    auto form = std::make_unique<TForm>(nullptr);
    auto* child = new TCustomControl(form.get());
    child->SetParent(form.get());
    child->SetBounds(5, 6, 40, 30);
    EXPECT_FALSE(form->HandleAllocated());
    EXPECT_FALSE(child->HandleAllocated());

    HWND childWnd = child->Handle();  // needs the form's window first
    ASSERT_TRUE(IsWindow(childWnd));
    ASSERT_TRUE(form->HandleAllocated());
    EXPECT_EQ(GetParent(childWnd), form->Handle());
    RECT r{};
    GetWindowRect(childWnd, &r);
    MapWindowPoints(nullptr, form->Handle(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.top, 6);
    EXPECT_EQ(r.right - r.left, 40);

    HWND formWnd = form->Handle();
    form->RecreateWnd();
    EXPECT_FALSE(IsWindow(formWnd));
    EXPECT_FALSE(IsWindow(childWnd));
    ASSERT_TRUE(form->HandleAllocated());
    ASSERT_TRUE(child->HandleAllocated());
    EXPECT_EQ(GetParent(child->Handle()), form->Handle());

    HWND last = child->Handle();
    form.reset();  // the form frees the child with its window
    EXPECT_FALSE(IsWindow(last));
}

TEST(WinControl, ChildWithoutParentWindowIsAnError) {
    TCustomControl orphan(nullptr);
    EXPECT_THROW(orphan.HandleNeeded(), EComponentError);
    EXPECT_FALSE(orphan.HandleAllocated());
}

TEST(Painting, ParentPaintsGraphicChildrenInZOrderClippedToEach) {
    auto form = MakeForm(60, 40);
    form->SetColor(clWhite);
    auto* below = new TBlock(form.get(), RGB(255, 0, 0));
    below->SetParent(form.get());
    below->SetBounds(10, 10, 20, 20);
    auto* above = new TBlock(form.get(), RGB(0, 0, 255));
    above->SetParent(form.get());
    above->SetBounds(20, 15, 20, 10);

    auto dib = Render(*form, 60, 40);
    EXPECT_EQ(Rgb(dib->Pixel(2, 2)), 0xFFFFFFu);    // form background
    EXPECT_EQ(Rgb(dib->Pixel(12, 12)), 0xFF0000u);  // below only
    EXPECT_EQ(Rgb(dib->Pixel(25, 20)), 0x0000FFu);  // overlap: the later control is on top
    EXPECT_EQ(Rgb(dib->Pixel(35, 20)), 0x0000FFu);
    // Each control painted beyond its bounds; nothing of that may show.
    EXPECT_EQ(Rgb(dib->Pixel(9, 12)), 0xFFFFFFu);
    EXPECT_EQ(Rgb(dib->Pixel(12, 30)), 0xFFFFFFu);
    EXPECT_EQ(Rgb(dib->Pixel(45, 20)), 0xFFFFFFu);

    below->Hide();
    dib = Render(*form, 60, 40);
    EXPECT_EQ(Rgb(dib->Pixel(12, 12)), 0xFFFFFFu);
}

TEST(Painting, PaintToHonoursOffsetAndTheContextsClipRegion) {
    auto form = MakeForm<TStripedForm>(40, 20);
    auto* block = new TBlock(form.get(), RGB(0, 255, 0));
    block->SetParent(form.get());
    block->SetBounds(20, 0, 10, 10);

    TDibSection dib(16, 8);
    for (int i = 0; i < 16 * 8; ++i) dib.Bits()[i] = 0x777777;
    {
        TSavedDC saved(dib.DC());
        TGdiObject region(CreateRectRgn(0, 0, 8, 8));  // only the left half may change
        SelectClipRgn(dib.DC(), static_cast<HRGN>(region.Get()));
        form->PaintTo(dib.DC(), -16, 0);  // form's (16, 0) lands at (0, 0)
    }
    GdiFlush();
    for (int x = 0; x < 8; ++x) {
        const uint32_t expected = x + 16 >= 20 ? 0x00FF00u : RgbOf(StripeAt(x + 16));
        EXPECT_EQ(Rgb(dib.Pixel(x, 3)), expected) << x;
    }
    for (int x = 8; x < 16; ++x) EXPECT_EQ(Rgb(dib.Pixel(x, 3)), 0x777777u) << x;
}

TEST(Mouse, ParentWindowRoutesToTheGraphicChildWithCaptureAndClick) {
    auto form = MakeForm(100, 80);
    auto* block = new TBlock(form.get());
    block->SetParent(form.get());
    block->SetBounds(20, 10, 30, 30);
    int clicks = 0;
    block->SetOnClick([&](TObject* sender) {
        EXPECT_EQ(sender, block);
        ++clicks;
    });
    HWND wnd = form->Handle();

    SendMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, Pos(25, 15));
    EXPECT_EQ(form->CaptureControl(), block);
    SendMessageW(wnd, WM_MOUSEMOVE, MK_LBUTTON, Pos(90, 70));  // outside, still captured
    SendMessageW(wnd, WM_LBUTTONUP, 0, Pos(30, 20));
    EXPECT_EQ(form->CaptureControl(), nullptr);
    EXPECT_EQ(block->Log, (std::vector<std::string>{"down 0 5,5", "move 70,60", "click", "up 0 10,10"}));
    EXPECT_EQ(clicks, 1);

    block->Log.clear();
    SendMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, Pos(25, 15));
    SendMessageW(wnd, WM_LBUTTONUP, 0, Pos(95, 75));  // released outside: no click
    EXPECT_EQ(block->Log, (std::vector<std::string>{"down 0 5,5", "up 0 75,65"}));
    EXPECT_EQ(clicks, 1);

    block->Log.clear();
    SendMessageW(wnd, WM_MOUSEMOVE, 0, Pos(5, 5));  // not over the block
    SendMessageW(wnd, WM_RBUTTONDOWN, MK_RBUTTON, Pos(49, 39));
    SendMessageW(wnd, WM_RBUTTONUP, 0, Pos(49, 39));
    EXPECT_EQ(block->Log, (std::vector<std::string>{"down 1 29,29", "up 1 29,29"}));
}

TEST(Mouse, WheelReachesTheGraphicChildUnderTheCursorInScreenCoordinates) {
    auto form = MakeForm(100, 80);
    auto* block = new TBlock(form.get());
    block->SetParent(form.get());
    block->SetBounds(20, 10, 30, 30);
    bool formGotIt = false;
    form->SetOnMouseWheel([&](TObject*, TShiftState, int, TPoint, bool& handled) {
        formGotIt = true;
        handled = true;
    });
    block->SetOnMouseWheel([](TObject*, TShiftState, int, TPoint, bool& handled) { handled = true; });

    POINT screen{30, 20};
    ClientToScreen(form->Handle(), &screen);
    SendMessageW(form->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), Pos(screen.x, screen.y));
    EXPECT_EQ(block->Log, (std::vector<std::string>{"wheel 120"}));
    EXPECT_EQ(block->WheelPos, (TPoint{screen.x, screen.y}));
    EXPECT_FALSE(formGotIt);

    POINT away{80, 70};
    ClientToScreen(form->Handle(), &away);
    SendMessageW(form->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), Pos(away.x, away.y));
    EXPECT_TRUE(formGotIt);
    EXPECT_EQ(block->Log.size(), 1u);
}

// A windowed control that forwards keys somewhere else unless a handler cleared them.
class TKeyTarget : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    std::vector<std::string> Forwarded;

protected:
    void KeyDown(WORD& key, TShiftState shift) override {
        TCustomControl::KeyDown(key, shift);
        if (key != 0) Forwarded.push_back("down " + std::to_string(key));
    }
    void KeyPress(char16_t& key) override {
        TCustomControl::KeyPress(key);
        if (key != 0) Forwarded.push_back(std::string("char ") + static_cast<char>(key));
    }
};

TEST(Keys, HandlersSeeKeysOfTheWindowAndAClearedKeyGoesNoFurther) {
    auto form = MakeForm(100, 80);
    auto* target = new TKeyTarget(form.get());
    target->SetParent(form.get());
    target->SetBounds(0, 0, 50, 50);
    std::vector<WORD> seen;
    target->SetOnKeyDown([&](TObject*, WORD& key, TShiftState) {
        seen.push_back(key);
        if (key == VK_ESCAPE) key = 0;
    });
    target->SetOnKeyPress([](TObject*, char16_t& key) {
        if (key == u'x') key = 0;
        else if (key == u'a') key = u'b';
    });
    HWND wnd = target->Handle();
    SendMessageW(wnd, WM_KEYDOWN, 'A', 0);
    SendMessageW(wnd, WM_KEYDOWN, VK_ESCAPE, 0);
    SendMessageW(wnd, WM_CHAR, 'x', 0);
    SendMessageW(wnd, WM_CHAR, 'a', 0);
    EXPECT_EQ(seen, (std::vector<WORD>{'A', VK_ESCAPE}));
    EXPECT_EQ(target->Forwarded, (std::vector<std::string>{"down 65", "char b"}));

    target->SetTabStop(true);
    EXPECT_TRUE(GetWindowLongPtrW(wnd, GWL_STYLE) & WS_TABSTOP);
}

TEST(Color, ChildrenWithParentColorFollowTheParent) {
    auto form = MakeForm(60, 40);
    auto* follows = new TBlock(form.get());
    follows->SetParent(form.get());
    auto* own = new TBlock(form.get());
    own->SetColor(clRed);
    own->SetParent(form.get());
    EXPECT_TRUE(follows->GetParentColor());
    EXPECT_EQ(follows->GetColor(), clBtnFace);  // taken from the form when placed
    EXPECT_FALSE(own->GetParentColor());

    const int before = follows->ColorChanges;
    form->SetColor(clYellow);
    EXPECT_EQ(follows->GetColor(), clYellow);
    EXPECT_TRUE(follows->GetParentColor());
    EXPECT_EQ(follows->ColorChanges, before + 1);
    EXPECT_EQ(own->GetColor(), clRed);

    follows->SetColor(clNavy);  // setting a colour ends following
    EXPECT_FALSE(follows->GetParentColor());
    form->SetColor(clWhite);
    EXPECT_EQ(follows->GetColor(), clNavy);
    follows->SetParentColor(true);
    EXPECT_EQ(follows->GetColor(), clWhite);
}

TEST(Color, SystemColorsResolveThroughTheSystem) {
    EXPECT_EQ(ColorToRGB(clWindow), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(ColorToRGB(clBtnFace), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(ColorToRGB(clRed), static_cast<COLORREF>(RGB(255, 0, 0)));
    EXPECT_EQ(ColorToRGB(0x00123456), 0x00123456u);
}

TEST(Layout, ClientAlignedChildFillsAndFollowsTheParentAndAnchorsHold) {
    auto form = MakeForm(200, 120);
    auto* fill = new TBlock(form.get());
    fill->SetParent(form.get());
    fill->SetAlign(alClient);
    EXPECT_EQ(fill->BoundsRect(), Rect(0, 0, 200, 120));
    auto* corner = new TBlock(form.get());
    corner->SetParent(form.get());
    corner->SetBounds(170, 90, 20, 20);
    corner->SetAnchors(TAnchors{akRight, akBottom});

    form->SetClientWidth(250);
    form->SetClientHeight(130);
    EXPECT_EQ(form->ClientRect(), Rect(0, 0, 250, 130));
    EXPECT_EQ(fill->BoundsRect(), Rect(0, 0, 250, 130));
    EXPECT_EQ(corner->BoundsRect(), Rect(220, 100, 240, 120));
}

TEST(Layout, WindowBoundsFollowWhatTheSystemGives) {
    auto form = MakeForm(200, 120);
    form->SetBounds(0, 0, 5, 5);  // below any top-level window's minimum size
    RECT r{};
    GetWindowRect(form->Handle(), &r);
    EXPECT_EQ(form->GetWidth(), r.right - r.left);
    EXPECT_EQ(form->GetHeight(), r.bottom - r.top);
    RECT c{};
    GetClientRect(form->Handle(), &c);
    EXPECT_EQ(form->ClientWidth(), c.right);
}

TEST(Application, HandleExceptionGoesToOnExceptionOrIsReportedAndReturns) {
    auto form = MakeForm(60, 40);
    auto* block = new TBlock(form.get());
    block->SetParent(form.get());
    block->SetBounds(0, 0, 20, 20);
    block->SetOnClick([](TObject*) { throw EConvertError("bad click"); });

    std::string message;
    TObject* sender = nullptr;
    Application().SetOnException([&](TObject* s, const Exception& e) {
        message = e.Message();
        sender = s;
    });
    // Raised inside the window procedure: handed over, never through the system's code.
    SendMessageW(form->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, Pos(5, 5));
    SendMessageW(form->Handle(), WM_LBUTTONUP, 0, Pos(5, 5));
    EXPECT_EQ(message, "bad click");
    EXPECT_EQ(sender, form.get());

    try {
        throw std::runtime_error("plain");
    } catch (...) {
        Application().HandleException(block);
    }
    EXPECT_EQ(message, "plain");
    EXPECT_EQ(sender, block);

    Application().SetOnException(nullptr);
    bool returned = false;
    try {
        throw Exception("reported on the error output");
    } catch (...) {
        Application().HandleException(nullptr);
        returned = true;
    }
    EXPECT_TRUE(returned);
}

TEST(Application, ProcessMessagesDispatchesWaitingMessages) {
    auto form = MakeForm(60, 40);
    auto* block = new TBlock(form.get());
    block->SetParent(form.get());
    block->SetBounds(0, 0, 20, 20);
    PostMessageW(form->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, Pos(3, 4));
    EXPECT_TRUE(block->Log.empty());
    Application().ProcessMessages();
    EXPECT_EQ(block->Log, (std::vector<std::string>{"down 0 3,4"}));
    EXPECT_GT(Screen().PixelsPerInch(), 0);
}

TEST(Application, RunShowsTheMainFormAndEndsWhenItCloses) {
    auto form = MakeForm(60, 40);
    auto* block = new TBlock(form.get());
    block->SetParent(form.get());
    block->SetBounds(0, 0, 20, 20);
    Application().MainForm = form.get();
    PostMessageW(form->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, Pos(1, 2));
    PostMessageW(form->Handle(), WM_CLOSE, 0, 0);
    Application().Run();  // returns only once the main form closed
    EXPECT_TRUE(Application().Terminated());
    EXPECT_EQ(block->Log, (std::vector<std::string>{"down 0 1,2"}));
    EXPECT_FALSE(form->GetVisible());
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    Application().MainForm = nullptr;
}

TEST(Controls, ParentShowHintFollowsTheParentUntilSet) {
    auto form = MakeForm(60, 40);
    auto* block = new TBlock(form.get());
    block->SetParent(form.get());
    form->SetShowHint(true);
    EXPECT_TRUE(block->GetShowHint());
    EXPECT_TRUE(block->GetParentShowHint());
    block->SetShowHint(false);
    EXPECT_FALSE(block->GetParentShowHint());
    form->SetShowHint(false);
    form->SetShowHint(true);
    EXPECT_FALSE(block->GetShowHint());
}

TEST(Canvas, RectangleWithHollowBrushOutlinesAndRestoresTheSelection) {
    TDibSection dib(10, 8);
    for (int i = 0; i < 80; ++i) dib.Bits()[i] = 0xABCDEF;
    HGDIOBJ penBefore = GetCurrentObject(dib.DC(), OBJ_PEN);
    HGDIOBJ brushBefore = GetCurrentObject(dib.DC(), OBJ_BRUSH);
    TCanvas canvas;
    canvas.SetHandle(dib.DC());
    canvas.Pen.Color = clRed;
    canvas.Brush.Style = bsClear;
    canvas.Rectangle(1, 1, 6, 5);
    GdiFlush();
    EXPECT_EQ(GetCurrentObject(dib.DC(), OBJ_PEN), penBefore);
    EXPECT_EQ(GetCurrentObject(dib.DC(), OBJ_BRUSH), brushBefore);
    EXPECT_EQ(Rgb(dib.Pixel(1, 1)), 0xFF0000u);
    EXPECT_EQ(Rgb(dib.Pixel(5, 4)), 0xFF0000u);  // right and bottom edges at Right-1, Bottom-1
    EXPECT_EQ(Rgb(dib.Pixel(3, 2)), 0xABCDEFu);  // hollow
    EXPECT_EQ(Rgb(dib.Pixel(6, 2)), 0xABCDEFu);
    EXPECT_EQ(Rgb(dib.Pixel(3, 5)), 0xABCDEFu);

    TDibSection copy(4, 4);
    TCanvas target;
    target.SetHandle(copy.DC());
    target.CopyRect(Rect(0, 0, 4, 4), canvas, Rect(1, 1, 5, 5));
    GdiFlush();
    EXPECT_EQ(Rgb(copy.Pixel(0, 0)), 0xFF0000u);
    EXPECT_EQ(Rgb(copy.Pixel(2, 2)), 0xABCDEFu);
}

TEST(OleErrors, OleCheckRaisesWithTheCodeAndItsSystemMessage) {
    EXPECT_EQ(OleCheck(S_OK), S_OK);
    EXPECT_EQ(OleCheck(S_FALSE), S_FALSE);
    try {
        OleCheck(E_OUTOFMEMORY);
        FAIL() << "no exception";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.ErrorCode(), E_OUTOFMEMORY);
        EXPECT_EQ(e.Message(), SysErrorMessage(static_cast<DWORD>(E_OUTOFMEMORY)));
        EXPECT_FALSE(e.Message().empty());
    }
    EOleSysError unknown("", static_cast<HRESULT>(0xA0001234), 0);
    EXPECT_FALSE(unknown.Message().empty());
}

TEST(OleErrors, OleExceptionTakesItsTextsFromExcepInfo) {
    EXCEPINFO info{};
    info.bstrDescription = SysAllocString(L"Movie refused\r\n");
    info.bstrSource = SysAllocString(L"Player");
    info.scode = DISP_E_TYPEMISMATCH;
    info.dwHelpContext = 7;
    EOleException e = EOleException::FromExcepInfo(info);
    EXPECT_EQ(e.Message(), "Movie refused");
    EXPECT_EQ(e.Source(), "Player");
    EXPECT_EQ(e.ErrorCode(), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(e.HelpContext(), 7);
    EXPECT_EQ(info.bstrDescription, nullptr);
    EXCEPINFO bare{};
    EXPECT_EQ(EOleException::FromExcepInfo(bare).ErrorCode(), DISP_E_EXCEPTION);
}

TEST(DesignState, FormAndItsComponentsEnterAndLeaveDesigning) {
    TForm form(nullptr);
    auto* block = new TBlock(&form);
    form.SetDesigning(true);
    EXPECT_TRUE(form.Designing());
    EXPECT_TRUE(block->Designing());
    form.SetDesigning(false);
    EXPECT_FALSE(block->Designing());
}

}  // namespace

TEST(Painting, ANestedPaintGivesTheCanvasBackAsItFoundIt) {
    auto form = std::make_unique<TForm>(nullptr);
    form->SetBounds(0, 0, 200, 150);
    auto* block = new TBlock(form.get());
    block->SetParent(form.get());
    block->SetBounds(10, 10, 50, 40);
    ASSERT_NE(form->Handle(), nullptr);
    auto* canvas = static_cast<TControlCanvas*>(block->Canvas());
    HDC own = canvas->Handle();  // fetched from the form's window
    ASSERT_NE(own, nullptr);
    const win32::TMemoryDC outerOwner(CreateCompatibleDC(nullptr)), innerOwner(CreateCompatibleDC(nullptr));
    HDC outerDC = outerOwner.Get(), innerDC = innerOwner.Get();
    {
        TControlCanvas::TPaintLoan outer(*canvas, outerDC);
        EXPECT_EQ(canvas->Handle(), outerDC);
        {
            // A transparent child repainting its parent into its buffer, inside the outer paint.
            TControlCanvas::TPaintLoan inner(*canvas, innerDC);
            EXPECT_EQ(canvas->Handle(), innerDC);
        }
        EXPECT_EQ(canvas->Handle(), outerDC);  // the outer paint keeps drawing where it was
    }
    EXPECT_EQ(canvas->Handle(), own);
}

TEST(FormReading, AControlStoredUnderANonWindowedControlIsRefused) {
    RegisterClass(TGraphicControl::StaticClassInfo());
    TForm form(nullptr);
    try {
        ReadComponent(
            "object F: TForm\n"
            "  object G1: TGraphicControl\n"
            "    object G2: TGraphicControl\n"
            "    end\n"
            "  end\n"
            "end\n",
            &form);
        FAIL() << "a control without a possible parent was read";
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "TGraphicControl cannot be the parent of G2");
    }
    EXPECT_EQ(form.ComponentCount(), 0);  // nothing half-read is left on the form
}

TEST(FormReading, AFailedReadPutsExistingControlsBackAndFreesOnlyWhatItMade) {
    RegisterClass(TCustomControl::StaticClassInfo());
    TForm form(nullptr);
    form.SetName("F");
    auto* existing = new TCustomControl(&form);
    existing->SetName("C");
    existing->SetParent(&form);
    try {
        // C is moved under the new P2; the unknown class after it makes the read fail.
        ReadComponent(
            "object F: TForm\n"
            "  object P2: TCustomControl\n"
            "    inherited C: TCustomControl\n"
            "    end\n"
            "  end\n"
            "  object X: TNoSuchControl\n"
            "  end\n"
            "end\n",
            &form);
        FAIL() << "read an unknown class";
    } catch (const EClassNotFound&) {}
    ASSERT_EQ(form.ComponentCount(), 1);
    EXPECT_EQ(form.FindComponent("C"), existing);
    EXPECT_EQ(existing->GetParent(), &form);
    EXPECT_EQ(form.FindComponent("P2"), nullptr);
}
