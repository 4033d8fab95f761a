// Persistent objects, components, collections and their published properties.
//
// Each class declares its published properties once, in the order a form file stores
// them; the declaration gives the reader and writer (vd_filer.h) everything they need:
//
//   class TMyComp : public TComponent {
//       VD_CLASS(TMyComp, TComponent)
//   public:
//       explicit TMyComp(TComponent* owner) : TComponent(owner) {}
//       ...
//   };
//   VD_DEFINE_CLASS(TMyComp,
//       IntProp("Volume", &T::GetVolume, &T::SetVolume),              // always stored
//       BoolProp("Transparent", &T::GetTransparent, &T::SetTransparent, true),
//       EnumProp("Plugin", &T::GetPlugin, &T::SetPlugin, PluginIdents, vdDefault),
//       EventProp("OnFSCommand", &T::GetOnFSCommand, &T::SetOnFSCommand))
//
// Platform-free.
#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "vd_system.h"

namespace vd {

class TPersistent;
class TComponent;
class TCollection;
class TCollectionItem;
class TFiler;
struct TClassInfo;

// ---------------------------------------------------------------------------------------
// Sets of enumeration values (the framework's "set of" types), stored as a bit mask.
template <class E> class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> members) {
        for (E m : members) bits_ |= Bit(m);
    }
    static constexpr TSet FromBits(uint64_t bits) {
        TSet s;
        s.bits_ = bits;
        return s;
    }
    constexpr uint64_t Bits() const { return bits_; }
    constexpr bool Contains(E m) const { return (bits_ & Bit(m)) != 0; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr TSet& Include(E m) {
        bits_ |= Bit(m);
        return *this;
    }
    constexpr TSet& Exclude(E m) {
        bits_ &= ~Bit(m);
        return *this;
    }
    friend constexpr bool operator==(TSet a, TSet b) { return a.bits_ == b.bits_; }
    friend constexpr TSet operator|(TSet a, TSet b) { return FromBits(a.bits_ | b.bits_); }
    friend constexpr TSet operator&(TSet a, TSet b) { return FromBits(a.bits_ & b.bits_); }
    friend constexpr TSet operator-(TSet a, TSet b) { return FromBits(a.bits_ & ~b.bits_); }

private:
    static constexpr uint64_t Bit(E m) { return uint64_t{1} << static_cast<unsigned>(m); }
    uint64_t bits_ = 0;
};

template <class T> struct IsTSet : std::false_type {};
template <class E> struct IsTSet<TSet<E>> : std::true_type {};

// Identifiers of an enumeration, in ordinal order.
using TIdents = std::vector<std::string>;
// Named integer values (colours, cursors): written as the name when one matches.
using TIdentMap = std::vector<std::pair<std::string, int64_t>>;

// Colours: 0x00BBGGRR, or a system colour 0x800000nn / 0xFF0000nn (the framework's).
using TColor = int32_t;
const TIdentMap& ColorIdents();

// ---------------------------------------------------------------------------------------
// Published property descriptions.

enum class TPropKind {
    Integer,
    Boolean,
    Enumeration,
    Set,
    Color,
    String,      // 8-bit
    WideString,  // UTF-16
    Component,   // a reference to a component, stored by name
    Event,       // a handler, stored as the name of a method of the root component
    Collection,
    Persistent,  // an owned object whose properties are stored as "Prop.Sub"
};

struct TPropInfo {
    std::string Name;
    TPropKind Kind = TPropKind::Integer;
    const TIdents* Idents = nullptr;      // enumeration and set members
    const TIdentMap* IdentMap = nullptr;  // named integer values (colours, cursors)
    std::optional<int64_t> Default;       // ordinal default; none = always stored
    bool AlwaysStored = false;            // strings, collections: stored even when empty
    // Component references: the class required (a function, since a class may refer to
    // its own kind while its description is still being built).
    const TClassInfo& (*RefClass)() = nullptr;

