#include "vd_filer.h"

#include <algorithm>
#include <cctype>

namespace vd {

namespace {

int FindIdent(const TIdents& idents, const std::string& name) {
    for (size_t i = 0; i < idents.size(); ++i)
        if (SameText(idents[i], name)) return static_cast<int>(i);
    return -1;
}

const char* kInvalidValue = "Invalid property value";

}  // namespace

// ---------------------------------------------------------------------------------------
// Writing

TFormObject TWriter::WriteRootComponent(TComponent* root) {
    root_ = root;
    return WriteObject(root);
}

TFormObject TWriter::WriteObject(TComponent* component) {
    TFormObject obj;
    obj.ClassName = component->ClassName();
    obj.Name = component->GetName();
    WriteProperties(*component, "", obj.Properties);
    component->GetChildren([&](TComponent* child) { obj.Children.push_back(WriteObject(child)); }, root_);
    return obj;
}

void TWriter::WriteProperties(TPersistent& instance, const std::string& prefix, std::vector<TFormProperty>& out) {
    for (const TPropInfo* info : instance.ClassInfo().AllProperties()) {
        if (info->Kind == TPropKind::Persistent) {
            if (TPersistent* sub = info->GetObj(instance)) WriteProperties(*sub, prefix + info->Name + ".", out);
            continue;
        }
        if (auto value = PropertyValue(instance, *info)) out.push_back({prefix + info->Name, std::move(*value)});
    }
    auto* savedOut = definedOut_;
    std::string savedPrefix = definedPrefix_;
    definedOut_ = &out;
    definedPrefix_ = prefix;
    instance.DefineProperties(*this);
    definedOut_ = savedOut;
    definedPrefix_ = std::move(savedPrefix);
}

std::optional<TFormValue> TWriter::PropertyValue(TPersistent& instance, const TPropInfo& info) {
    if (info.StoredFn && !info.StoredFn(instance)) return std::nullopt;
    switch (info.Kind) {
        case TPropKind::Integer:
        case TPropKind::Color:
        case TPropKind::Boolean:
        case TPropKind::Enumeration:
        case TPropKind::Set: {
            const int64_t v = info.GetOrd(instance);
            if (info.Default && *info.Default == v) return std::nullopt;
            if (info.Kind == TPropKind::Boolean) return TFormValue::Boolean(v != 0);
            if (info.Kind == TPropKind::Enumeration) {
                if (v < 0 || v >= static_cast<int64_t>(info.Idents->size()))
                    throw EWriteError("Property " + info.Name + " has no identifier for value " + std::to_string(v));
                return TFormValue::Ident((*info.Idents)[static_cast<size_t>(v)]);
            }
            if (info.Kind == TPropKind::Set) {
                std::vector<std::string> members;
                for (size_t i = 0; i < info.Idents->size() && i < 64; ++i)
                    if (static_cast<uint64_t>(v) & (uint64_t{1} << i)) members.push_back((*info.Idents)[i]);
                return TFormValue::SetOf(std::move(members));
            }
            if (info.IdentMap)
                for (const auto& [name, value] : *info.IdentMap)
                    if (value == v) return TFormValue::Ident(name);
            return TFormValue::Integer(v);
        }
        case TPropKind::String: {
            std::string s = info.GetStr(instance);
            if (s.empty() && !info.AlwaysStored) return std::nullopt;
            return TFormValue::String(std::move(s));
        }
        case TPropKind::WideString: {
            WideString w = info.GetWStr(instance);
            if (w.empty() && !info.AlwaysStored) return std::nullopt;
            // The same choice the text format makes, so either route gives the same bytes.
            const bool narrow = std::all_of(w.begin(), w.end(), [](char16_t c) { return c <= 0xFF; });
            return narrow ? TFormValue::String(WideToLatin1(w)) : TFormValue::WString(std::move(w));
        }
        case TPropKind::Component: {
            auto* ref = dynamic_cast<TComponent*>(info.GetObj(instance));
            if (!ref) return std::nullopt;
            std::string name = ReferenceName(ref);
            if (name.empty()) return std::nullopt;
            return TFormValue::Ident(std::move(name));
        }
        case TPropKind::Event: {
            std::string name = info.EventName(instance);
            if (name.empty()) return std::nullopt;
            return TFormValue::Ident(std::move(name));
        }
        case TPropKind::Collection: {
            auto* coll = dynamic_cast<TCollection*>(info.GetObj(instance));
            if (!coll || (coll->Count() == 0 && !info.AlwaysStored)) return std::nullopt;
            TFormValue v;
            v.Type = TValueType::vaCollection;
            for (int i = 0; i < coll->Count(); ++i) {
                TFormCollectionItem item;
                WriteProperties(*coll->GetItem(i), "", item.Properties);
                v.Items.push_back(std::move(item));
            }
            return v;
        }
        case TPropKind::Persistent:
            break;
    }
    return std::nullopt;
}

std::string TWriter::ReferenceName(TComponent* component) const {
    if (component->GetName().empty()) return {};
    if (component == root_ || component->GetOwner() == root_) return component->GetName();
    TComponent* owner = component->GetOwner();
    if (!owner || owner->GetName().empty()) return {};
    return owner->GetName() + "." + component->GetName();
}

void TWriter::WriteValue(TFormValue value) { pending_ = std::move(value); }

void TWriter::DefineProperty(const std::string& name, TReaderProc, TWriterProc writeData, bool hasData) {
    if (!hasData || !writeData || !definedOut_) return;
    pending_.reset();
    writeData(*this);
    if (pending_) definedOut_->push_back({definedPrefix_ + name, std::move(*pending_)});
    pending_.reset();
}

void TWriter::DefineBinaryProperty(const std::string& name, TStreamProc, TStreamProc writeData, bool hasData) {
    if (!hasData || !writeData || !definedOut_) return;
    TMemoryStream data;
    writeData(data);
    definedOut_->push_back(
        {definedPrefix_ + name, TFormValue::Binary(std::string(reinterpret_cast<const char*>(data.Memory()),
                                                               static_cast<size_t>(data.GetSize())))});
}

std::string WriteComponentBinary(TComponent* root) { return WriteBinaryForm(TWriter().WriteRootComponent(root)); }

std::string WriteComponentText(TComponent* root) { return WriteTextForm(TWriter().WriteRootComponent(root)); }

// ---------------------------------------------------------------------------------------
// Reading

void TReader::Error(const std::string& path, const std::string& what) const {
    throw EReadError("Error reading " + path + ": " + what);
}

TComponent* TReader::ReadRootComponent(std::string_view form, TComponent* root, TComponent* owner) {
    return ReadRootTree(ParseForm(form), root, owner);
}

TComponent* TReader::ReadRootComponent(TStream& stream, TComponent* root, TComponent* owner) {
    return ReadRootTree(ParseForm(stream), root, owner);
}

TComponent* TReader::ReadRootTree(TFormObject tree, TComponent* root, TComponent* owner) {
    // The tree is this reader's own: binary values are moved out of it, not copied (see
    // DefineBinaryProperty).
    loaded_.clear();
    created_.clear();
    fixups_.clear();
    reparented_.clear();
    if (!root) {
        const TClassInfo* cls = FindClass(tree.ClassName);
        if (!cls) throw EClassNotFound(ClassNotFoundMessage(tree.ClassName));
        if (!cls->CreateComponent) throw EReadError("Class " + tree.ClassName + " is not a component class");
        root = cls->CreateComponent(owner);
        created_.push_back(root);
    }
    root_ = root;
    try {
        root->SetLoadingState(true);
        loaded_.push_back(root);
        if (!tree.Name.empty()) {
            try {
                root->SetName(tree.Name);
            } catch (const EComponentError& e) {
                Error(tree.Name, e.what());
            }
        }
        ReadObject(root, tree);

        // Every name must resolve before any reference is set.
        std::vector<std::pair<const Fixup*, TComponent*>> resolved;
        for (const Fixup& f : fixups_) {
            TComponent* target = ResolveReference(f.name);
            if (!target || !target->InheritsFrom(f.prop->RefClass()))
                Error(f.path, "Invalid reference '" + f.name + "' in property " + f.prop->Name);
            resolved.emplace_back(&f, target);
        }
        for (auto& [f, target] : resolved) f->prop->SetRef(*f->instance, target);

        for (TComponent* c : loaded_) c->ClearReadingState();
        for (TComponent* c : loaded_) c->Loaded();
    } catch (...) {
        for (TComponent* c : loaded_) c->EndLoading();
        // Existing components go back where they were before anything they were moved
        // under is freed with the components this read created.
        for (auto it = reparented_.rbegin(); it != reparented_.rend(); ++it) it->first->SetParentComponent(it->second);
        reparented_.clear();
        // Free what this read created; components go before the root that owns them.
        for (auto it = created_.rbegin(); it != created_.rend(); ++it) delete *it;
        loaded_.clear();
        created_.clear();
        throw;
    }
    loaded_.clear();
    created_.clear();
    fixups_.clear();
    reparented_.clear();
    return root;
}

void TReader::ReadObject(TComponent* component, const TFormObject& obj) {
    const std::string path = component->GetName().empty() ? component->ClassName() : component->GetName();
    ReadProperties(*component, obj.Properties, path);
    for (const TFormObject& childObj : obj.Children) {
        const std::string childPath = childObj.Name.empty() ? childObj.ClassName : childObj.Name;
        TComponent* child = nullptr;
        if (childObj.Flags & (ffInherited | ffInline)) {
            // Inherited children exist already; the form only adjusts their properties.
            child = root_->FindComponent(childObj.Name);
            if (!child) Error(childPath, "Inherited component " + childObj.Name + " not found");
            child->SetLoadingState(true);
        } else {
            const TClassInfo* cls = FindClass(childObj.ClassName);
            if (!cls) throw EClassNotFound(ClassNotFoundMessage(childObj.ClassName));
            if (!cls->CreateComponent) Error(childPath, "Class " + childObj.ClassName + " is not a component class");
            child = cls->CreateComponent(root_);
            created_.push_back(child);
            child->SetLoadingState(true);
            try {
                child->SetName(childObj.Name);
            } catch (const EComponentError& e) {
                Error(childPath, e.what());
            }
        }
        loaded_.push_back(child);
        if (childObj.Flags & (ffInherited | ffInline)) reparented_.emplace_back(child, child->GetParentComponent());
        child->SetParentComponent(component);
        ReadObject(child, childObj);
    }
}

void TReader::ReadProperties(TPersistent& instance, const std::vector<TFormProperty>& props, const std::string& path) {
    for (const TFormProperty& p : props) ReadProperty(instance, p, path);
}

void TReader::ReadProperty(TPersistent& instance, const TFormProperty& prop, const std::string& path) {
    const auto dot = prop.Name.find('.');
    const std::string head = prop.Name.substr(0, dot);
    const TPropInfo* info = instance.ClassInfo().FindProperty(head);
    try {
        if (info && dot != std::string::npos) {
            TPersistent* sub = info->Kind == TPropKind::Persistent ? info->GetObj(instance) : nullptr;
            if (!sub) Error(path + "." + prop.Name, "Property " + head + " has no sub-properties");
            ReadProperty(*sub, {prop.Name.substr(dot + 1), prop.Value}, path + "." + head);
            return;
        }
        if (info) {
            ApplyValue(instance, *info, prop.Name, prop.Value, path + "." + prop.Name);
            return;
        }
        // Not published: perhaps a property the class stores itself.
        definedName_ = &prop.Name;
        definedValue_ = &prop.Value;
        definedFound_ = false;
        try {
            instance.DefineProperties(*this);
        } catch (...) {
            definedName_ = nullptr;
            definedValue_ = nullptr;
            throw;
        }
        definedName_ = nullptr;
        definedValue_ = nullptr;
        if (!definedFound_) Error(path + "." + prop.Name, "Property " + prop.Name + " does not exist");
    } catch (const EReadError& e) {
        if (std::string(e.what()).rfind("Error reading ", 0) == 0) throw;
        Error(path + "." + prop.Name, e.what());
    } catch (const Exception& e) {
        // A setter refusing the value.
        Error(path + "." + prop.Name, e.what());
    }
}

void TReader::ApplyValue(TPersistent& instance, const TPropInfo& info, const std::string&, const TFormValue& v,
                         const std::string& path) {
    switch (info.Kind) {
        case TPropKind::Integer:
        case TPropKind::Color:
            if (v.IsInteger()) {
                info.SetOrd(instance, v.Int);
                return;
            }
            if (v.Type == TValueType::vaIdent && info.IdentMap) {
                for (const auto& [name, value] : *info.IdentMap)
                    if (SameText(name, v.Bytes)) {
                        info.SetOrd(instance, value);
                        return;
                    }
            }
            break;
        case TPropKind::Boolean:
            if (v.Type == TValueType::vaTrue || v.Type == TValueType::vaFalse) {
                info.SetOrd(instance, v.Type == TValueType::vaTrue ? 1 : 0);
                return;
            }
            break;
        case TPropKind::Enumeration:
            if (v.Type == TValueType::vaIdent) {
                const int index = FindIdent(*info.Idents, v.Bytes);
                if (index >= 0) {
                    info.SetOrd(instance, index);
                    return;
                }
            }
            break;
        case TPropKind::Set:
            if (v.Type == TValueType::vaSet) {
                uint64_t bits = 0;
                for (const std::string& m : v.Set) {
                    const int index = FindIdent(*info.Idents, m);
                    if (index < 0 || index >= 64) Error(path, "Invalid set member '" + m + "'");
                    bits |= uint64_t{1} << index;
                }
                info.SetOrd(instance, static_cast<int64_t>(bits));
                return;
            }
            break;
        case TPropKind::String:
            if (v.IsString()) {
                const bool narrow = v.Type == TValueType::vaString || v.Type == TValueType::vaLString;
                info.SetStr(instance, narrow ? v.Bytes : WideToLatin1(v.AsWide()));
                return;
            }
            break;
        case TPropKind::WideString:
            if (v.IsString()) {
                info.SetWStr(instance, v.AsWide());
                return;
            }
            break;
        case TPropKind::Component:
            if (v.Type == TValueType::vaNil) {
                info.SetRef(instance, nullptr);
                return;
            }
            if (v.Type == TValueType::vaIdent) {
                fixups_.push_back({&instance, &info, v.Bytes, path});
                return;
            }
            break;
        case TPropKind::Event:
            if (v.Type == TValueType::vaNil) {
                info.ClearEvent(instance);
                return;
            }
            if (v.Type == TValueType::vaIdent) {
                const std::any* method = root_->MethodAddress(v.Bytes);
                if (!method) Error(path, "Method '" + v.Bytes + "' not found");
                if (!info.SetEvent(instance, *method, v.Bytes))
                    Error(path, "Method '" + v.Bytes + "' does not fit event " + info.Name);
                return;
            }
            break;
        case TPropKind::Collection:
            if (v.Type == TValueType::vaCollection) {
                auto* coll = dynamic_cast<TCollection*>(info.GetObj(instance));
                if (!coll) Error(path, "Property " + info.Name + " holds no collection");
                ReadCollection(*coll, v, path);
                return;
            }
            break;
        case TPropKind::Persistent:
            break;
    }
    Error(path, kInvalidValue);
}

void TReader::ReadCollection(TCollection& collection, const TFormValue& v, const std::string& path) {
    collection.BeginUpdate();
    try {
        collection.Clear();
        for (size_t i = 0; i < v.Items.size(); ++i) {
            TCollectionItem* item = collection.Add();
            ReadProperties(*item, v.Items[i].Properties, path + "[" + std::to_string(i) + "]");
        }
    } catch (...) {
        collection.EndUpdate();
        throw;
    }
    collection.EndUpdate();
}

TComponent* TReader::ResolveReference(const std::string& name) const {
    if (SameText(name, root_->GetName())) return root_;
    const auto dot = name.find('.');
    if (dot == std::string::npos) return root_->FindComponent(name);
    if (SameText(name.substr(0, dot), root_->GetName())) return root_->FindComponent(name.substr(dot + 1));
    return nullptr;
}

const TFormValue& TReader::ReadValue() {
    if (!definedValue_) throw EReadError("No property value to read");
    return *definedValue_;
}

int64_t TReader::ReadInteger() {
    const TFormValue& v = ReadValue();
    if (!v.IsInteger()) throw EReadError(kInvalidValue);
    return v.Int;
}

bool TReader::ReadBoolean() {
    const TFormValue& v = ReadValue();
    if (v.Type != TValueType::vaTrue && v.Type != TValueType::vaFalse) throw EReadError(kInvalidValue);
    return v.Type == TValueType::vaTrue;
}

std::string TReader::ReadString() {
    const TFormValue& v = ReadValue();
    if (!v.IsString()) throw EReadError(kInvalidValue);
    return v.Type == TValueType::vaString || v.Type == TValueType::vaLString ? v.Bytes : WideToLatin1(v.AsWide());
}

WideString TReader::ReadWideString() {
    const TFormValue& v = ReadValue();
    if (!v.IsString()) throw EReadError(kInvalidValue);
    return v.AsWide();
}

std::string TReader::ReadIdent() {
    const TFormValue& v = ReadValue();
    if (v.Type != TValueType::vaIdent) throw EReadError(kInvalidValue);
    return v.Bytes;
}

void TReader::DefineProperty(const std::string& name, TReaderProc readData, TWriterProc, bool) {
    if (!definedName_ || definedFound_ || !SameText(name, *definedName_)) return;
    definedFound_ = true;
    if (readData) readData(*this);
}

void TReader::DefineBinaryProperty(const std::string& name, TStreamProc readData, TStreamProc, bool) {
    if (!definedName_ || definedFound_ || !SameText(name, *definedName_)) return;
    definedFound_ = true;
    if (definedValue_->Type != TValueType::vaBinary) throw EReadError(kInvalidValue);
    // The value belongs to the tree this reader parsed and is read once, so its bytes move into
    // the stream the class reads (a stored movie can be most of the form).
    TMemoryStream data;
    data.Adopt(std::move(const_cast<std::string&>(definedValue_->Bytes)));
    if (readData) readData(data);
}

TComponent* ReadComponent(std::string_view form, TComponent* root, TComponent* owner) {
    return TReader().ReadRootComponent(form, root, owner);
}

TComponent* ReadComponent(TStream& stream, TComponent* root, TComponent* owner) {
    return TReader().ReadRootComponent(stream, root, owner);
}

}  // namespace vd
