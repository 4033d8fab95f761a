// Reading forms into live components: any input either reads or raises one of the
// framework's errors, never crashes or leaks; and what was read writes out, reads back
// into a fresh form and writes out again identically.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "vd_filer.h"

using namespace vd;

namespace {

enum TFuzzMode { fmA, fmB, fmC };
const TIdents FuzzModeIdents{"fmA", "fmB", "fmC"};
using TFuzzModes = TSet<TFuzzMode>;
using TNotifyEvent = std::function<void(TObject*)>;

class TFuzzFont : public TPersistent {
    VD_CLASS(TFuzzFont, TPersistent)
public:
    int Size = 8;
    std::string Name;
};
VD_DEFINE_CLASS(TFuzzFont, IntProp("Size", &T::Size, &T::Size, 8), StrProp("Name", &T::Name, &T::Name))

class TFuzzItem : public TCollectionItem {
    VD_CLASS(TFuzzItem, TCollectionItem)
public:
    explicit TFuzzItem(TCollection* c) : TCollectionItem(c) {}
    WideString Caption;
    std::string Data;
    void DefineProperties(TFiler& filer) override {
        filer.DefineBinaryProperty(
            "Data",
            [this](TStream& s) {
                uint8_t n = 0;
                s.ReadBuffer(&n, 1);  // a length prefix the input may lie about
                Data.resize(n);
                s.ReadBuffer(Data.data(), n);
            },
            [this](TStream& s) {
                const auto n = static_cast<uint8_t>(Data.size());
                s.WriteBuffer(&n, 1);
                s.WriteBuffer(Data.data(), n);
            },
            !Data.empty());
    }
};
VD_DEFINE_CLASS(TFuzzItem, WStrProp("Caption", &T::Caption, &T::Caption))

class TFuzzThing : public TComponent {
    VD_CLASS(TFuzzThing, TComponent)
public:
    explicit TFuzzThing(TComponent* owner) : TComponent(owner), Items(TFuzzItem::StaticClassInfo(), this) {}
    int32_t Count = 0;
    bool Flag = true;
    TFuzzMode Mode = fmA;
    TFuzzModes Modes{fmA};
    TColor Color = 0;
    std::string Text;
    WideString Wide;
    TFuzzThing* Link = nullptr;
    TNotifyEvent OnPing;
    TCollection Items;
    TFuzzFont Font;
    TCollection* GetItems() { return &Items; }
    TFuzzFont* GetFont() { return &Font; }
    TFuzzThing* GetLink() const { return Link; }
    void SetLink(TFuzzThing* l) {
        Link = l;
        if (l) l->FreeNotification(this);
    }
    void Notification(TComponent* c, TOperation op) override {
        TComponent::Notification(c, op);
        if (op == TOperation::opRemove && c == Link) Link = nullptr;
    }
};
VD_DEFINE_CLASS(TFuzzThing, IntProp("Count", &T::Count, &T::Count, 0), BoolProp("Flag", &T::Flag, &T::Flag, true),
                EnumProp("Mode", &T::Mode, &T::Mode, FuzzModeIdents, fmA),
                SetProp("Modes", &T::Modes, &T::Modes, FuzzModeIdents, TFuzzModes{fmA}),
                ColorProp("Color", &T::Color, &T::Color, 0), StrProp("Text", &T::Text, &T::Text),
                WStrProp("Wide", &T::Wide, &T::Wide), CompProp("Link", &T::GetLink, &T::SetLink),
                EventProp("OnPing", &T::OnPing, &T::OnPing), CollectionProp("Items", &T::GetItems),
                ObjectProp("Font", &T::GetFont))

class TFuzzForm : public TComponent {
    VD_CLASS(TFuzzForm, TComponent)
public:
    explicit TFuzzForm(TComponent* owner) : TComponent(owner) {
        PublishMethod<TNotifyEvent>("Ping", [](TObject*) {});
    }
};
VD_DEFINE_CLASS(TFuzzForm)

bool Read(const std::string& form, TFuzzForm& into) {
    try {
        ReadComponent(form, &into);
        return true;
    } catch (const Exception&) {  // EReadError, EClassNotFound, ...: refused, as it should be
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool registered = [] {
        RegisterClass(TFuzzForm::StaticClassInfo());
        RegisterClass(TFuzzThing::StaticClassInfo());
        return true;
    }();
    (void)registered;

    TFuzzForm form(nullptr);
    if (!Read(std::string(reinterpret_cast<const char*>(data), size), form)) {
        if (form.ComponentCount() != 0) abort();  // a failed read leaves nothing behind
        return 0;
    }
    std::string first;
    try {
        first = WriteComponentBinary(&form);
    } catch (const EWriteError&) {
        return 0;  // e.g. a name too long for the binary format
    }
    TFuzzForm again(nullptr);
    if (!Read(first, again)) abort();  // what we wrote must read back
    if (WriteComponentBinary(&again) != first) abort();
    return 0;
}