    std::function<int64_t(TPersistent&)> GetOrd;
    std::function<void(TPersistent&, int64_t)> SetOrd;  // raises EReadError when out of range
    std::function<std::string(TPersistent&)> GetStr;
    std::function<void(TPersistent&, const std::string&)> SetStr;
    std::function<WideString(TPersistent&)> GetWStr;
    std::function<void(TPersistent&, const WideString&)> SetWStr;
    std::function<TPersistent*(TPersistent&)> GetObj;  // references, collections, persistents
    std::function<void(TPersistent&, TComponent*)> SetRef;
    std::function<bool(TPersistent&)> EventAssigned;
    std::function<std::string(TPersistent&)> EventName;  // "" when not a named method
    // Sets the handler from a method of the root's method table; false on a type mismatch.
    std::function<bool(TPersistent&, const std::any&, const std::string&)> SetEvent;
    std::function<void(TPersistent&)> ClearEvent;
    std::function<bool(TPersistent&)> StoredFn;  // extra condition for being stored

    // Fluent modifiers for the declarations.
    TPropInfo&& Always() && {
        AlwaysStored = true;
        return std::move(*this);
    }
    template <class F> TPropInfo&& StoredBy(F isStored) && {
        StoredFn = [isStored](TPersistent& o) {
            return std::invoke(isStored, static_cast<typename MemberClassOf<F>::type&>(o));
        };
        return std::move(*this);
    }

    template <class M> struct MemberClassOf;
    template <class R, class C> struct MemberClassOf<R C::*> { using type = C; };
};

struct TClassInfo {
    std::string Name;
    const TClassInfo* Parent = nullptr;
    std::vector<TPropInfo> Props;                                    // this class's own, in declared order
    std::function<TComponent*(TComponent* owner)> CreateComponent;   // component classes
    std::function<TCollectionItem*(TCollection* owner)> CreateItem;  // collection item classes

    bool InheritsFrom(const TClassInfo& other) const;
    // Inherited properties first, then this class's own.
    std::vector<const TPropInfo*> AllProperties() const;
    const TPropInfo* FindProperty(const std::string& name) const;  // case-insensitive
};

// The class registry consulted when a form is read.
void RegisterClass(const TClassInfo& info);
const TClassInfo* FindClass(const std::string& name);  // case-insensitive
// Which start-up registers a class, for the error a form naming it raises while it is not
// registered: a unit that registers classes only when it starts names them here for the units
// that were not started. Later entries for the same class replace earlier ones.
void RegisterClassStartup(const std::string& className, const std::string& startup);
// "Class <name> not found", followed by the start-up that registers it when one is known.
std::string ClassNotFoundMessage(const std::string& className);

