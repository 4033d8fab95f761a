#include "vd_designintf.h"

#include <algorithm>
#include <iterator>

#include "vd_propeditors.h"

namespace vd {

namespace {

const char* const kAttributeNames[] = {
    "paValueList", "paSubProperties", "paDialog",          "paMultiSelect",    "paAutoUpdate",
    "paSortList",  "paReadOnly",      "paRevertable",      "paFullWidthName",  "paVolatileSubProperties",
    "paVCL",       "paNotNestable",   "paDisplayReadOnly", "paCustomDropDown", "paValueEditable",
};

struct DesignRegistry {
    std::vector<TPalettePage> Pages;
    std::vector<TPropertyEditorRegistration> Editors;
};

DesignRegistry& Registry() {
    static DesignRegistry registry;
    return registry;
}

// Null stands for "any class", below every real one.
bool MoreDerived(const TClassInfo* candidate, const TClassInfo* best) {
    if (!candidate) return false;
    if (!best) return true;
    return candidate->InheritsFrom(*best);
}

}  // namespace

std::string PropertyAttributesText(TPropertyAttributes attributes) {
    std::string names;
    for (size_t i = 0; i < std::size(kAttributeNames); ++i) {
        if (!attributes.Contains(static_cast<TPropertyAttribute>(i))) continue;
        if (!names.empty()) names += ", ";
        names += kAttributeNames[i];
    }
    return std::to_string(attributes.Bits()) + " [" + names + "]";
}

std::unique_ptr<TStream> IDesigner::OpenFileForReading(const WideString& fileName) {
    return std::make_unique<TFileStream>(fileName, fmOpenRead | fmShareDenyWrite);
}

// ---------------------------------------------------------------------------------------

TPropertyEditor::TPropertyEditor(IDesigner& designer, std::vector<TPersistent*> components, const TPropInfo& prop)
    : designer_(designer), components_(std::move(components)), prop_(prop) {
    if (components_.empty()) throw EListError("A property editor needs at least one component");
}

void TPropertyEditor::Edit() {}

TPropertyAttributes TPropertyEditor::GetAttributes() { return {paMultiSelect, paRevertable}; }

std::string TPropertyEditor::GetValue() { return {}; }

void TPropertyEditor::GetValues(const TGetStrProc&) {}

void TPropertyEditor::SetValue(const std::string&) {}

TPersistent* TPropertyEditor::GetComponent(int index) const {
    if (index < 0 || index >= PropCount()) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return components_[static_cast<size_t>(index)];
}

std::string TPropertyEditor::GetStrValue() const {
    TPersistent& first = *components_.front();
    if (prop_.Kind == TPropKind::String) return prop_.GetStr(first);
    if (prop_.Kind == TPropKind::WideString) return WideToUtf8(prop_.GetWStr(first));
    throw EConvertError("Property " + prop_.Name + " is not a string property");
}

void TPropertyEditor::SetStrValue(const std::string& value) {
    if (prop_.Kind == TPropKind::String) {
        for (TPersistent* c : components_) prop_.SetStr(*c, value);
    } else if (prop_.Kind == TPropKind::WideString) {
        const WideString wide = Utf8ToWide(value);
        for (TPersistent* c : components_) prop_.SetWStr(*c, wide);
    } else {
        throw EConvertError("Property " + prop_.Name + " is not a string property");
    }
}

int64_t TPropertyEditor::GetOrdValue() const {
    if (!prop_.GetOrd) throw EConvertError("Property " + prop_.Name + " is not an ordinal property");
    return prop_.GetOrd(*components_.front());
}

void TPropertyEditor::SetOrdValue(int64_t value) {
    if (!prop_.SetOrd) throw EConvertError("Property " + prop_.Name + " is not an ordinal property");
    for (TPersistent* c : components_) prop_.SetOrd(*c, value);
}

TPropertyAttributes TStringProperty::GetAttributes() { return {paMultiSelect, paRevertable}; }

std::string TStringProperty::GetValue() { return GetStrValue(); }

void TStringProperty::SetValue(const std::string& value) {
    SetStrValue(value);
    Modified();
}

// ---------------------------------------------------------------------------------------

void RegisterComponents(const std::string& page, const std::vector<const TClassInfo*>& classes) {
    auto& pages = Registry().Pages;
    auto it = std::find_if(pages.begin(), pages.end(), [&](const TPalettePage& p) { return p.Name == page; });
    if (it == pages.end()) {
        pages.push_back({page, {}});
        it = std::prev(pages.end());
    }
    for (const TClassInfo* cls : classes) {
        if (!cls) continue;
        if (std::find(it->Classes.begin(), it->Classes.end(), cls) == it->Classes.end()) it->Classes.push_back(cls);
        RegisterClass(*cls);
    }
}

void RegisterPropertyEditor(TPropKind propertyType, const TClassInfo* componentClass, const std::string& propertyName,
                            const TPropertyEditorClass& editorClass) {
    auto& editors = Registry().Editors;
    const bool known = std::any_of(editors.begin(), editors.end(), [&](const TPropertyEditorRegistration& r) {
        return r.PropertyType == propertyType && r.ComponentClass == componentClass &&
               SameText(r.PropertyName, propertyName) && r.Editor.Name == editorClass.Name;
    });
    if (!known) editors.push_back({propertyType, componentClass, propertyName, editorClass});
}

const std::vector<TPalettePage>& PalettePages() { return Registry().Pages; }

const std::vector<TPropertyEditorRegistration>& PropertyEditorRegistrations() { return Registry().Editors; }

void ClearDesignRegistry() {
    Registry().Pages.clear();
    Registry().Editors.clear();
}

const TPropertyEditorClass* FindPropertyEditor(TPropKind propertyType, const TClassInfo& componentClass,
                                               const std::string& propertyName) {
    const TPropertyEditorRegistration* best = nullptr;
    for (const TPropertyEditorRegistration& r : Registry().Editors) {
        if (r.PropertyType != propertyType) continue;
        if (r.ComponentClass && !componentClass.InheritsFrom(*r.ComponentClass)) continue;
        if (!r.PropertyName.empty() && !SameText(r.PropertyName, propertyName)) continue;
        if (best) {
            const bool named = !r.PropertyName.empty(), bestNamed = !best->PropertyName.empty();
            if (bestNamed && !named) continue;
            if (named == bestNamed && !MoreDerived(r.ComponentClass, best->ComponentClass) &&
                r.ComponentClass != best->ComponentClass)
                continue;
        }
        best = &r;
    }
    return best ? &best->Editor : nullptr;
}

std::unique_ptr<TPropertyEditor> GetPropertyEditor(IDesigner& designer, std::vector<TPersistent*> components,
                                                   const TPropInfo& prop) {
    if (components.empty()) throw EListError("A property editor needs at least one component");
    const TPropertyEditorClass* cls = FindPropertyEditor(prop.Kind, components.front()->ClassInfo(), prop.Name);
    if (!cls) cls = &DefaultPropertyEditor(prop.Kind);
    return cls->Create(designer, std::move(components), prop);
}

std::string PropertyTypeName(TPropKind kind) {
    switch (kind) {
        case TPropKind::Integer:
            return "Integer";
        case TPropKind::Boolean:
            return "Boolean";
        case TPropKind::Enumeration:
            return "Enumeration";
        case TPropKind::Set:
            return "Set";
        case TPropKind::Color:
            return "TColor";
        case TPropKind::String:
            return "string";
        case TPropKind::WideString:
            return "WideString";
        case TPropKind::Component:
            return "TComponent";
        case TPropKind::Event:
            return "Method";
        case TPropKind::Collection:
            return "TCollection";
        case TPropKind::Persistent:
            return "TPersistent";
    }
    return "?";
}

}  // namespace vd
