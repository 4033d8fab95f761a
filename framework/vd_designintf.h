// The design-time half of the component framework: the palette and property-editor registry
// that tools read, the property editors an object inspector drives, and the services the
// editors ask of whatever hosts them (file-open dialog, message box, modification notice),
// behind an interface a tool or a test provides.
//
// Value texts are what an inspector shows and takes: 8-bit string properties pass their bytes
// through unchanged, wide strings are UTF-8, everything else is its form-file spelling.
//
// Platform-free.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "vd_classes.h"
#include "vd_streams.h"

namespace vd {

// What an editor tells the inspector about a property. The ordinals are the bit numbers of
// the attribute set's value: {paValueList, paMultiSelect, paRevertable} is 137.
enum TPropertyAttribute {
    paValueList,      // offers a list of values (GetValues)
    paSubProperties,  // has properties of its own
    paDialog,         // has a dialog action (Edit): the inspector shows an ellipsis button
    paMultiSelect,    // usable with several selected components at once
    paAutoUpdate,     // SetValue on every keystroke
    paSortList,       // the value list is shown sorted
    paReadOnly,       // the value text cannot be typed over
    paRevertable,     // can be reverted to an inherited value
    paFullWidthName,
    paVolatileSubProperties,
    paVCL,
    paNotNestable,
    paDisplayReadOnly,
    paCustomDropDown,
    paValueEditable,
};
using TPropertyAttributes = TSet<TPropertyAttribute>;

// "137 [paValueList, paMultiSelect, paRevertable]": the set's value and its members.
std::string PropertyAttributesText(TPropertyAttributes attributes);

// A file-open dialog as the host shows it.
class TOpenDialog : public TObject {
public:
    std::string ClassName() const override { return "TOpenDialog"; }
    // Entries "Description|patterns", joined by '|' (UTF-8).
    std::string Filter;
    // The dialog's title (UTF-8); empty: the system's own.
    std::string Title;
    // The file picked, once Execute answered true: wide, as the system names it.
    WideString FileName;
    // Shows the dialog; true when a file was picked, false when cancelled.
    virtual bool Execute() = 0;
};

// What the editors ask of the program hosting them (an IDE, a tool, a test).
class IDesigner {
public:
    virtual ~IDesigner() = default;
    // A new dialog; the editor frees it when done, also after an error.
    virtual std::unique_ptr<TOpenDialog> CreateOpenDialog() = 0;
    // A plain message box.
    virtual void ShowMessage(const std::string& message) = 0;
    // The modification notice: the edited form has changed and is to be saved.
    virtual void Modified() = 0;
    // The file an editor loads, by the wide name the dialog answered. The default opens it
    // with TFileStream (EFOpenError when it cannot be opened).
    virtual std::unique_ptr<TStream> OpenFileForReading(const WideString& fileName);
};

using TGetStrProc = std::function<void(const std::string&)>;

// Edits one published property of the selected components. The inspector makes one per
// property shown and calls the overridable operations; the rest are services for editors.
class TPropertyEditor : public TObject {
public:
    // components: the selection, at least one; prop: a property all of them publish.
    TPropertyEditor(IDesigner& designer, std::vector<TPersistent*> components, const TPropInfo& prop);
    std::string ClassName() const override { return "TPropertyEditor"; }

    // The dialog action behind the ellipsis button. Nothing by default.
    virtual void Edit();
    // {paMultiSelect, paRevertable} by default.
    virtual TPropertyAttributes GetAttributes();
    // The value text shown for the first selected component; "" by default.
    virtual std::string GetValue();
    // Calls proc once per value offered, in order. None by default.
    virtual void GetValues(const TGetStrProc& proc);
    // Takes a typed value text. Ignored by default (and then no modification notice).
    virtual void SetValue(const std::string& value);

    IDesigner& Designer() const { return designer_; }
    // The index-th selected component (0 is the first); EListError outside the selection.
    TPersistent* GetComponent(int index) const;
    int PropCount() const { return static_cast<int>(components_.size()); }
    const TPropInfo& GetPropInfo() const { return prop_; }
    const std::string& GetName() const { return prop_.Name; }

    // The property's value of the first component as text / set on every component. For
    // string and wide-string properties only (EConvertError otherwise).
    std::string GetStrValue() const;
    void SetStrValue(const std::string& value);
    // The ordinal value of the first component / set on every component.
    int64_t GetOrdValue() const;
    void SetOrdValue(int64_t value);
    // Sends the modification notice.
    void Modified() { designer_.Modified(); }

private:
    IDesigner& designer_;
    std::vector<TPersistent*> components_;
    const TPropInfo& prop_;
};

// The inspector's editor for string properties: the value text is the string itself.
class TStringProperty : public TPropertyEditor {
public:
    using TPropertyEditor::TPropertyEditor;
    std::string ClassName() const override { return "TStringProperty"; }
    TPropertyAttributes GetAttributes() override;
    std::string GetValue() override;
    void SetValue(const std::string& value) override;
};

// An editor class as the registry holds it: its name and how to make one.
struct TPropertyEditorClass {
    std::string Name;
    std::function<std::unique_ptr<TPropertyEditor>(IDesigner&, std::vector<TPersistent*>, const TPropInfo&)> Create;
};

// A class record for the editor class E (constructible like TPropertyEditor), under `name`.
template <class E> TPropertyEditorClass EditorClass(std::string name) {
    return {std::move(name),
            [](IDesigner& d, std::vector<TPersistent*> c, const TPropInfo& p) -> std::unique_ptr<TPropertyEditor> {
                return std::make_unique<E>(d, std::move(c), p);
            }};
}

// ---------------------------------------------------------------------------------------
// Registration.

struct TPalettePage {
    std::string Name;
    std::vector<const TClassInfo*> Classes;  // in registration order
};

struct TPropertyEditorRegistration {
    TPropKind PropertyType;
    const TClassInfo* ComponentClass;  // nullptr: any class
    std::string PropertyName;          // "": any property of the type
    TPropertyEditorClass Editor;
};

// Puts the classes on the palette page (created on first use; pages keep their order, a
// class already on the page is not added twice) and registers them for form files.
void RegisterComponents(const std::string& page, const std::vector<const TClassInfo*>& classes);
// The editor for properties of the given type named propertyName (any name when empty) of
// componentClass and its descendants (any class when nullptr).
void RegisterPropertyEditor(TPropKind propertyType, const TClassInfo* componentClass, const std::string& propertyName,
                            const TPropertyEditorClass& editorClass);

const std::vector<TPalettePage>& PalettePages();
const std::vector<TPropertyEditorRegistration>& PropertyEditorRegistrations();
// Empties both (tests, and a host unloading its packages).
void ClearDesignRegistry();

// The registered editor that fits best: a registration naming the property beats one for
// any property, then the more derived class wins, then the later registration. nullptr
// when none fits; valid until the next registration.
const TPropertyEditorClass* FindPropertyEditor(TPropKind propertyType, const TClassInfo& componentClass,
                                               const std::string& propertyName);
// The editor an inspector uses for prop of the selection: the registered one, else the
// framework's editor for the property's kind (vd_propeditors.h).
std::unique_ptr<TPropertyEditor> GetPropertyEditor(IDesigner& designer, std::vector<TPersistent*> components,
                                                   const TPropInfo& prop);

// The name a kind of property goes by in registrations ("Integer", "string", "WideString"...).
std::string PropertyTypeName(TPropKind kind);

}  // namespace vd