namespace detail {

template <class M> struct Member;
template <class R, class C> struct Member<R C::*> { using Class = C; };

template <class G, class O> decltype(auto) Get(G get, O& obj) { return std::invoke(get, obj); }

// The object a property's accessor belongs to. Accessors may be declared by a base class that
// is not persistent itself (a mix-in several component classes share): that one is reached
// by a cross-cast from the object's persistent part.
template <class C> C& As(TPersistent& o) {
    if constexpr (std::is_base_of_v<TPersistent, C>) return static_cast<C&>(o);
    else return dynamic_cast<C&>(o);
}

// Setters are member functions taking the value, or data members assigned directly.
template <class S, class O, class V> void Set(S set, O& obj, V&& value) {
    if constexpr (std::is_member_object_pointer_v<S>) obj.*set = std::forward<V>(value);
    else std::invoke(set, obj, std::forward<V>(value));
}

template <class G, class C> using ValueOf = std::remove_cvref_t<std::invoke_result_t<G, C&>>;

template <class V> int64_t ToOrd(const V& v) {
    if constexpr (IsTSet<V>::value) return static_cast<int64_t>(v.Bits());
    else return static_cast<int64_t>(v);
}

template <class V> V FromOrd(int64_t v, const std::string& propName) {
    if constexpr (IsTSet<V>::value) {
        return V::FromBits(static_cast<uint64_t>(v));
    } else if constexpr (std::is_same_v<V, bool>) {
        return v != 0;
    } else {
        using U = std::conditional_t<std::is_enum_v<V>, std::underlying_type<V>, std::type_identity<V>>;
        using I = typename U::type;
        if (v < static_cast<int64_t>(std::numeric_limits<I>::min()) ||
            (v > 0 && static_cast<uint64_t>(v) > static_cast<uint64_t>(std::numeric_limits<I>::max())))
            throw EReadError("Value " + std::to_string(v) + " out of range for property " + propName);
        return static_cast<V>(static_cast<I>(v));
    }
}

TPropInfo OrdinalProp(std::string name, TPropKind kind, std::optional<int64_t> def);

template <class G, class S>
TPropInfo Ordinal(std::string name, TPropKind kind, G get, S set, std::optional<int64_t> def) {
    using C = typename Member<G>::Class;
    using V = ValueOf<G, C>;
    TPropInfo p = OrdinalProp(name, kind, def);
    p.GetOrd = [get](TPersistent& o) { return ToOrd(Get(get, As<C>(o))); };
    p.SetOrd = [set, name](TPersistent& o, int64_t v) {
        using SC = typename Member<S>::Class;
        Set(set, As<SC>(o), FromOrd<V>(v, name));
    };
    return p;
}

// An event handler bound to a named method of the root component; the name is what a
// form file stores, recovered from the std::function through target().
template <class F> struct TNamedMethod {
    std::string Name;
    F Code;
    template <class... A> decltype(auto) operator()(A&&... args) const { return Code(std::forward<A>(args)...); }
};

}  // namespace detail

// Property declarations: getter and setter are member function pointers (or a data member
// pointer for both). `def` is the default value; an ordinal property without one is
// always stored.
template <class G, class S> TPropInfo IntProp(std::string name, G get, S set, std::optional<int64_t> def = std::nullopt,
                                              const TIdentMap* idents = nullptr) {
    TPropInfo p = detail::Ordinal(std::move(name), TPropKind::Integer, get, set, def);
    p.IdentMap = idents;
    return p;
}

template <class G, class S> TPropInfo BoolProp(std::string name, G get, S set, std::optional<bool> def = std::nullopt) {
    return detail::Ordinal(std::move(name), TPropKind::Boolean, get, set,
                           def ? std::optional<int64_t>(*def ? 1 : 0) : std::nullopt);
}

template <class G, class S, class E = detail::ValueOf<G, typename detail::Member<G>::Class>>
TPropInfo EnumProp(std::string name, G get, S set, const TIdents& idents,
                   std::optional<std::type_identity_t<E>> def = std::nullopt) {
    TPropInfo p = detail::Ordinal(std::move(name), TPropKind::Enumeration, get, set,
                                  def ? std::optional<int64_t>(static_cast<int64_t>(*def)) : std::nullopt);
    p.Idents = &idents;
    return p;
}

template <class G, class S, class V = detail::ValueOf<G, typename detail::Member<G>::Class>>
TPropInfo SetProp(std::string name, G get, S set, const TIdents& idents,
                  std::optional<std::type_identity_t<V>> def = std::nullopt) {
    TPropInfo p = detail::Ordinal(std::move(name), TPropKind::Set, get, set,
                                  def ? std::optional<int64_t>(detail::ToOrd(*def)) : std::nullopt);
    p.Idents = &idents;
    return p;
}

template <class G, class S>
TPropInfo ColorProp(std::string name, G get, S set, std::optional<TColor> def = std::nullopt) {
    TPropInfo p =
        detail::Ordinal(std::move(name), TPropKind::Color, get, set, def ? std::optional<int64_t>(*def) : std::nullopt);
    p.IdentMap = &ColorIdents();
    return p;
}

