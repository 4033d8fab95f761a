// The framework's own property editors, one per kind of published property: what an
// inspector uses where no package registered an editor. Each shows and takes the value in
// its form-file spelling (identifiers, "[akLeft, akTop]", colour names) and sends the
// modification notice after a value was set.
//
// Platform-free.
#pragma once

#include "vd_designintf.h"

namespace vd {

// Whole numbers, and the named values of properties that have some (cursors).
class TIntegerProperty : public TPropertyEditor {
public:
    using TPropertyEditor::TPropertyEditor;
    std::string ClassName() const override { return "TIntegerProperty"; }
    std::string GetValue() override;
    void GetValues(const TGetStrProc& proc) override;
    TPropertyAttributes GetAttributes() override;
    // Decimal, "$" hexadecimal or a name; EConvertError for anything else.
    void SetValue(const std::string& value) override;
};

// Enumerations and Boolean (False, True): a drop-down of the identifiers.
class TEnumProperty : public TPropertyEditor {
public:
    using TPropertyEditor::TPropertyEditor;
    std::string ClassName() const override { return "TEnumProperty"; }
    TPropertyAttributes GetAttributes() override;
    std::string GetValue() override;
    void GetValues(const TGetStrProc& proc) override;
    // An identifier (case does not matter); EConvertError "Invalid property value" otherwise.
    void SetValue(const std::string& value) override;
};

// Sets: "[member, member]".
class TSetProperty : public TPropertyEditor {
public:
    using TPropertyEditor::TPropertyEditor;
    std::string ClassName() const override { return "TSetProperty"; }
    TPropertyAttributes GetAttributes() override;
    std::string GetValue() override;
    void SetValue(const std::string& value) override;
};

// Colours: a colour name where one matches, else the number; takes either.
class TColorProperty : public TIntegerProperty {
public:
    using TIntegerProperty::TIntegerProperty;
    std::string ClassName() const override { return "TColorProperty"; }
    TPropertyAttributes GetAttributes() override;
};

// Wide strings: shown and typed as UTF-8.
class TWideStringProperty : public TStringProperty {
public:
    using TStringProperty::TStringProperty;
    std::string ClassName() const override { return "TWideStringProperty"; }
};

// Event handlers: the name of the method assigned; not typed over here (a method needs code).
class TMethodProperty : public TPropertyEditor {
public:
    using TPropertyEditor::TPropertyEditor;
    std::string ClassName() const override { return "TMethodProperty"; }
    TPropertyAttributes GetAttributes() override;
    std::string GetValue() override;
};

// References to other components: the referenced component's name; read-only here.
class TComponentProperty : public TPropertyEditor {
public:
    using TPropertyEditor::TPropertyEditor;
    std::string ClassName() const override { return "TComponentProperty"; }
    TPropertyAttributes GetAttributes() override;
    std::string GetValue() override;
};

// Owned objects and collections: "(TClassName)", edited through their own properties.
class TClassProperty : public TPropertyEditor {
public:
    using TPropertyEditor::TPropertyEditor;
    std::string ClassName() const override { return "TClassProperty"; }
    TPropertyAttributes GetAttributes() override;
    std::string GetValue() override;
};

// The editor class used for a kind of property when no other is registered.
const TPropertyEditorClass& DefaultPropertyEditor(TPropKind kind);

}  // namespace vd
