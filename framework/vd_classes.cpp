#include "vd_classes.h"

#include <algorithm>
#include <cctype>

#include "vd_filer.h"

namespace vd {

namespace {

std::vector<const TClassInfo*>& Registry() {
    static std::vector<const TClassInfo*> classes;
    return classes;
}

}  // namespace

const TIdentMap& ColorIdents() {
    static const TIdentMap map = {
        {"clBlack", 0x000000},
        {"clMaroon", 0x000080},
        {"clGreen", 0x008000},
        {"clOlive", 0x008080},
        {"clNavy", 0x800000},
        {"clPurple", 0x800080},
        {"clTeal", 0x808000},
        {"clGray", 0x808080},
        {"clSilver", 0xC0C0C0},
        {"clRed", 0x0000FF},
        {"clLime", 0x00FF00},
        {"clYellow", 0x00FFFF},
        {"clBlue", 0xFF0000},
        {"clFuchsia", 0xFF00FF},
        {"clAqua", 0xFFFF00},
        {"clWhite", 0xFFFFFF},
        {"clMoneyGreen", 0xC0DCC0},
        {"clSkyBlue", 0xF0CAA6},
        {"clCream", 0xF0FBFF},
        {"clMedGray", 0xA4A0A0},
        {"clNone", 0x1FFFFFFF},
        {"clDefault", 0x20000000},
        // System colours: 0xFF000000 | the system colour index.
        {"clScrollBar", -16777216 + 0},
        {"clBackground", -16777216 + 1},
        {"clActiveCaption", -16777216 + 2},
        {"clInactiveCaption", -16777216 + 3},
        {"clMenu", -16777216 + 4},
        {"clWindow", -16777216 + 5},
        {"clWindowFrame", -16777216 + 6},
        {"clMenuText", -16777216 + 7},
        {"clWindowText", -16777216 + 8},
        {"clCaptionText", -16777216 + 9},
        {"clActiveBorder", -16777216 + 10},
        {"clInactiveBorder", -16777216 + 11},
        {"clAppWorkSpace", -16777216 + 12},
        {"clHighlight", -16777216 + 13},
        {"clHighlightText", -16777216 + 14},
        {"clBtnFace", -16777216 + 15},
        {"clBtnShadow", -16777216 + 16},
        {"clGrayText", -16777216 + 17},
        {"clBtnText", -16777216 + 18},
        {"clInactiveCaptionText", -16777216 + 19},
        {"clBtnHighlight", -16777216 + 20},
        {"cl3DDkShadow", -16777216 + 21},
        {"cl3DLight", -16777216 + 22},
        {"clInfoText", -16777216 + 23},
        {"clInfoBk", -16777216 + 24},
        {"clHotLight", -16777216 + 26},
        {"clGradientActiveCaption", -16777216 + 27},
        {"clGradientInactiveCaption", -16777216 + 28},
        {"clMenuHighlight", -16777216 + 29},
        {"clMenuBar", -16777216 + 30},
    };
    return map;
}

// ---------------------------------------------------------------------------------------

bool TClassInfo::InheritsFrom(const TClassInfo& other) const {
    for (const TClassInfo* c = this; c; c = c->Parent)
        if (c == &other) return true;
    return false;
}

std::vector<const TPropInfo*> TClassInfo::AllProperties() const {
    std::vector<const TPropInfo*> all = Parent ? Parent->AllProperties() : std::vector<const TPropInfo*>{};
    for (const auto& p : Props) all.push_back(&p);
    return all;
}

const TPropInfo* TClassInfo::FindProperty(const std::string& name) const {
    for (const TClassInfo* c = this; c; c = c->Parent)
        for (const auto& p : c->Props)
            if (SameText(p.Name, name)) return &p;
    return nullptr;
}

void RegisterClass(const TClassInfo& info) {
    auto& reg = Registry();
    if (std::find(reg.begin(), reg.end(), &info) == reg.end()) reg.push_back(&info);
}

const TClassInfo* FindClass(const std::string& name) {
    for (const TClassInfo* c : Registry())
        if (SameText(c->Name, name)) return c;
    return nullptr;
}

namespace {
std::vector<std::pair<std::string, std::string>>& ClassStartups() {
    static std::vector<std::pair<std::string, std::string>> startups;
    return startups;
}
}  // namespace

void RegisterClassStartup(const std::string& className, const std::string& startup) {
    for (auto& [name, known] : ClassStartups())
        if (SameText(name, className)) {
            known = startup;
            return;
        }
    ClassStartups().emplace_back(className, startup);
}

std::string ClassNotFoundMessage(const std::string& className) {
    std::string message = "Class " + className + " not found";
    for (const auto& [name, startup] : ClassStartups())
        if (SameText(name, className)) return message + ": " + startup + " registers it";
    return message;
}

TPropInfo detail::OrdinalProp(std::string name, TPropKind kind, std::optional<int64_t> def) {
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = kind;
    p.Default = def;
    return p;
}

// ---------------------------------------------------------------------------------------

const TClassInfo& TPersistent::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i;
        i.Name = "TPersistent";
        return i;
    }();
    return info;
}

