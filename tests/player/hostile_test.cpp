// Hostile hosted players, through both drivers: from inside each kind of call the driver makes
// into the player, the movie sends an FSCommand or an external call whose handler frees the
// player or loads another movie; a player asks for more paint while it paints. What the
// application and the reference player (its journal) observe. Runs under Wine's heap checking,
// so a write to freed memory fails the test even where nothing crashes.
#include "rp_test_util.h"
#include "swf_builder.h"
#include "vd_driver_activex.h"
#include "vd_driver_netscape.h"
#include "vd_flashplayer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "vd_winstr.h"

using namespace vd;

namespace {

constexpr int kW = 80, kH = 60;

// Both driver units, the reference player beside the EXE and the reference control
// registered; two movies beside the EXE.
class Units : public ::testing::Environment {
public:
    void SetUp() override {
        SetEnvironmentVariableA("VDRP_FAULTS", "");
        SetEnvironmentVariableA("VDRP_TIMER", "off");
        InitializeFlashPlayerUnit();
        InitializeDriverNetscapeUnit();
        InitializeDriverActiveXUnit();
        Write(u"three.swf", 3);
        Write(u"six.swf", 6);
    }
    void TearDown() override {
        FinalizeDriverActiveXUnit();
        FinalizeDriverNetscapeUnit();
        FinalizeFlashPlayerUnit();
    }

private:
    static void Write(const WideString& name, int frames) {
        const auto bytes = vdtest::SwfBuilder(kW, kH, 12, frames).Background(0x336699).ProgressFrames(0x336699).Fws();
        std::ofstream out(std::filesystem::path(std::wstring(WinStr(ApplicationDirectory() + name))), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
};
const auto* const units = ::testing::AddGlobalTestEnvironment(new Units());

const char* Name(TvdPlugin plugin) { return plugin == vdNetscape ? "Netscape" : "ActiveX"; }

// The reference player's exports in the DLL the driver uses.
vdtest::Hooks HooksOf(TvdPlugin plugin) {
    vdtest::Hooks hooks;
    const HMODULE m = GetModuleHandleW(plugin == vdNetscape ? L"npswf32.dll" : L"vdflashax.dll");
    EXPECT_TRUE(m && hooks.Load(m)) << Name(plugin);
    return hooks;
}

// The message loop for a while: teardowns left for it run.
void Pump() {
    for (int i = 0; i < 30; ++i) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    }
}

size_t Count(const std::vector<std::string>& journal, const std::string& prefix) {
    return static_cast<size_t>(
        std::count_if(journal.begin(), journal.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

// Index of the first line that starts with `prefix` at or after `from`; npos without one.
size_t Find(const std::vector<std::string>& journal, const std::string& prefix, size_t from = 0) {
    for (size_t i = from; i < journal.size(); ++i)
        if (journal[i].rfind(prefix, 0) == 0) return i;
    return std::string::npos;
}

std::string Joined(const std::vector<std::string>& journal) {
    std::string text;
    for (const auto& l : journal) text += l + "\n";
    return text;
}

// The line the reference player writes when the host destroys it while it is inside a call
// of its own, and its teardown line.
const char* InsideOwnCall(TvdPlugin plugin) {
    return plugin == vdNetscape ? "NPP_Destroy inside a call" : "IOleObject::Close inside a call";
}
const char* Teardown(TvdPlugin plugin) { return plugin == vdNetscape ? "NPP_Destroy save" : "ActiveX destroyed"; }
// The line of the movie's hostile call.
const char* HostileLine(TvdPlugin plugin, bool flashCall) {
    if (plugin == vdNetscape) return flashCall ? "-> NPN_Evaluate" : "-> NPN_Invoke _DoFSCommand \"hostile\"";
    return flashCall ? "FlashCall" : "FSCommand \"hostile\"";
}

// How a row reaches the call its fault acts inside.
enum class TTrigger {
    Paint,   // the driver repaints (a call of the driver's own)
    Step,    // the movie advances a frame on its own and asks for paint (a call of the player's)
    Input,   // a mouse press
    Play,    // a scripted call
    Resize,  // a new size: the drawable is handed over again
    Load,    // the movie is loaded again: its data is delivered
};

void Pull(TTrigger trigger, TvdFlashPlayerComp* comp, vdtest::Hooks& hooks) {
    switch (trigger) {
        case TTrigger::Paint:
            comp->Driver()->ForceUpdate();
            break;
        case TTrigger::Step:
            hooks.step(1);
            break;
        case TTrigger::Input:
            comp->CallMouseDown(mbLeft, {}, 10, 10);
            break;
        case TTrigger::Play:
            comp->Play();
            break;
        case TTrigger::Resize:
            comp->SetWidth(kW + 10);
            break;
        case TTrigger::Load:
            comp->LoadMovie(u"three.swf");
            break;
    }
}

struct THostileRow {
    TvdPlugin Plugin;
    const char* Faults;
    TTrigger Trigger;
};

std::string RowName(const THostileRow& row) { return std::string(Name(row.Plugin)) + " " + row.Faults; }

bool IsFlashCall(const THostileRow& row) { return std::string(row.Faults).rfind("flashcall_in", 0) == 0; }

// An off-screen player with three.swf loaded by the driver of `plugin`, no fault armed yet.
TvdFlashPlayerComp* NewPlayer(TvdPlugin plugin) {
    auto* comp = new TvdFlashPlayerComp(nullptr);
    comp->SetWidth(kW);
    comp->SetHeight(kH);
    comp->SetPlugin(plugin);
    EXPECT_EQ(comp->Driver()->ClassName(), plugin == vdNetscape ? "TvdFlashDriverNS" : "TvdFlashDriverActiveX");
    comp->LoadMovie(u"three.swf");
    EXPECT_EQ(comp->GetTotalFrames(), 3);
    return comp;
}

const THostileRow kEveryCallOut[] = {
    {vdNetscape, "fscommand_in=paint", TTrigger::Paint},
    {vdNetscape, "fscommand_in=paint", TTrigger::Step},
    {vdNetscape, "flashcall_in=paint", TTrigger::Step},
    {vdNetscape, "fscommand_in=input", TTrigger::Input},
    {vdNetscape, "fscommand_in=invoke", TTrigger::Play},
    {vdNetscape, "flashcall_in=invoke", TTrigger::Play},
    {vdNetscape, "fscommand_in=setwindow", TTrigger::Resize},
    {vdNetscape, "fscommand_in=newstream", TTrigger::Load},
    {vdNetscape, "fscommand_in=writeready", TTrigger::Load},
    {vdNetscape, "fscommand_in=write", TTrigger::Load},
    {vdNetscape, "flashcall_in=write", TTrigger::Load},
    {vdNetscape, "fscommand_in=destroystream", TTrigger::Load},
    {vdNetscape, "fscommand_in=urlnotify", TTrigger::Load},
    {vdActiveX, "fscommand_in=paint", TTrigger::Paint},
    {vdActiveX, "fscommand_in=paint", TTrigger::Step},
    {vdActiveX, "flashcall_in=paint", TTrigger::Paint},
    {vdActiveX, "fscommand_in=input", TTrigger::Input},
    {vdActiveX, "fscommand_in=invoke", TTrigger::Play},
    {vdActiveX, "flashcall_in=invoke", TTrigger::Play},
    {vdActiveX, "fscommand_in=invoke", TTrigger::Load},
    {vdActiveX, "fscommand_in=bind", TTrigger::Load},
    {vdActiveX, "flashcall_in=bind", TTrigger::Load},
};

// A handler frees the player inside each kind of call: the player is torn down once the
// hosted player's call has returned, never inside it, and nothing reaches the application
// after the free.
TEST(HostilePlayers, AHandlerFreesThePlayerInsideAnyCall) {
    for (const THostileRow& row : kEveryCallOut) {
        SCOPED_TRACE(RowName(row));
        TvdFlashPlayerComp* comp = NewPlayer(row.Plugin);
        vdtest::Hooks hooks = HooksOf(row.Plugin);
        hooks.setFaults(row.Faults);
        hooks.clearJournal();
        bool freed = false;
        int late = 0;
        const auto hostile = [&] {
            if (freed) {
                ++late;
                return;
            }
            freed = true;
            delete comp;
        };
        comp->SetOnFSCommand([&](TObject*, const WideString& command, const WideString&) {
            if (command == u"hostile") hostile();
            else if (freed) ++late;
        });
        comp->SetOnFlashCall([&](TObject*, const WideString&) { hostile(); });
        comp->SetOnPaint([&](TObject*, const TRect&) { late += freed ? 1 : 0; });

        Pull(row.Trigger, comp, hooks);
        ASSERT_TRUE(freed);
        Pump();
        const auto journal = hooks.Journal();
        EXPECT_EQ(late, 0);
        EXPECT_EQ(Count(journal, InsideOwnCall(row.Plugin)), 0u);
        // Torn down once, after the movie's call.
        const size_t hostileAt = Find(journal, HostileLine(row.Plugin, IsFlashCall(row)));
        ASSERT_NE(hostileAt, std::string::npos);
        const std::vector<std::string> since(journal.begin() + static_cast<std::ptrdiff_t>(hostileAt), journal.end());
        EXPECT_EQ(Count(since, Teardown(row.Plugin)), 1u) << Joined(since);
        // The player is gone: the DLL has no instance left to drive.
        EXPECT_EQ(hooks.step(1), -1);
        hooks.setFaults("");
    }
}

const THostileRow kReloads[] = {
    {vdNetscape, "fscommand_in=paint", TTrigger::Paint},    {vdNetscape, "fscommand_in=paint", TTrigger::Step},
    {vdNetscape, "fscommand_in=input", TTrigger::Input},    {vdNetscape, "fscommand_in=invoke", TTrigger::Play},
    {vdNetscape, "flashcall_in=invoke", TTrigger::Play},    {vdNetscape, "fscommand_in=write", TTrigger::Load},
    {vdNetscape, "fscommand_in=urlnotify", TTrigger::Load}, {vdActiveX, "fscommand_in=paint", TTrigger::Paint},
    {vdActiveX, "fscommand_in=paint", TTrigger::Step},      {vdActiveX, "fscommand_in=input", TTrigger::Input},
    {vdActiveX, "fscommand_in=invoke", TTrigger::Play},     {vdActiveX, "flashcall_in=invoke", TTrigger::Play},
    {vdActiveX, "fscommand_in=bind", TTrigger::Load},
};

// A handler loads another movie inside the player's call: the new movie plays, its events
// arrive, and (plugin) the old instance is destroyed once, after its call returned.
TEST(HostilePlayers, AHandlerLoadsAnotherMovieInsideACall) {
    for (const THostileRow& row : kReloads) {
        SCOPED_TRACE(RowName(row));
        TvdFlashPlayerComp* comp = NewPlayer(row.Plugin);
        vdtest::Hooks hooks = HooksOf(row.Plugin);
        hooks.setFaults(row.Faults);
        hooks.clearJournal();
        int reloads = 0;
        std::vector<std::string> after;
        const auto hostile = [&] {
            if (reloads++ == 0) comp->LoadMovie(u"six.swf");
        };
        comp->SetOnFSCommand([&](TObject*, const WideString& command, const WideString& args) {
            if (command == u"hostile") hostile();
            else after.push_back(WideToUtf8(command + u" " + args));
        });
        comp->SetOnFlashCall([&](TObject*, const WideString&) { hostile(); });

        Pull(row.Trigger, comp, hooks);
        ASSERT_GE(reloads, 1);
        Pump();
        hooks.setFaults("");
        EXPECT_EQ(comp->GetTotalFrames(), 6);
        const auto journal = hooks.Journal();
        EXPECT_EQ(Count(journal, InsideOwnCall(row.Plugin)), 0u);
        if (row.Plugin == vdNetscape) {
            // The old instance goes after the new one came, exactly once.
            const size_t created = Find(journal, "NPP_New");
            ASSERT_NE(created, std::string::npos);
            EXPECT_NE(Find(journal, "NPP_Destroy", created), std::string::npos);
        }
        // The new movie's events reach the application.
        ASSERT_TRUE(hooks.fireFSCommand("after", "reload"));
        EXPECT_EQ(after, std::vector<std::string>{"after reload"});
        delete comp;
        Pump();
    }
}

// ---- Streams ----------------------------------------------------------------------------------

struct TStreamRow {
    const char* Faults;
    int Reason;    // how the stream and the request end: NPRES_DONE 0, NPRES_USER_BREAK 2
    int MaxWrite;  // the most one write may hand over (0: any)
};

const TStreamRow kStreams[] = {
    {"write_ready=16", 0, 16},  // honoured: never more than the plugin said it can take
    {"write_refuses", 2, 0},    // a negative count ends the stream
    {"write_ready=0", 2, 0},    // a plugin that is never ready does not hold the host for ever
};

// A plugin's stream is written as its NPP_WriteReady allows and ended as NPAPI says: the
// stream first, then the request's notification, with the same reason.
TEST(HostilePlayers, StreamsAreWrittenAsThePluginAllowsAndEndInNpapisOrder) {
    for (const TStreamRow& row : kStreams) {
        SCOPED_TRACE(row.Faults);
        TvdFlashPlayerComp* comp = NewPlayer(vdNetscape);
        vdtest::Hooks hooks = HooksOf(vdNetscape);
        hooks.setFaults(row.Faults);
        hooks.clearJournal();
        comp->LoadMovie(u"six.swf");
        hooks.setFaults("");
        const auto journal = hooks.Journal();
        EXPECT_EQ(Count(journal, "NPP_Write beyond NPP_WriteReady"), 0u);
        size_t written = 0, writes = 0;
        for (const auto& l : journal)
            if (l.rfind("NPP_Write offset=", 0) == 0) {
                const int len = std::stoi(l.substr(l.rfind('=') + 1));
                if (row.MaxWrite) {
                    EXPECT_LE(len, row.MaxWrite) << l;
                }
                written += static_cast<size_t>(len);
                ++writes;
            }
        const size_t ended = Find(journal, "NPP_DestroyStream reason=" + std::to_string(row.Reason));
        ASSERT_NE(ended, std::string::npos);
        EXPECT_NE(Find(journal, "NPP_URLNotify url=\"six.swf\" reason=" + std::to_string(row.Reason), ended),
                  std::string::npos);
        if (row.Reason == 0) {
            EXPECT_GT(writes, 1u);
            EXPECT_EQ(comp->GetTotalFrames(), 6);
        } else {
            EXPECT_LE(writes, 1u);
            EXPECT_NE(comp->GetTotalFrames(), 6);
        }
        delete comp;
        Pump();
    }
}

// ---- Paint ------------------------------------------------------------------------------------

struct TPaintRow {
    TvdPlugin Plugin;
    uint32_t Background;      // top byte 0: alpha mode (two renders a pass)
    bool PlayerInvalidates;   // the player invalidates inside its paint (invalidate_in_paint)
    bool HandlerInvalidates;  // the application's OnPaint handler asks for a repaint
};

const TPaintRow kPaints[] = {
    {vdNetscape, 0x00000000, true, false}, {vdNetscape, 0xFF000000, true, false}, {vdNetscape, 0x00000000, false, true},
    {vdActiveX, 0x00000000, true, false},  {vdActiveX, 0xFF000000, true, false},  {vdActiveX, 0x00000000, false, true},
};

uint32_t Pixel(const TvdFlashDriver& d, int x, int y) {
    GdiFlush();
    return d.Bits[y * d.Width + x];
}

// An invalidation while a paint runs is painted after it: never a paint inside a paint, never
// the drawable switched inside one, and the pixels are the movie's (alpha recovered once).
TEST(HostilePlayers, InvalidationDuringAPaintIsPaintedAfterIt) {
    CheckFlashPlugins();
    for (const TPaintRow& row : kPaints) {
        SCOPED_TRACE(std::string(Name(row.Plugin)) + (row.Background >> 24 ? " opaque" : " alpha") +
                     (row.PlayerInvalidates ? " player" : " handler"));
        TvdDriverPtr driver;
        int painting = 0, paints = 0, nested = 0;
        TvdFlashDriver* d = nullptr;
        ChangePlugin(
            driver, row.Plugin, u"three.swf", kW, kH, row.Background, nullptr,
            [&](TObject*, const TRect&) {
                nested += painting;
                ++painting;
                // Asks once for another paint, from inside the first.
                if (row.HandlerInvalidates && d && paints++ == 0) d->ForceUpdate();
                --painting;
            },
            nullptr, nullptr, nullptr);
        ASSERT_NE(driver, nullptr);
        d = driver.get();
        ASSERT_EQ(d->GetTotalFrames(), 3);
        vdtest::Hooks hooks = HooksOf(row.Plugin);
        if (row.PlayerInvalidates) hooks.setFaults("invalidate_in_paint");
        hooks.clearJournal();
        paints = 0;
        d->ForceUpdate();
        Pump();
        const auto journal = hooks.Journal();
        const std::string paintLine = row.Plugin == vdNetscape ? "NPP_HandleEvent event=0xF" : "IViewObject::Draw";
        const std::string invalidateLine = row.Plugin == vdNetscape ? "-> NPN_InvalidateRect" : "-> InvalidateRect";
        EXPECT_EQ(nested, 0);
        EXPECT_EQ(Count(journal, "NPP_HandleEvent paint inside a paint"), 0u);
        EXPECT_EQ(Count(journal, "IViewObject::Draw inside a draw"), 0u);
        EXPECT_EQ(Count(journal, "NPP_SetWindow inside a paint"), 0u);
        const size_t rendersPerPass = row.Background >> 24 ? 1 : 2;
        const size_t renders = Count(journal, paintLine);
        // The first pass and at least one more for what was asked during it; each complete.
        EXPECT_GE(renders, 2 * rendersPerPass);
        EXPECT_EQ(renders % rendersPerPass, 0u);
        if (row.PlayerInvalidates) {
            // The last request was painted after it was made.
            size_t lastRequest = 0;
            for (size_t i = 0; i < journal.size(); ++i)
                if (journal[i].rfind(invalidateLine, 0) == 0) lastRequest = i;
            ASSERT_GT(lastRequest, 0u);
            EXPECT_NE(Find(journal, paintLine, lastRequest), std::string::npos);
        } else {
            EXPECT_EQ(paints, 2);
        }
        // The movie's picture: the opaque track, the half-covered panel, and in alpha mode the
        // untouched stage transparent.
        const uint32_t track = Pixel(*d, kW - kW / 4 - 2, kH / 2);
        EXPECT_EQ(track & 0xFFFFFFu, 0x202020u);
        const uint32_t panel = Pixel(*d, kW / 8 + 2, kH / 8 + 2);
        if (!(row.Background >> 24)) {
            EXPECT_EQ(track >> 24, 0xFFu);
            EXPECT_NEAR(static_cast<int>(panel >> 24), 128, 8);
            EXPECT_EQ(Pixel(*d, 1, 1) >> 24, 0u);
        }
        hooks.setFaults("");
        driver.reset();
        Pump();
    }
}

}  // namespace