// Strings are stored when not empty; add .Always() to store them regardless.
template <class G, class S> TPropInfo StrProp(std::string name, G get, S set) {
    using C = typename detail::Member<G>::Class;
    using SC = typename detail::Member<S>::Class;
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = TPropKind::String;
    p.GetStr = [get](TPersistent& o) { return std::string(detail::Get(get, detail::As<C>(o))); };
    p.SetStr = [set](TPersistent& o, const std::string& v) { detail::Set(set, detail::As<SC>(o), v); };
    return p;
}

template <class G, class S> TPropInfo WStrProp(std::string name, G get, S set) {
    using C = typename detail::Member<G>::Class;
    using SC = typename detail::Member<S>::Class;
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = TPropKind::WideString;
    p.GetWStr = [get](TPersistent& o) { return WideString(detail::Get(get, detail::As<C>(o))); };
    p.SetWStr = [set](TPersistent& o, const WideString& v) { detail::Set(set, detail::As<SC>(o), v); };
    return p;
}

// A reference to another component; the setter receives nullptr or an object of the
// getter's pointee class (checked when the form is read).
template <class G, class S> TPropInfo CompProp(std::string name, G get, S set) {
    using C = typename detail::Member<G>::Class;
    using SC = typename detail::Member<S>::Class;
    using P = std::remove_pointer_t<detail::ValueOf<G, C>>;
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = TPropKind::Component;
    p.RefClass = &P::StaticClassInfo;
    p.GetObj = [get](TPersistent& o) -> TPersistent* { return detail::Get(get, detail::As<C>(o)); };
    p.SetRef = [set](TPersistent& o, TComponent* c) { detail::Set(set, detail::As<SC>(o), dynamic_cast<P*>(c)); };
    return p;
}

template <class G, class S> TPropInfo EventProp(std::string name, G get, S set) {
    using C = typename detail::Member<G>::Class;
    using SC = typename detail::Member<S>::Class;
    using F = detail::ValueOf<G, C>;
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = TPropKind::Event;
    p.EventAssigned = [get](TPersistent& o) { return static_cast<bool>(detail::Get(get, detail::As<C>(o))); };
    p.EventName = [get](TPersistent& o) -> std::string {
        const F& f = detail::Get(get, detail::As<C>(o));
        const auto* named = f.template target<detail::TNamedMethod<F>>();
        return named ? named->Name : std::string();
    };
    p.SetEvent = [set](TPersistent& o, const std::any& method, const std::string& methodName) {
        const F* code = std::any_cast<F>(&method);
        if (!code) return false;
        detail::Set(set, detail::As<SC>(o), F(detail::TNamedMethod<F>{methodName, *code}));
        return true;
    };
    p.ClearEvent = [set](TPersistent& o) { detail::Set(set, detail::As<SC>(o), F()); };
    return p;
}

// An owned collection (stored when it has items, or always with .Always()).
template <class G> TPropInfo CollectionProp(std::string name, G get) {
    using C = typename detail::Member<G>::Class;
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = TPropKind::Collection;
    p.GetObj = [get](TPersistent& o) -> TPersistent* { return detail::Get(get, detail::As<C>(o)); };
    return p;
}

// An owned persistent object; its properties are stored as "Name.Sub".
template <class G> TPropInfo ObjectProp(std::string name, G get) {
    TPropInfo p = CollectionProp(std::move(name), get);
    p.Kind = TPropKind::Persistent;
    return p;
}

namespace detail {
template <class T> TClassInfo MakeClassInfo(const char* name, const TClassInfo* parent, std::vector<TPropInfo> props) {
    TClassInfo info;
    info.Name = name;
    info.Parent = parent;
    info.Props = std::move(props);
    if constexpr (!std::is_abstract_v<T> && std::is_constructible_v<T, TComponent*>)
        info.CreateComponent = [](TComponent* owner) -> TComponent* { return new T(owner); };
    if constexpr (!std::is_abstract_v<T> && std::is_constructible_v<T, TCollection*>)
        info.CreateItem = [](TCollection* owner) -> TCollectionItem* { return new T(owner); };
    return info;
}
}  // namespace detail