std::string TPersistent::ClassName() const { return ClassInfo().Name; }

void TPersistent::Assign(TPersistent* source) {
    if (source) source->AssignTo(this);
    else AssignError(nullptr);
}

void TPersistent::AssignTo(TPersistent* dest) { dest->AssignError(this); }

void TPersistent::AssignError(TPersistent* source) {
    throw EConvertError("Cannot assign a " + (source ? source->ClassName() : std::string("nil")) + " to a " +
                        ClassName());
}

void TPersistent::DefineProperties(TFiler&) {}

std::string TPersistent::GetNamePath() {
    TPersistent* owner = GetOwner();
    std::string path = owner ? owner->GetNamePath() : std::string();
    return path.empty() ? ClassName() : path;
}

// ---------------------------------------------------------------------------------------

VD_DEFINE_CLASS(TComponent, IntProp("Tag", &T::GetTag, &T::SetTag, 0))

bool IsValidIdent(const std::string& name) {
    if (name.empty()) return false;
    const auto first = static_cast<unsigned char>(name[0]);
    if (!(std::isalpha(first) || first == '_') || first >= 0x80) return false;
    return std::all_of(name.begin(), name.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return c < 0x80 && (std::isalnum(c) || c == '_');
    });
}

bool TComponent::CaseLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

TComponent::TComponent(TComponent* owner) {
    if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
    state_.Include(csDestroying);
    // Those who hold a reference to this component drop it now.
    while (!freeNotifies_.empty()) {
        TComponent* other = freeNotifies_.back();
        freeNotifies_.pop_back();
        auto& theirs = other->freeNotifies_;
        theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
        other->Notification(this, TOperation::opRemove);
    }
    DestroyComponents();
    if (owner_) owner_->RemoveComponent(this);
}

TComponent* TComponent::GetComponent(int index) const {
    if (index < 0 || index >= ComponentCount())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return components_[static_cast<size_t>(index)];
}

int TComponent::GetComponentIndex() const {
    if (!owner_) return -1;
    const auto& list = owner_->components_;
    return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

void TComponent::InsertComponent(TComponent* component) {
    if (!component) return;
    if (!component->name_.empty() && FindComponent(component->name_))
        throw EComponentError("A component named " + component->name_ + " already exists");
    if (component->owner_) component->owner_->RemoveComponent(component);
    components_.push_back(component);
    component->owner_ = this;
    Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
    auto it = std::find(components_.begin(), components_.end(), component);
    if (it == components_.end()) return;
    Notification(component, TOperation::opRemove);
    components_.erase(std::find(components_.begin(), components_.end(), component));
    component->owner_ = nullptr;
}

void TComponent::DestroyComponents() {
    while (!components_.empty()) {
        TComponent* last = components_.back();
        components_.pop_back();
        last->owner_ = nullptr;
        Notification(last, TOperation::opRemove);
        delete last;
    }
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    if (name.empty()) return nullptr;
    for (TComponent* c : components_)
        if (SameText(c->name_, name)) return c;
    return nullptr;
}

void TComponent::SetName(const std::string& name) {
    if (name == name_) return;
    if (!name.empty() && !IsValidIdent(name)) throw EComponentError("'" + name + "' is not a valid component name");
    if (owner_ && !name.empty()) {
        TComponent* other = owner_->FindComponent(name);
        if (other && other != this) throw EComponentError("A component named " + name + " already exists");
    }
    name_ = name;
}

void TComponent::SetDesigning(bool value, bool setChildren) {
    if (value) state_.Include(csDesigning);
    else state_.Exclude(csDesigning);
    if (setChildren)
        for (TComponent* c : components_) c->SetDesigning(value, true);
}

void TComponent::Loaded() { state_.Exclude(csLoading); }

void TComponent::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component) RemoveFreeNotification(component);
}

void TComponent::FreeNotification(TComponent* component) {
    if (!component || component == this) return;
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), component) == freeNotifies_.end())
        freeNotifies_.push_back(component);
    auto& theirs = component->freeNotifies_;
    if (std::find(theirs.begin(), theirs.end(), this) == theirs.end()) theirs.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
    if (!component) return;
    freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), component), freeNotifies_.end());
    auto& theirs = component->freeNotifies_;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
}

void TComponent::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
    // A root stores the components it owns that have no parent of their own; components
    // with a parent are stored under that parent.
    if (root != this) return;
    for (TComponent* c : components_)
        if (!c->HasParent()) proc(c);
}

