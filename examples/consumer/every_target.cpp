#include "every_target.h"

#include <string>
#include <vector>

#include <vd/vd_ax_enumdesc.h>      // vd::driver_activex_core
#include <vd/vd_com.h>              // vd::win32
#include <vd/vd_designintf.h>       // vd::designide
#include <vd/vd_driver_activex.h>   // vd::driver_activex
#include <vd/vd_driver_choice.h>    // vd::player_core
#include <vd/vd_driver_netscape.h>  // vd::driver_netscape
#include <vd/vd_filer.h>            // vd::core
#include <vd/vd_flash_control.h>    // vd::hosted (with the header widl made from the control's IDL)
#include <vd/vd_flashplayer.h>      // vd::player
#include <vd/vd_flashreg.h>         // vd::design
#include <vd/vd_layer.h>            // vd::layer
#include <vd/vd_movienames.h>       // vd::store
#include <vd/vd_np_download.h>      // vd::driver_netscape_download
#include <vd/vd_npscript.h>         // vd::driver_netscape_core
#include <vd/vd_pixels.h>           // vd::player_core
#include <vd/vd_startup.h>          // vd::startup
#include <vd/vd_swf.h>              // vd::swf
#include <vd/vd_vcl.h>              // vd::vcl
#include <vd/vd_wtext.h>            // vd::win32

namespace {

// The folder of this EXE, where the build put the Flash control's type library.
std::wstring ExeFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

bool PaletteHas(const char* className) {
    for (const vd::TPalettePage& page : vd::PalettePages())
        for (const vd::TClassInfo* cls : page.Classes)
            if (cls && cls->Name == className) return true;
    return false;
}

}  // namespace

std::vector<std::string> CheckEveryTarget(vd::TForm* form, std::vector<std::string>& used) {
    std::vector<std::string> wrong;
    auto check = [&](const char* target, bool ok, const char* what) {
        used.push_back(target);
        if (!ok) wrong.push_back(std::string(target) + ": " + what);
    };

    check("vd::win32", vd::win32::WideToUtf8(vd::win32::Utf8ToWide("\xc3\xa4")) == "\xc3\xa4",
          "UTF-8 -> UTF-16 -> UTF-8 changed the text");

    // The type library installed with the package describes the interface the installed
    // header declares (generated from the same IDL), under the identifiers vd_flash_control.h
    // gives.
    {
        vd::win32::ComPtr<ITypeLib> lib;
        vd::win32::ComPtr<ITypeInfo> info;
        const std::wstring tlb = ExeFolder() + L"vd_flash_ocx.tlb";
        TLIBATTR* attr = nullptr;
        bool ok = IsEqualGUID(__uuidof(IvdFlashPlayer), vd::flash::IID_IvdFlashPlayer) &&
                  SUCCEEDED(LoadTypeLibEx(tlb.c_str(), REGKIND_NONE, lib.ReleaseAndGetAddressOf())) &&
                  SUCCEEDED(lib->GetTypeInfoOfGuid(__uuidof(IvdFlashPlayer), info.ReleaseAndGetAddressOf())) &&
                  SUCCEEDED(lib->GetLibAttr(&attr));
        if (attr) {
            ok = ok && IsEqualGUID(attr->guid, vd::flash::LIBID_vdFlashPlayerObjects);
            lib->ReleaseTLibAttr(attr);
        }
        check("vd::hosted", ok,
              "the installed vd_flash_ocx.tlb does not load, or header, type library and identifiers disagree");
    }

    const std::string text = vd::WriteComponentText(form);
    check("vd::core", text.find("object Player: TvdFlashPlayer") != std::string::npos,
          "the form written as text does not hold its player");
    check("vd::vcl", form->ComponentCount() >= 1, "the form owns no component");

    check("vd::store", vd::IsVideoName(u"clip.flv") && !vd::IsVideoName(u"clip.swf"),
          "video names not told from movie names");
    vd::TMovieResource movie;
    check("vd::store_win", vd::FindMovieResource(u"flvplayback.swf", movie) && movie.Size > 0,
          "the built-in video player movie is not among the resources");

    {
        // The engine reads the built-in skin the resources carry and draws its control bar.
        vd::TMovieResource skin;
        const vd::swf::LoadResult loaded = vd::FindMovieResource(u"ClearOverAll.swf", skin)
                                               ? vd::swf::LoadMovie(skin.Data, skin.Size)
                                               : vd::swf::LoadResult{};
        bool drawn = false;
        if (loaded.movie && loaded.movie->StageWidth() > 0 && loaded.movie->StageHeight() > 0) {
            const int w = loaded.movie->StageWidth(), h = loaded.movie->StageHeight();
            std::vector<uint32_t> pixels(static_cast<size_t>(w) * h, 0);
            vd::swf::Stage stage(loaded.movie);
            stage.Render(pixels.data(), w, h, w, vd::swf::RenderOptions{});
            for (uint32_t p : pixels) drawn = drawn || (p >> 24) != 0;
        }
        check("vd::swf", drawn, "the built-in skin does not load or draws nothing");
    }
    check("vd::startup", vd::FlashPackageInitCount() >= 1, "the package start-up is not counted as running");

    check("vd::player_core", vd::ColorToPixel(0x00030201) == 0xFF010203u && !vd::DriverAvailable(nullptr),
          "colour to pixel or driver availability wrong");
    check("vd::player", vd::DefaultFlashDriverClass == nullptr || vd::DefaultFlashDriverClass->Name != nullptr,
          "the default driver class has no name");

    check("vd::driver_netscape_core",
          vd::np::ExternalCallRequest({"Ping", {"a<b"}}) ==
              "<invoke name=\"Ping\" returntype=\"XML\"><arguments><string>a&lt;b</string></arguments></invoke>",
          "external call request text wrong");
    check("vd::driver_netscape_download", vd::np::LiveDownloadCount() == 0, "downloads alive before any started");
    check("vd::driver_netscape", vd::FlashDriverNSClass == &vd::TvdFlashDriverNS::Class(),
          "its unit did not register the Netscape driver class");

    check("vd::driver_activex_core", vd::ax::EnumDisplayString({3, "Medium"}) == "3 - Medium",
          "enumerated property display string wrong");
    check("vd::driver_activex", vd::FlashDriverActiveXClass == &vd::TvdFlashDriverActiveX::Class(),
          "its unit did not register the ActiveX driver class");

    check("vd::layer", vd::LayeredWindowUpdate() != nullptr, "its unit found no layered-window update");

    // Design time: the package's registration puts its components on the palette.
    vd::InitializeFlashRegUnit();
    vd::Register();
    check("vd::design", PaletteHas("TvdFlashPlayer") && PaletteHas("TvdFlashLayer"),
          "Register put the players on no palette page");
    check("vd::designide", !vd::PropertyEditorRegistrations().empty(), "no property editor registered");
    vd::ClearDesignRegistry();
    vd::FinalizeFlashRegUnit();
    return wrong;
}