// In the class body.
#define VD_CLASS(Class, Parent)                                                      \
public:                                                                              \
    using inherited = Parent;                                                        \
    static const ::vd::TClassInfo& StaticClassInfo();                                \
    const ::vd::TClassInfo& ClassInfo() const override { return StaticClassInfo(); } \
                                                                                     \
private:

// In one source file; the arguments are the class's own published properties, in order.
// `T` names the class inside them.
#define VD_DEFINE_CLASS(Class, ...)                                                               \
    const ::vd::TClassInfo& Class::StaticClassInfo() {                                            \
        using T = Class;                                                                          \
        using namespace ::vd;                                                                     \
        static const ::vd::TClassInfo info = ::vd::detail::MakeClassInfo<T>(                      \
            #Class, &T::inherited::StaticClassInfo(), std::vector<::vd::TPropInfo>{__VA_ARGS__}); \
        return info;                                                                              \
    }

// ---------------------------------------------------------------------------------------

class TPersistent : public TObject {
public:
    static const TClassInfo& StaticClassInfo();
    virtual const TClassInfo& ClassInfo() const { return StaticClassInfo(); }
    std::string ClassName() const override;
    bool InheritsFrom(const TClassInfo& info) const { return ClassInfo().InheritsFrom(info); }

    // Copies the source's state into this object. The default asks the source to assign
    // itself (AssignTo); an assignment neither side can make raises EConvertError
    // "Cannot assign a X to a Y".
    virtual void Assign(TPersistent* source);
    // Properties that store their own bytes (binary data and the like).
    virtual void DefineProperties(TFiler& filer);
    virtual TPersistent* GetOwner() { return nullptr; }
    // "Form1.Button1.Font": the path the framework uses in error messages.
    virtual std::string GetNamePath();

protected:
    virtual void AssignTo(TPersistent* dest);
    [[noreturn]] void AssignError(TPersistent* source);
};

enum TComponentStateFlag {
    csLoading,
    csReading,
    csWriting,
    csDestroying,
    csDesigning,
    csAncestor,
    csUpdating,
    csFixups,
    csFreeNotification,
    csInline,
    csDesignInstance,
};
using TComponentState = TSet<TComponentStateFlag>;

enum TComponentStyleFlag { csInheritable, csCheckPropAvail, csSubComponent, csTransient };
using TComponentStyle = TSet<TComponentStyleFlag>;

enum class TOperation { opInsert, opRemove };

bool IsValidIdent(const std::string& name);

class TComponent : public TPersistent {
    VD_CLASS(TComponent, TPersistent)
public:
    explicit TComponent(TComponent* owner);
    // Frees the owned components, last created first, after telling everyone that
    // asked to be told that this component is going away.
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* GetOwner() override { return owner_; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* GetComponent(int index) const;
    int GetComponentIndex() const;
    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);
    // Frees the owned components now (last created first). Derived destructors call it when
    // their owned components must go while the derived part is still intact.
    void DestroyComponents();
    TComponent* FindComponent(const std::string& name) const;  // case-insensitive

    const std::string& GetName() const { return name_; }
    // A valid identifier, unique (without regard to case) among the owner's components.
    virtual void SetName(const std::string& name);
    int64_t GetTag() const { return tag_; }
    void SetTag(int64_t tag) { tag_ = tag; }

    TComponentState ComponentState() const { return state_; }
    TComponentStyle ComponentStyle() const { return style_; }
    void SetComponentStyle(TComponentStyle style) { style_ = style; }
    // Puts this component, and with setChildren its owned components, in the designing state.
    void SetDesigning(bool value, bool setChildren = true);

    // Called once every component of a form has been read and references resolved.
    virtual void Loaded();
    // Told when a component is inserted into or removed from this owner, and when a
    // component this one asked about through FreeNotification is freed.
    virtual void Notification(TComponent* component, TOperation operation);
    void FreeNotification(TComponent* component);
    void RemoveFreeNotification(TComponent* component);

    // Form structure: which components are stored as children of this one.
    virtual void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root);
    virtual bool HasParent() const { return false; }
    virtual TComponent* GetParentComponent() const { return nullptr; }
    virtual void SetParentComponent(TComponent* /*parent*/) {}
    std::string GetNamePath() override { return name_; }

    // The method table of a root component: event properties are stored as the names of
    // these methods. F is the event's std::function type.
    template <class F> void PublishMethod(const std::string& name, F handler) {
        methods_[name] = std::any(std::move(handler));
    }
    const std::any* MethodAddress(const std::string& name) const;
    bool MethodExists(const std::string& name) const { return MethodAddress(name) != nullptr; }

    // Used by the form reader.
    void SetLoadingState(bool reading);
    void ClearReadingState();
    void EndLoading();  // after a failed read: neither loading nor reading

private:
    struct CaseLess {
        bool operator()(const std::string& a, const std::string& b) const;
    };

    TComponent* owner_ = nullptr;
    std::string name_;
    int64_t tag_ = 0;
    std::vector<TComponent*> components_;
    std::vector<TComponent*> freeNotifies_;
    TComponentState state_;
    TComponentStyle style_{csInheritable};
    std::map<std::string, std::any, CaseLess> methods_;
};

