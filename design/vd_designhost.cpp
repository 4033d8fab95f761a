#include "vd_designhost.h"

#include <vector>

#include "vd_system.h"
#include "vd_winstr.h"

namespace vd {

namespace {

std::wstring Wide(const std::string& utf8) {
    const WideString w = Utf8ToWide(utf8);
    return std::wstring(w.begin(), w.end());
}

// The program's file name without folder or extension: what a message box of its own says.
std::wstring ProgramName() {
    std::vector<wchar_t> path(MAX_PATH);
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    std::wstring name(path.data(), n < path.size() ? n : 0);
    const size_t sep = name.find_last_of(L"\\/:");
    if (sep != std::wstring::npos) name.erase(0, sep + 1);
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0) name.erase(dot);
    return name;
}

// The system's dialog, run with the parameters the host filled in.
class TWindowsOpenDialog final : public TOpenDialog {
public:
    explicit TWindowsOpenDialog(TvdWindowsDesigner& host) : host_(host) {}
    std::string ClassName() const override { return "TWindowsOpenDialog"; }

    bool Execute() override {
        const std::wstring filter = DialogFilter(Filter);
        const std::wstring title = Wide(Title);
        // Room for any path the system can name (the long-path limit), not MAX_PATH: a longer
        // pick would otherwise fail as if cancelled.
        std::vector<wchar_t> file(32768, L'\0');
        OPENFILENAMEW p{};
        p.lStructSize = sizeof p;
        p.hwndOwner = host_.Owner;
        p.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
        p.nFilterIndex = 1;
        p.lpstrFile = file.data();
        p.nMaxFile = static_cast<DWORD>(file.size());
        p.lpstrTitle = title.empty() ? nullptr : title.c_str();
        // The program's current folder stays where it was.
        p.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
        if (!host_.OpenFileNameCall(p)) return false;
        file.back() = L'\0';
        FileName = FromWinStr(file.data());
        return !FileName.empty();
    }

private:
    TvdWindowsDesigner& host_;
};

}  // namespace

std::wstring DialogFilter(const std::string& filter) {
    if (filter.empty()) return {};
    std::wstring text = Wide(filter);
    for (wchar_t& c : text)
        if (c == L'|') c = L'\0';
    text.push_back(L'\0');
    text.push_back(L'\0');
    return text;
}

TvdWindowsDesigner::TvdWindowsDesigner(HWND owner, TModifiedFn onModified)
    : Owner(owner),
      OnModified(std::move(onModified)),
      OpenFileNameCall([](OPENFILENAMEW& p) { return GetOpenFileNameW(&p) != FALSE; }),
      MessageBoxCall([](HWND o, const std::wstring& text, const std::wstring& caption, UINT style) {
          return MessageBoxW(o, text.c_str(), caption.c_str(), style);
      }) {}

std::unique_ptr<TOpenDialog> TvdWindowsDesigner::CreateOpenDialog() {
    return std::make_unique<TWindowsOpenDialog>(*this);
}

void TvdWindowsDesigner::ShowMessage(const std::string& message) {
    MessageBoxCall(Owner, Wide(message), Caption.empty() ? ProgramName() : Caption, MB_OK);
}

void TvdWindowsDesigner::Modified() {
    if (OnModified) OnModified();
}

}  // namespace vd
