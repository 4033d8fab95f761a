// The Win32/COM helpers every later piece of COM code stands on: QueryInterface from a table,
// and owners that hand over, give up and restore exactly what they hold.
#include "vd_windows.h"

#include <gtest/gtest.h>

#include <string>

#include "vd_com.h"
#include "vd_win32_owners.h"

namespace {

using namespace vd::win32;

// A COM object answering two interfaces from a table; the second only while `persistOk` holds.
class TTwoFaced final : public IOleWindow, public IPersist {
public:
    bool persistOk = true;
    LONG refs = 1;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        static const TInterfaceRow<TTwoFaced> kInterfaces[] = {
            InterfaceRow<TTwoFaced, IOleWindow>(IID_IUnknown),
            InterfaceRow<TTwoFaced, IOleWindow>(IID_IOleWindow),
            InterfaceRow<TTwoFaced, IPersist>(IID_IPersist, [](const TTwoFaced* self) { return self->persistOk; }),
        };
        return QueryInterfaceFrom(this, kInterfaces, riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--refs); }
    STDMETHODIMP GetWindow(HWND* w) override {
        *w = nullptr;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetClassID(CLSID* id) override {
        *id = CLSID_NULL;
        return S_OK;
    }
};

TEST(InterfaceTable, AnswersEachRowAsItsOwnInterfaceAndCountsTheReference) {
    TTwoFaced object;
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(object.QueryInterface(IID_IUnknown, &unknown), S_OK);
    EXPECT_EQ(unknown.Get(), static_cast<IUnknown*>(static_cast<IOleWindow*>(&object)));
    ComPtr<IPersist> persist;
    ASSERT_EQ(object.QueryInterface(IID_IPersist, &persist), S_OK);
    // The second base sits at another address: the row must hand out that one.
    EXPECT_EQ(persist.Get(), static_cast<IPersist*>(&object));
    EXPECT_NE(static_cast<void*>(persist.Get()), static_cast<void*>(unknown.Get()));
    EXPECT_EQ(object.refs, 3);
    unknown.Reset();
    persist.Reset();
    EXPECT_EQ(object.refs, 1);
}

TEST(InterfaceTable, AdoptTakesOverTheFirstReferenceWithoutAddingOne) {
    TTwoFaced object;  // starts with the one reference a new object hands its creator
    {
        const ComPtr<IPersist> owner = Adopt<IPersist>(&object);
        EXPECT_EQ(object.refs, 1);
    }
    EXPECT_EQ(object.refs, 0);
}

TEST(InterfaceTable, ARowWhosePredicateFailsAndAnUnknownInterfaceAnswerNothing) {
    TTwoFaced object;
    object.persistOk = false;
    void* out = &object;
    EXPECT_EQ(object.QueryInterface(IID_IPersist, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    out = &object;
    EXPECT_EQ(object.QueryInterface(IID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(object.QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(object.refs, 1);
}

TEST(ComOwners, BstrHandsOverAndGivesUpItsString) {
    TBstr text(std::wstring_view(L"a\0b", 3));  // a BSTR may hold NULs
    EXPECT_EQ(text.Length(), 3u);
    EXPECT_EQ(text.Str(), std::wstring(L"a\0b", 3));
    TBstr moved(std::move(text));
    EXPECT_EQ(text.Get(), nullptr);
    EXPECT_EQ(moved.Utf8(), std::string("a\0b", 3));
    BSTR raw = moved.Detach();
    EXPECT_EQ(moved.Get(), nullptr);
    TBstr back = TBstr::Attach(raw);
    EXPECT_EQ(back.Str().size(), 3u);
    EXPECT_EQ(TBstr::FromUtf8("\xE6\x98\xA0").Str(), L"\u6620");
    EXPECT_EQ(TBstr().Str(), L"");  // null is the empty string

    BSTR out = nullptr;
    EXPECT_EQ(OutBstr(L"movie.swf", &out), S_OK);
    TBstr owned = TBstr::Attach(out);
    EXPECT_EQ(owned.Str(), L"movie.swf");
    EXPECT_EQ(OutBstr(L"x", nullptr), E_POINTER);
}

TEST(ComOwners, VariantIsClearedWhenRefilledAndMovedValuesLeaveEmpty) {
    TVariant v = TVariant::Bstr(L"first");
    EXPECT_EQ(v.Type(), VT_BSTR);
    VARIANT* slot = v.Out();
    EXPECT_EQ(slot->vt, VT_EMPTY);  // the string went before the slot was handed out
    EXPECT_EQ(VariantChangeType(slot, TVariant::Int(42).Ptr(), 0, VT_BSTR), S_OK);
    EXPECT_EQ(TBstr::Text(v.Get().bstrVal), L"42");

    TVariant moved(std::move(v));
    EXPECT_EQ(v.Type(), VT_EMPTY);
    EXPECT_EQ(moved.Type(), VT_BSTR);
    TVariant target;  // the caller's VARIANT, empty, as Detach wants it
    moved.Detach(target.Out());
    EXPECT_EQ(moved.Type(), VT_EMPTY);
    EXPECT_EQ(target.Type(), VT_BSTR);
    EXPECT_EQ(TBstr::Text(target.Get().bstrVal), L"42");
}

// A function of its own, not a lambda: in 32-bit builds the callback is __stdcall, which a
// lambda does not convert to.
int deferredFillInCalls = 0;
HRESULT STDAPICALLTYPE DeferredFillIn(EXCEPINFO* info) {
    ++deferredFillInCalls;
    info->bstrDescription = SysAllocString(L"the movie refused");
    return S_OK;
}

TEST(ComOwners, ExcepInfoRunsTheDeferredFillInOnce) {
    deferredFillInCalls = 0;
    TExcepInfo error;
    EXCEPINFO* e = error.Out();
    e->pfnDeferredFillIn = DeferredFillIn;
    error.FillIn();
    error.FillIn();
    EXPECT_EQ(deferredFillInCalls, 1);
    EXPECT_EQ(error.Description(), L"the movie refused");
    EXPECT_EQ(error.Out()->bstrDescription, nullptr);  // refilling starts from nothing
}

TEST(GdiOwners, SelectionAndSavedStateComeBackWhenTheOwnersGo) {
    const TMemoryDC dc(CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    const HGDIOBJ stockPen = GetCurrentObject(dc.Get(), OBJ_PEN);
    const TGdiObject pen(CreatePen(PS_SOLID, 1, RGB(1, 2, 3)));
    {
        const TSelectObject selected(dc.Get(), pen.Get());
        EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_PEN), pen.Get());
    }
    EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_PEN), stockPen);

    POINT origin{};
    {
        const TSavedDC saved(dc.Get());
        ASSERT_TRUE(saved);
        SetViewportOrgEx(dc.Get(), 17, 9, nullptr);
        GetViewportOrgEx(dc.Get(), &origin);
        EXPECT_EQ(origin.x, 17);
    }
    GetViewportOrgEx(dc.Get(), &origin);
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);
}

TEST(HandleOwners, ResetAndOutReleaseWhatWasHeld) {
    TRegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\vdplayer\\HelpersTest", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.Out(), nullptr),
              ERROR_SUCCESS);
    const HKEY first = key.Get();
    TRegKey other(std::move(key));
    EXPECT_FALSE(key);
    EXPECT_EQ(other.Get(), first);
    other.Reset();
    // A closed key no longer answers.
    EXPECT_NE(RegQueryValueExW(first, L"", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\vdplayer\\HelpersTest");

    TModule module(LoadLibraryW(L"oleaut32.dll"));
    ASSERT_TRUE(module);
    HMODULE raw = module.Detach();
    EXPECT_FALSE(module);
    TModule again(raw);  // freed once, by this owner
}

}  // namespace