class TCollectionItem : public TPersistent {
    VD_CLASS(TCollectionItem, TPersistent)
public:
    explicit TCollectionItem(TCollection* collection);
    ~TCollectionItem() override;
    TCollectionItem(const TCollectionItem&) = delete;
    TCollectionItem& operator=(const TCollectionItem&) = delete;

    TCollection* GetCollection() const { return collection_; }
    void SetCollection(TCollection* collection);
    int GetIndex() const;
    void SetIndex(int index);
    int GetID() const { return id_; }
    // The label editors show for the item; the class name unless overridden.
    virtual std::string GetDisplayName();
    TPersistent* GetOwner() override;
    std::string GetNamePath() override;

private:
    friend class TCollection;
    TCollection* collection_ = nullptr;
    int id_ = 0;
};

class TCollection : public TPersistent {
    VD_CLASS(TCollection, TPersistent)
public:
    // itemClass must be TCollectionItem or a class derived from it, constructible from
    // the collection.
    explicit TCollection(const TClassInfo& itemClass, TPersistent* owner = nullptr);
    ~TCollection() override;
    TCollection(const TCollection&) = delete;
    TCollection& operator=(const TCollection&) = delete;

    TCollectionItem* Add();
    TCollectionItem* Insert(int index);
    void Delete(int index);
    void Clear();
    int Count() const { return static_cast<int>(items_.size()); }
    TCollectionItem* GetItem(int index) const;
    // Copies the value's state into the item at index (the framework's item assignment).
    void SetItem(int index, TCollectionItem* value);
    TCollectionItem* FindItemID(int id) const;
    const TClassInfo& ItemClass() const { return itemClass_; }
    TPersistent* GetOwner() override { return owner_; }
    std::string GetNamePath() override;

    // From another collection: clears this one, then adds one item per source item and
    // copies it through the item's own Assign.
    void Assign(TPersistent* source) override;

    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

protected:
    // Told after items change (added, removed, reordered); nullptr means the whole list.
    virtual void Update(TCollectionItem* item);
    virtual void Changed();

private:
    friend class TCollectionItem;
    void InsertItem(TCollectionItem* item, int index);
    void RemoveItem(TCollectionItem* item);

    const TClassInfo& itemClass_;
    TPersistent* owner_;
    std::vector<TCollectionItem*> items_;
    int nextId_ = 0;
    int updateCount_ = 0;
};

}  // namespace vd
