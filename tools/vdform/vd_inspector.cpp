// vdform's object inspector: the palette, a component's properties as their editors show
// them, and setting one property through its editor.
//
// A component is inspected live, as a designer does: an object of its registered class is
// made in the designing state and the stored properties are read into it; its editors then
// work on that object. Setting a property writes back only that property, as the component
// itself now stores it, so the rest of the form stays as it was.
#include <algorithm>
#include <ostream>
#include <sstream>

#include "vd_filer.h"
#include "vd_formtool.h"
#include "vd_formtool_internal.h"
#include "vd_propeditors.h"

namespace vd::formtool {

namespace {

TFormObject* FindObject(TFormObject& o, const std::string& name) {
    if (SameText(o.Name, name)) return &o;
    for (TFormObject& child : o.Children)
        if (TFormObject* found = FindObject(child, name)) return found;
    return nullptr;
}

// Events name methods of the form's own class and references name other components of the
// form: neither can be resolved for one component alone, and neither is edited here.
bool NeedsWholeForm(const TPropInfo* info) {
    return info && (info->Kind == TPropKind::Event || info->Kind == TPropKind::Component);
}

std::string Head(const std::string& propertyName) { return propertyName.substr(0, propertyName.find('.')); }

// One form object made live for editing.
class LiveComponent {
public:
    explicit LiveComponent(const TFormObject& obj) {
        const TClassInfo* cls = FindClass(obj.ClassName);
        if (!cls || !cls->CreateComponent) throw EClassNotFound("Class " + obj.ClassName + " is not registered");
        instance_ = cls->CreateComponent(&owner_);
        instance_->SetDesigning(true);
        TFormObject alone;
        alone.ClassName = obj.ClassName;
        alone.Name = obj.Name;
        for (const TFormProperty& p : obj.Properties)
            if (!NeedsWholeForm(cls->FindProperty(Head(p.Name)))) alone.Properties.push_back(p);
        TReader().ReadRootComponent(WriteBinaryForm(alone), instance_);
    }

    TComponent& Get() const { return *instance_; }

private:
    TComponent owner_{nullptr};  // frees the instance
    TComponent* instance_ = nullptr;
};

// storedText: the value as the form stores it, for what the live component cannot show.
void PrintProperty(std::ostream& out, IDesigner& designer, TPersistent& instance, const TPropInfo& prop,
                   const std::string& label, const std::string* storedText = nullptr) {
    const std::unique_ptr<TPropertyEditor> editor = GetPropertyEditor(designer, {&instance}, prop);
    const TPropertyAttributes attributes = editor->GetAttributes();
    const std::string value = storedText ? *storedText : editor->GetValue();
    out << Printable(label) << '\t' << Printable(value) << '\t' << editor->ClassName() << '\t'
        << PropertyAttributesText(attributes);
    if (attributes.Contains(paValueList)) {
        std::string values;
        editor->GetValues([&](const std::string& v) { values += (values.empty() ? "" : "|") + Printable(v); });
        out << '\t' << values;
    }
    out << '\n';
}

struct Target {
    std::string Component;
    std::string Property;
};

}  // namespace

int Palette(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1) return Usage(err, "palette takes no arguments");
    if (PalettePages().empty())
        return Fail(err, {"palette", "no components are registered (the design-time package is in the Windows build)"});
    for (const TPalettePage& page : PalettePages()) {
        out << "page " << page.Name << '\n';
        for (const TClassInfo* cls : page.Classes) out << "  " << cls->Name << '\n';
    }
    for (const TPropertyEditorRegistration& r : PropertyEditorRegistrations()) {
        out << "editor " << r.Editor.Name << ": " << PropertyTypeName(r.PropertyType) << ' '
            << (r.ComponentClass ? r.ComponentClass->Name : std::string("*")) << '.'
            << (r.PropertyName.empty() ? std::string("*") : r.PropertyName) << '\n';
    }
    return kVdformOk;
}