const std::any* TComponent::MethodAddress(const std::string& name) const {
    auto it = methods_.find(name);
    return it == methods_.end() ? nullptr : &it->second;
}

void TComponent::SetLoadingState(bool reading) {
    state_.Include(csLoading);
    if (reading) state_.Include(csReading);
}

void TComponent::ClearReadingState() { state_.Exclude(csReading); }

void TComponent::EndLoading() { state_.Exclude(csLoading).Exclude(csReading); }

// ---------------------------------------------------------------------------------------

VD_DEFINE_CLASS(TCollectionItem)

TCollectionItem::TCollectionItem(TCollection* collection) { SetCollection(collection); }

TCollectionItem::~TCollectionItem() { SetCollection(nullptr); }

void TCollectionItem::SetCollection(TCollection* collection) {
    if (collection == collection_) return;
    if (collection_) collection_->RemoveItem(this);
    if (collection) collection->InsertItem(this, collection->Count());
}

int TCollectionItem::GetIndex() const {
    if (!collection_) return -1;
    const auto& items = collection_->items_;
    return static_cast<int>(std::find(items.begin(), items.end(), this) - items.begin());
}

void TCollectionItem::SetIndex(int index) {
    const int current = GetIndex();
    if (current < 0 || index == current) return;
    auto& items = collection_->items_;
    index = std::clamp(index, 0, static_cast<int>(items.size()) - 1);
    items.erase(items.begin() + current);
    items.insert(items.begin() + index, this);
    collection_->Update(nullptr);
}

std::string TCollectionItem::GetDisplayName() { return ClassName(); }

TPersistent* TCollectionItem::GetOwner() { return collection_; }

std::string TCollectionItem::GetNamePath() {
    if (!collection_) return ClassName();
    return collection_->GetNamePath() + "[" + std::to_string(GetIndex()) + "]";
}

VD_DEFINE_CLASS(TCollection)

TCollection::TCollection(const TClassInfo& itemClass, TPersistent* owner) : itemClass_(itemClass), owner_(owner) {
    if (!itemClass.InheritsFrom(TCollectionItem::StaticClassInfo()) || !itemClass.CreateItem)
        throw EConvertError("Class " + itemClass.Name + " cannot be the item class of a collection");
}

TCollection::~TCollection() {
    updateCount_ = 1;  // no change notifications while tearing down
    Clear();
}

TCollectionItem* TCollection::Add() { return itemClass_.CreateItem(this); }

TCollectionItem* TCollection::Insert(int index) {
    TCollectionItem* item = Add();
    item->SetIndex(index);
    return item;
}

void TCollection::Delete(int index) { delete GetItem(index); }

void TCollection::Clear() {
    if (items_.empty()) return;
    BeginUpdate();
    while (!items_.empty()) delete items_.back();
    EndUpdate();
}

TCollectionItem* TCollection::GetItem(int index) const {
    if (index < 0 || index >= Count()) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return items_[static_cast<size_t>(index)];
}

void TCollection::SetItem(int index, TCollectionItem* value) { GetItem(index)->Assign(value); }

TCollectionItem* TCollection::FindItemID(int id) const {
    for (TCollectionItem* item : items_)
        if (item->id_ == id) return item;
    return nullptr;
}

std::string TCollection::GetNamePath() {
    if (!owner_) return ClassName();
    const std::string ownerPath = owner_->GetNamePath();
    // The property under which the owner publishes this collection.
    for (const TPropInfo* p : owner_->ClassInfo().AllProperties())
        if (p->Kind == TPropKind::Collection && p->GetObj(*owner_) == this) return ownerPath + "." + p->Name;
    return ownerPath;
}

void TCollection::Assign(TPersistent* source) {
    auto* other = dynamic_cast<TCollection*>(source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    if (other == this) return;
    // All or nothing: the old items stay until every new one has been copied.
    BeginUpdate();
    std::vector<TCollectionItem*> old;
    old.swap(items_);
    try {
        for (TCollectionItem* item : other->items_) Add()->Assign(item);
    } catch (...) {
        while (!items_.empty()) delete items_.back();
        items_.swap(old);
        EndUpdate();
        throw;
    }
    for (auto it = old.rbegin(); it != old.rend(); ++it) {
        (*it)->collection_ = nullptr;  // already out of the list
        delete *it;
    }
    EndUpdate();
}

void TCollection::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0) Changed();
}

void TCollection::Update(TCollectionItem*) {}

void TCollection::Changed() {
    if (updateCount_ == 0) Update(nullptr);
}

void TCollection::InsertItem(TCollectionItem* item, int index) {
    items_.insert(items_.begin() + index, item);
    item->collection_ = this;
    item->id_ = nextId_++;
    Changed();
}

void TCollection::RemoveItem(TCollectionItem* item) {
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it == items_.end()) return;
    items_.erase(it);
    item->collection_ = nullptr;
    Changed();
}

}  // namespace vd
