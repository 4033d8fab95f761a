// The two property editors. Platform-free: they reach files and dialogs only through the
// design host (IDesigner).
#include "vd_flashreg.h"

#include "vd_movienames.h"

namespace vd {

std::string ExtractFileName(const std::string& path) {
    const size_t sep = path.find_last_of("\\/:");
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

WideString ExtractFileName(const WideString& path) {
    const size_t sep = path.find_last_of(u"\\/:");
    return sep == WideString::npos ? path : path.substr(sep + 1);
}

// ---------------------------------------------------------------------------------------
// TvdFlashStreamProperty

void TvdFlashStreamProperty::Edit() {
    const std::unique_ptr<TOpenDialog> dialog = Designer().CreateOpenDialog();
    dialog->Filter = kFlashFileFilter;
    dialog->Title = kFlashFileTitle;
    if (dialog->Execute()) {
        auto* item = dynamic_cast<TvdFlashStream*>(GetComponent(0));
        if (!item) throw EConvertError("FlashStore is edited on stored-movie items only");
        // The whole file first: an item must never be left holding part of one.
        TMemoryStream loaded;
        loaded.LoadFromStream(*Designer().OpenFileForReading(dialog->FileName));
        item->Data().Swap(loaded);
        // The name stays wide from the dialog on: no code page stands between it and the item.
        if (item->Data().GetSize() > 0) item->SetFlashStore(ExtractFileName(dialog->FileName));
    }
    Modified();
}

TPropertyAttributes TvdFlashStreamProperty::GetAttributes() { return {paDialog}; }

std::string TvdFlashStreamProperty::GetValue() {
    auto* item = dynamic_cast<TCollectionItem*>(GetComponent(0));
    return item ? item->GetDisplayName() : std::string();
}

const TPropertyEditorClass& FlashStreamPropertyClass() {
    static const TPropertyEditorClass cls = EditorClass<TvdFlashStreamProperty>("TvdFlashStreamProperty");
    return cls;
}

// ---------------------------------------------------------------------------------------
// TvdSkinProperty

TPropertyAttributes TvdSkinProperty::GetAttributes() { return {paValueList, paMultiSelect, paRevertable}; }

std::string TvdSkinProperty::GetValue() {
    try {
        return GetStrValue();
    } catch (const Exception& e) {
        Designer().ShowMessage(e.Message());
    }
    return {};
}

void TvdSkinProperty::GetValues(const TGetStrProc& proc) {
    try {
        for (std::u16string_view skin : kSkinNames) proc(WideToUtf8(skin));
    } catch (const Exception& e) {
        Designer().ShowMessage(e.Message());
    }
}

void TvdSkinProperty::SetValue(const std::string& value) {
    try {
        SetStrValue(value);
        Modified();
    } catch (const Exception& e) {
        Designer().ShowMessage(e.Message());
    }
}

const TPropertyEditorClass& SkinPropertyClass() {
    static const TPropertyEditorClass cls = EditorClass<TvdSkinProperty>("TvdSkinProperty");
    return cls;
}

}  // namespace vd