int Props(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 3) return Usage(err, "props needs FORM and COMPONENT");
    const std::string& formName = args[1];
    std::string data;
    TFormObject tree;
    if (auto e = Load(formName, data, tree)) return Fail(err, *e);
    TFormObject* obj = FindObject(tree, args[2]);
    if (!obj) return Fail(err, {formName, "no component named " + args[2]});
    std::ostringstream listing;
    ToolDesigner designer;
    try {
        LiveComponent live(*obj);
        for (const TPropInfo* prop : live.Get().ClassInfo().AllProperties()) {
            if (NeedsWholeForm(prop)) {
                const TFormProperty* stored = FindProp(obj->Properties, prop->Name);
                const std::string text = !stored                                     ? std::string()
                                         : stored->Value.Type == TValueType::vaIdent ? stored->Value.Bytes
                                                                                     : FormValueSummary(stored->Value);
                PrintProperty(listing, designer, live.Get(), *prop, prop->Name, &text);
                continue;
            }
            PrintProperty(listing, designer, live.Get(), *prop, prop->Name);
            if (prop->Kind != TPropKind::Collection) continue;
            auto* items = dynamic_cast<TCollection*>(prop->GetObj(live.Get()));
            for (int i = 0; items && i < items->Count(); ++i) {
                TCollectionItem& item = *items->GetItem(i);
                for (const TPropInfo* itemProp : item.ClassInfo().AllProperties())
                    PrintProperty(listing, designer, item, *itemProp,
                                  prop->Name + "[" + std::to_string(i) + "]." + itemProp->Name);
            }
        }
    } catch (const Exception& e) {
        return Fail(err, {formName, e.what()});
    }
    out << listing.str();
    // An editor that caught an error showed it instead of a value.
    for (const std::string& m : designer.Messages) err << "vdform: " << formName << ": " << OneLine(m) << '\n';
    return kVdformOk;
}

int Set(const std::vector<std::string>& args, std::ostream& err) {
    if (args.size() != 4) return Usage(err, "set needs FORM, COMPONENT.PROPERTY and VALUE");
    const std::string& formName = args[1];
    const size_t dot = args[2].find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == args[2].size())
        return Usage(err, "set needs COMPONENT.PROPERTY, not '" + args[2] + "'");
    const Target target{args[2].substr(0, dot), args[2].substr(dot + 1)};
    const std::string& value = args[3];

    std::string data;
    TFormObject tree;
    if (auto e = Load(formName, data, tree)) return Fail(err, *e);
    TFormObject* obj = FindObject(tree, target.Component);
    if (!obj) return Fail(err, {formName, "no component named " + target.Component});
    const std::string where = obj->Name + "." + target.Property;

    try {
        LiveComponent live(*obj);
        const TClassInfo& cls = live.Get().ClassInfo();
        const TPropInfo* prop = cls.FindProperty(target.Property);
        if (!prop) return Fail(err, {formName, obj->Name + " (" + cls.Name + ") has no property " + target.Property});
        ToolDesigner designer;
        const std::unique_ptr<TPropertyEditor> editor = GetPropertyEditor(designer, {&live.Get()}, *prop);
        if (editor->GetAttributes().Contains(paReadOnly))
            return Fail(err, {formName, where + " is not set by typing a value (" + editor->ClassName() + ")"});
        editor->SetValue(value);
        if (!designer.Messages.empty()) return Fail(err, {formName, where + ": " + designer.Messages.back()});
        if (!designer.WasModified)
            return Fail(err, {formName, where + ": " + editor->ClassName() + " took no typed value"});

        // Only this property goes back, as the component now stores it (absent at its default).
        TFormObject written = TWriter().WriteRootComponent(&live.Get());
        const TFormProperty* stored = FindProp(written.Properties, prop->Name);
        auto& props = obj->Properties;
        auto existing = std::find_if(props.begin(), props.end(),
                                     [&](const TFormProperty& p) { return SameText(p.Name, prop->Name); });
        if (existing != props.end()) {
            if (stored) existing->Value = stored->Value;
            else props.erase(existing);
        } else if (stored) {
            // Before the first property the class stores after this one.
            const auto all = cls.AllProperties();
            const auto rank = [&](const std::string& name) -> size_t {
                for (size_t i = 0; i < all.size(); ++i)
                    if (SameText(all[i]->Name, Head(name))) return i;
                return all.size();
            };
            const size_t mine = rank(prop->Name);
            auto at =
                std::find_if(props.begin(), props.end(), [&](const TFormProperty& p) { return rank(p.Name) > mine; });
            props.insert(at, *stored);
        }
    } catch (const Exception& e) {
        return Fail(err, {formName, where + ": " + e.what()});
    }
    if (auto e = Save(formName, data, tree)) return Fail(err, *e);
    return kVdformOk;
}

}  // namespace vd::formtool
