#include "vd_flashstore.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "vd_movienames.h"

namespace vd {

TvdFlashIndex* FlashList = nullptr;

// ---------------------------------------------------------------------------------------
// TvdFlashIndex

namespace {

// FoldCase with the common case, ASCII, decided here instead of by a call per character.
inline char16_t Fold(char16_t c) {
    if (c < 0x80) return static_cast<char16_t>(static_cast<unsigned>(c - u'A') < 26u ? c + 32 : c);
    return FoldCase(c);
}

// Four folded code units as one 64-bit word (unit i in bits 16i..16i+15, missing units 0). All
// ASCII, the usual case, is folded in one step: 0x20 added to the lanes from 'A' to 'Z'.
inline uint64_t FoldedChunk(const char16_t* p, size_t n) {
    uint64_t w = 0;
    for (size_t i = 0; i < n; ++i) w |= uint64_t{p[i]} << (16 * i);
    if ((w & 0xFF80FF80FF80FF80ull) == 0) {
        const uint64_t atLeastA = (w + 0x003F003F003F003Full) & 0x0080008000800080ull;
        const uint64_t pastZ = (w + 0x0025002500250025ull) & 0x0080008000800080ull;
        return w | ((atLeastA & ~pastZ) >> 2);
    }
    uint64_t folded = 0;
    for (size_t i = 0; i < n; ++i) folded |= uint64_t{Fold(p[i])} << (16 * i);
    return folded;
}

}  // namespace

size_t TvdFlashIndex::FoldedHash::operator()(std::u16string_view s) const noexcept {
    // FNV-1a style over the folded text, four code units a step.
    uint64_t h = 1469598103934665603ull ^ s.size();
    for (size_t i = 0; i < s.size(); i += 4)
        h = (h ^ FoldedChunk(s.data() + i, std::min<size_t>(4, s.size() - i))) * 1099511628211ull;
    return static_cast<size_t>(h ^ (h >> 29));
}

bool TvdFlashIndex::FoldedEqual::operator()(std::u16string_view a, std::u16string_view b) const noexcept {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

uint64_t TvdFlashIndex::OrderOf(const TvdFlashStream* item) const {
    const auto it = order_.find(item);
    return it == order_.end() ? UINT64_MAX : it->second;
}

const std::vector<TvdFlashStream*>* TvdFlashIndex::FindAll(std::u16string_view name) const {
    const auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : &it->second;
}

TvdFlashStream* TvdFlashIndex::Find(std::u16string_view name) const {
    const std::vector<TvdFlashStream*>* items = FindAll(name);
    return items ? items->front() : nullptr;
}

int TvdFlashIndex::IndexOf(std::u16string_view name) const {
    const TvdFlashStream* item = Find(name);
    return item ? IndexOfItem(item) : -1;
}

int TvdFlashIndex::IndexOfItem(const TvdFlashStream* item) const {
    const uint64_t order = OrderOf(item);
    if (order == UINT64_MAX) return -1;
    const auto it = std::lower_bound(entries_.begin(), entries_.end(), order,
                                     [](const Entry& e, uint64_t o) { return e.Order < o; });
    return it != entries_.end() && it->Order == order ? static_cast<int>(it - entries_.begin()) : -1;
}

void TvdFlashIndex::Link(TvdFlashStream* item, const WideString& name, uint64_t order) {
    auto it = byName_.find(std::u16string_view(name));
    if (it == byName_.end()) it = byName_.emplace(WideLowerCase(name), std::vector<TvdFlashStream*>{}).first;
    std::vector<TvdFlashStream*>& items = it->second;
    // Kept in creation order, so the front is the entry a lookup finds first.
    const auto at = std::lower_bound(items.begin(), items.end(), order,
                                     [this](const TvdFlashStream* i, uint64_t o) { return OrderOf(i) < o; });
    items.insert(at, item);
}

void TvdFlashIndex::Unlink(TvdFlashStream* item, const WideString& name) {
    const auto it = byName_.find(std::u16string_view(name));
    if (it == byName_.end()) return;
    std::vector<TvdFlashStream*>& items = it->second;
    const auto at = std::find(items.begin(), items.end(), item);
    if (at != items.end()) items.erase(at);
    if (items.empty()) byName_.erase(it);
}

void TvdFlashIndex::Add(TvdFlashStream* item, const WideString& name) {
    const uint64_t order = nextOrder_++;
    entries_.push_back({name, item, order});
    order_.emplace(item, order);
    Link(item, name, order);
}

void TvdFlashIndex::Rename(TvdFlashStream* item, const WideString& name) {
    const int i = IndexOfItem(item);
    if (i < 0) return;
    Entry& entry = entries_[static_cast<size_t>(i)];
    Unlink(item, entry.Name);
    entry.Name = name;
    Link(item, name, entry.Order);
}

bool TvdFlashIndex::Remove(TvdFlashStream* item) {
    const int i = IndexOfItem(item);
    if (i < 0) return false;
    Unlink(item, entries_[static_cast<size_t>(i)].Name);
    entries_.erase(entries_.begin() + i);
    order_.erase(item);
    return true;
}

// ---------------------------------------------------------------------------------------
// TvdFlashStream

VD_DEFINE_CLASS(TvdFlashStream, WStrProp("FlashStore", &T::GetFlashStore, &T::SetFlashStore).Always())

TvdFlashStream::TvdFlashStream(TCollection* collection)
    : TCollectionItem(collection), data_(std::make_shared<TMemoryStream>()) {
    if (!FlashList) FlashList = new TvdFlashIndex;
    FlashList->Add(this, GetFlashStore());
}

TvdFlashStream::~TvdFlashStream() {
    if (FlashList) {
        FlashList->Remove(this);
        if (FlashList->entries_.empty()) {
            delete FlashList;
            FlashList = nullptr;
        }
    }
}

TMemoryStream& TvdFlashStream::Writable() {
    if (data_.use_count() > 1) data_ = std::make_shared<TMemoryStream>();
    return *data_;
}

WideString TvdFlashStream::GetFlashStore() const { return data_->GetSize() != 0 ? name_ : WideString(kEmptyFlashName); }

void TvdFlashStream::SetFlashStore(const WideString& value) {
    if (value == name_) return;
    Rename(value);
}

void TvdFlashStream::Rename(const WideString& value) {
    name_ = value;
    if (FlashList) FlashList->Rename(this, value);
}

void TvdFlashStream::Assign(TPersistent* source) {
    auto* other = dynamic_cast<TvdFlashStream*>(source);
    if (!other) {
        TCollectionItem::Assign(source);
        return;
    }
    if (other == this) return;
    // Copy first, so a failed copy leaves this item as it was.
    TMemoryStream copy;
    if (other->data_->GetSize() > 0) copy.WriteBuffer(other->data_->Memory(), other->data_->GetSize());
    copy.SetPosition(0);
    Writable().Swap(copy);  // the item's stream stays the same object: references to it stay valid
    Rename(other->name_);
}

void TvdFlashStream::DefineProperties(TFiler& filer) {
    TCollectionItem::DefineProperties(filer);
    filer.DefineBinaryProperty(
        kFlashStreamProperty, [this](TStream& s) { ReadData(s); }, [this](TStream& s) { WriteData(s); }, true);
}

std::string TvdFlashStream::GetDisplayName() { return WideToUtf8(GetFlashStore()); }

namespace {

TNarrowNameDecoder& NarrowNameDecoder() {
    static TNarrowNameDecoder decoder = &Latin1ToWide;
    return decoder;
}

constexpr uint8_t kKindEmpty = 0;
constexpr uint8_t kKindNarrowName = 2;
constexpr uint8_t kKindWideName = 4;

void PutInt32(TStream& s, int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    const uint8_t b[4] = {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
                          static_cast<uint8_t>(u >> 24)};
    s.WriteBuffer(b, 4);
}

[[noreturn]] void Damaged(const std::string& what) { throw EReadError("Damaged FlashStream data: " + what); }

// Reads from a stream whose remaining length is known, refusing any length beyond it before
// anything is allocated.
class Cursor {
public:
    explicit Cursor(TStream& s) : s_(s), left_(s.GetSize() - s.GetPosition()) {}

    int64_t Left() const { return left_; }

    void Bytes(void* buffer, int64_t count, const char* what) {
        if (count > left_) Damaged(std::string(what) + " runs past the end");
        s_.ReadBuffer(buffer, count);
        left_ -= count;
    }

    int32_t Int32(const char* what) {
        uint8_t b[4];
        Bytes(b, 4, what);
        return static_cast<int32_t>(uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24);
    }

    // A signed length of units of unitSize bytes that must fit in what remains.
    int64_t Length(int unitSize, const char* what) {
        const int32_t n = Int32(what);
        const int64_t bytes = int64_t{n} * unitSize;
        if (n < 0 || bytes > left_)
            Damaged(std::string(what) + " " + std::to_string(n) + " is out of range (" + std::to_string(left_) +
                    " bytes remain)");
        return bytes;
    }

private:
    TStream& s_;
    int64_t left_;
};

}  // namespace

void TvdFlashStream::WriteData(TStream& stream) const {
    const int64_t size = data_->GetSize();
    if (size <= 0) {
        const uint8_t kind = kKindEmpty;
        stream.WriteBuffer(&kind, 1);
        return;
    }
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    if (size > kMax || static_cast<int64_t>(name_.size()) > kMax)
        throw EWriteError("FlashStream: a stored movie of " + std::to_string(size) +
                          " bytes is larger than a form can hold");
    const uint8_t kind = kKindWideName;
    stream.WriteBuffer(&kind, 1);
    PutInt32(stream, static_cast<int32_t>(name_.size()));
    std::string bytes;
    bytes.reserve(name_.size() * 2);
    for (char16_t c : name_) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    PutInt32(stream, static_cast<int32_t>(size));
    stream.WriteBuffer(data_->Memory(), size);
}

void TvdFlashStream::ReadData(TStream& stream) {
    Cursor in(stream);
    uint8_t kind = 0;
    in.Bytes(&kind, 1, "kind byte");
    if (kind != kKindNarrowName && kind != kKindWideName) return;

    // Everything is read into locals first; the item changes only once all of it is good.
    WideString name;
    if (kind == kKindWideName) {
        const int64_t bytes = in.Length(2, "name length");
        std::string raw(static_cast<size_t>(bytes), '\0');
        in.Bytes(raw.data(), bytes, "name");
        name.resize(raw.size() / 2);
        for (size_t i = 0; i < name.size(); ++i)
            name[i] =
                static_cast<char16_t>(static_cast<uint8_t>(raw[2 * i]) | static_cast<uint8_t>(raw[2 * i + 1]) << 8);
    } else {
        // Older forms kept an 8-bit name in the system code page.
        const int64_t bytes = in.Length(1, "name length");
        std::string raw(static_cast<size_t>(bytes), '\0');
        in.Bytes(raw.data(), bytes, "name");
        name = NarrowNameDecoder()(raw);
    }
    const int64_t size = in.Length(1, "data size");
    TMemoryStream data;
    auto* memory = dynamic_cast<TMemoryStream*>(&stream);
    if (memory && size > 0 && size == in.Left()) {
        // The form reader hands over a memory stream whose rest is exactly the movie: take its
        // block instead of copying the movie.
        data.TakeRest(*memory);
    } else {
        data.SetSize(size);
        if (size > 0) in.Bytes(data.Memory(), size, "data");
    }
    data.SetPosition(0);

    Writable().Swap(data);  // same stream object, new bytes
    // Normally FlashStore, read just before, has already given the index this name; a form
    // whose two values disagree must not leave the index pointing under the old one.
    Rename(name);
}

// ---------------------------------------------------------------------------------------
// TvdFlashCollection, TvdFlashList

VD_DEFINE_CLASS(TvdFlashCollection)

TvdFlashCollection::TvdFlashCollection(TvdFlashList* owner) : TCollection(TvdFlashStream::StaticClassInfo(), owner) {}

VD_DEFINE_CLASS(TvdFlashList, CollectionProp("Flashs", &T::GetFlashs).Always())

TvdFlashList::TvdFlashList(TComponent* owner)
    : TComponent(owner), flashs_(std::make_unique<TvdFlashCollection>(this)) {}

TvdFlashList::~TvdFlashList() { flashs_.reset(); }

void TvdFlashList::Loaded() { TComponent::Loaded(); }

TvdFlashStream* TvdFlashList::FindFlash(std::u16string_view name) const {
    // Every item without data answers to "(empty)": only a walk finds the first of those.
    if (SameWideText(name, kEmptyFlashName) || !FlashList) {
        for (int i = 0; i < flashs_->Count(); ++i) {
            TvdFlashStream* item = flashs_->GetItem(i);
            if (SameWideText(item->GetFlashStore(), name)) return item;
        }
        return nullptr;
    }
    // Otherwise the items answering to name are those the index lists under it that hold data;
    // of this component's, the first in its collection wins.
    const std::vector<TvdFlashStream*>* listed = FlashList->FindAll(name);
    if (!listed) return nullptr;
    TvdFlashStream* found = nullptr;
    int foundIndex = -1;
    for (TvdFlashStream* item : *listed) {
        if (item->GetCollection() != flashs_.get() || item->Data().GetSize() == 0) continue;
        if (!found) {
            found = item;
            continue;
        }
        // Same name twice in one list: their places decide (rare, so the cost of asking is fine).
        if (foundIndex < 0) foundIndex = found->GetIndex();
        if (const int index = item->GetIndex(); index < foundIndex) {
            found = item;
            foundIndex = index;
        }
    }
    return found;
}

void RegisterFlashStoreClasses() {
    RegisterClass(TvdFlashList::StaticClassInfo());
    RegisterClass(TvdFlashStream::StaticClassInfo());
}

void SetNarrowNameDecoder(TNarrowNameDecoder decoder) { NarrowNameDecoder() = decoder ? decoder : &Latin1ToWide; }

}  // namespace vd
