// The Windows design host driving the real editors under Wine, with the system's dialog and
// message box replaced by recorders (they would wait for a user): the dialog gets the editor's
// filter and title and the owner window, a picked file whose name is not ASCII is read and
// named exactly, a cancel changes nothing but is still a modification, and messages reach the
// message box as UTF-16 with the program's name as caption.
#include "vd_windows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vd_designhost.h"
#include "vd_flashreg.h"
#include "vd_flashstore.h"

using namespace vd;

namespace {

const TPropInfo& FlashStoreProp() { return *TvdFlashStream::StaticClassInfo().FindProperty("FlashStore"); }

// What the dialog was called with, and what it answers.
struct DialogRecord {
    int Calls = 0;
    HWND Owner = nullptr;
    std::wstring Filter;  // NULs kept
    std::wstring Title;
    DWORD Flags = 0;
    std::wstring Answer;  // empty: cancel
};

void Seam(TvdWindowsDesigner& host, DialogRecord& record) {
    host.OpenFileNameCall = [&record](OPENFILENAMEW& p) {
        ++record.Calls;
        record.Owner = p.hwndOwner;
        const wchar_t* f = p.lpstrFilter;
        while (f && *f) f += wcslen(f) + 1;  // up to the empty entry that ends the list
        record.Filter = p.lpstrFilter ? std::wstring(p.lpstrFilter, static_cast<size_t>(f - p.lpstrFilter) + 1) : L"";
        record.Title = p.lpstrTitle ? p.lpstrTitle : L"";
        record.Flags = p.Flags;
        if (record.Answer.empty() || record.Answer.size() + 1 > p.nMaxFile) return false;
        wcscpy(p.lpstrFile, record.Answer.c_str());
        return true;
    };
}

class DesignHost : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
        folder_ = std::wstring(temp) + L"vd design host \u00e9t\u00e9";
        CreateDirectoryW(folder_.c_str(), nullptr);
    }
    void TearDown() override {
        for (const std::wstring& f : files_) DeleteFileW(f.c_str());
        RemoveDirectoryW(folder_.c_str());
    }
    std::wstring Write(const std::wstring& name, const std::string& bytes) {
        const std::wstring path = folder_ + L"\\" + name;
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(h);
        files_.push_back(path);
        return path;
    }
    std::wstring folder_;
    std::vector<std::wstring> files_;
};

TEST_F(DesignHost, FlashStorePickedThroughTheSystemDialogKeepsItsWideName) {
    // Cyrillic, a CJK character and an accent: no single code page holds them all.
    const std::wstring name = L"\u0424\u0438\u043b\u044c\u043c-\u6620\u753b-\u00e9.swf";
    const std::wstring path = Write(name, "FWS\x08movie");
    int notices = 0;
    const HWND owner = GetDesktopWindow();
    TvdWindowsDesigner host(owner, [&] { ++notices; });
    DialogRecord dialog;
    dialog.Answer = path;
    Seam(host, dialog);

    TvdFlashList list(nullptr);
    TvdFlashStream* item = list.GetFlashs()->Add();
    TvdFlashStreamProperty(host, {item}, FlashStoreProp()).Edit();

    EXPECT_EQ(dialog.Calls, 1);
    EXPECT_EQ(dialog.Owner, owner);
    EXPECT_EQ(dialog.Filter,
              std::wstring(L"Flash,Video,XML and Media files\0*.swf;*.flv;*.xml;*.jpg;*.png;*.mp3;*.txt\0"
                           L"All Files\0*.*\0\0",
                           89));
    EXPECT_EQ(dialog.Title, L"Load a movie into FlashStore");
    EXPECT_NE(dialog.Flags & OFN_FILEMUSTEXIST, 0u);
    EXPECT_EQ(WideToUtf8(item->GetFlashStore()), WideToUtf8(WideString(name.begin(), name.end())));
    ASSERT_EQ(item->Data().GetSize(), 9);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(item->Data().Memory()), 9), "FWS\x08movie");
    EXPECT_EQ(notices, 1);
}

TEST_F(DesignHost, CancelChangesNothingButIsStillAModification) {
    int notices = 0;
    TvdWindowsDesigner host(nullptr, [&] { ++notices; });
    DialogRecord dialog;  // no answer: the user cancels
    Seam(host, dialog);
    TvdFlashList list(nullptr);
    TvdFlashStream* item = list.GetFlashs()->Add();
    TMemoryStream kept;
    kept.WriteBuffer("abc", 3);
    kept.SetPosition(0);
    item->LoadData(kept);
    item->SetFlashStore(u"kept.swf");
    TvdFlashStreamProperty(host, {item}, FlashStoreProp()).Edit();
    EXPECT_EQ(dialog.Calls, 1);
    EXPECT_EQ(item->Data().GetSize(), 3);
    EXPECT_EQ(item->GetFlashStore(), u"kept.swf");
    EXPECT_EQ(notices, 1);

    // A file that cannot be opened raises out of the editor, and then nothing is notified.
    dialog.Answer = folder_ + L"\\missing \u00e9.swf";
    EXPECT_THROW(TvdFlashStreamProperty(host, {item}, FlashStoreProp()).Edit(), EFOpenError);
    EXPECT_EQ(item->GetFlashStore(), u"kept.swf");
    EXPECT_EQ(item->Data().GetSize(), 3);
    EXPECT_EQ(notices, 1);
}

TEST_F(DesignHost, MessagesReachTheMessageBoxAsUtf16UnderTheProgramsName) {
    TvdWindowsDesigner host(GetDesktopWindow());
    struct Box {
        HWND Owner;
        std::wstring Text, Caption;
        UINT Style;
    };
    std::vector<Box> boxes;
    host.MessageBoxCall = [&](HWND o, const std::wstring& text, const std::wstring& caption, UINT style) {
        boxes.push_back({o, text, caption, style});
        return IDOK;
    };
    host.ShowMessage("\xd0\x9e\xd1\x88\xd0\xb8\xd0\xb1\xd0\xba\xd0\xb0: \xe2\x82\xac");  // UTF-8
    host.Caption = L"Designer";
    // An editor's error: the skin editor on a property that is no string.
    TvdFlashList list(nullptr);
    TvdSkinProperty(host, {&list}, *TvdFlashList::StaticClassInfo().FindProperty("Flashs")).SetValue("x");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].Owner, GetDesktopWindow());
    EXPECT_EQ(boxes[0].Text, L"\u041e\u0448\u0438\u0431\u043a\u0430: \u20ac");
    EXPECT_EQ(boxes[0].Caption, L"design_register_tests");
    EXPECT_EQ(boxes[0].Style, static_cast<UINT>(MB_OK));
    EXPECT_FALSE(boxes[1].Text.empty());
    EXPECT_EQ(boxes[1].Caption, L"Designer");
}

}  // namespace
