// Design-time support: the package's components on the "Vidora" palette page and its two
// property editors, a file picker that loads a movie file into a stored-movie item
// (FlashStore) and a drop-down of the built-in video skins (Skin). A design host (an IDE, the
// vdform inspector) calls Register once and then the editors' operations as properties are
// edited. Applications include this one header.
//
// The editors are platform-free; Register, which names the player classes, is Win32 only.
#pragma once

#include <string>

#include "vd_designintf.h"
#include "vd_flashstore.h"

namespace vd {

// The palette page the package's components go on.
inline constexpr const char* kVidoraPalettePage = "Vidora";
// What the movie file picker offers: the listed media types, and all files.
inline constexpr const char* kFlashFileFilter =
    "Flash,Video,XML and Media files|*.swf;*.flv;*.xml;*.jpg;*.png;*.mp3;*.txt|All Files|*.*";
// The title of the movie file picker.
inline constexpr const char* kFlashFileTitle = "Load a movie into FlashStore";

// FlashStore of a TvdFlashStream: the ellipsis button picks a file and loads it into the
// (first selected) item.
class TvdFlashStreamProperty : public TPropertyEditor {
public:
    using TPropertyEditor::TPropertyEditor;
    std::string ClassName() const override { return "TvdFlashStreamProperty"; }

    // Asks for a file; a picked file is read whole into a new stream first and only then
    // becomes the item's data, with its bare name as FlashStore when it is not empty. Then
    // the modification notice, also when the dialog was cancelled. A file that cannot be
    // opened or read raises, and then the item keeps its name and data and nothing is
    // notified.
    void Edit() override;
    // {paDialog}: 4.
    TPropertyAttributes GetAttributes() override;
    // The item's display name.
    std::string GetValue() override;
};

// Skin of the players: an editable drop-down of the four built-in skins. Any text is taken.
// Errors of the framework's kind raised while the list, the text or a new value is worked
// out are shown in a message box instead of passing on: then the value text is empty and
// no modification notice is sent.
class TvdSkinProperty : public TStringProperty {
public:
    using TStringProperty::TStringProperty;
    std::string ClassName() const override { return "TvdSkinProperty"; }

    // {paValueList, paMultiSelect, paRevertable}: 137.
    TPropertyAttributes GetAttributes() override;
    std::string GetValue() override;
    // "ClearOverAll", "SteelOverAll", "MojaveOverAll", "ArcticOverAll".
    void GetValues(const TGetStrProc& proc) override;
    void SetValue(const std::string& value) override;
};

const TPropertyEditorClass& FlashStreamPropertyClass();
const TPropertyEditorClass& SkinPropertyClass();

// The file part of a path as a dialog answers it (after the last '\', '/' or ':').
std::string ExtractFileName(const std::string& path);
WideString ExtractFileName(const WideString& path);

#ifdef _WIN32
// Puts TvdFlashList, TvdFlashPlayer, TvdFlashPlayerWnd, TvdFlashPlayerComp and TvdFlashLayer
// on the "Vidora" page, in that order; TvdFlashStreamProperty for FlashStore of
// TvdFlashStream; TvdSkinProperty for Skin of TvdFlashPlayer, TvdFlashPlayerWnd and
// TvdFlashPlayerComp (the layer keeps the ordinary string editor). Registering again adds
// nothing. The host starts the player and layer units before making any of these components.
void Register();

// The unit's start-up and shut-down: they only count how often they ran.
void InitializeFlashRegUnit();
void FinalizeFlashRegUnit();
int FlashRegUnitInitCount();
#endif

}  // namespace vd
