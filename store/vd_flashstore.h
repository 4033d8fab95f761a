// The movie store: movie files (SWF, FLV and whatever a movie loads) kept inside form files.
// A TvdFlashList holds TvdFlashStream items, each with a name and the file's bytes; every item
// is also listed in the process-wide index FlashList, so a stored movie is found by its name
// from any player on any form.
//
// Platform-free: built natively (sanitizers, fuzzers) and for Windows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "vd_classes.h"
#include "vd_filer.h"
#include "vd_streams.h"

namespace vd {

class TvdFlashStream;

// What an item with no data shows and is listed under.
inline constexpr std::u16string_view kEmptyFlashName = u"(empty)";
// The name of the binary property that carries an item's bytes in a form.
inline constexpr const char* kFlashStreamProperty = "FlashStream";

// The process-wide index from stored-movie names to items: unsorted (in the order the items
// were created), duplicates allowed, a lookup finds the first entry; names are wide and compare
// without regard to case (FoldCase). Lookups by name go through a hash on the case-folded name,
// kept in step with every add, rename and removal, so they cost the same among ten thousand
// stored movies as among ten.
class TvdFlashIndex {
public:
    struct Entry {
        WideString Name;
        TvdFlashStream* Item = nullptr;
        uint64_t Order = 0;  // creation order; entries are sorted by it
    };

    int Count() const { return static_cast<int>(entries_.size()); }
    const Entry& Get(int index) const { return entries_.at(static_cast<size_t>(index)); }
    // First entry whose name equals name without regard to case; -1 when none.
    int IndexOf(std::u16string_view name) const;
    int IndexOfItem(const TvdFlashStream* item) const;
    // The item of the first entry named name, or nullptr.
    TvdFlashStream* Find(std::u16string_view name) const;
    // Every item listed under name (without regard to case), first entry first.
    const std::vector<TvdFlashStream*>* FindAll(std::u16string_view name) const;

private:
    friend class TvdFlashStream;

    // Hash and equality over case-folded text; transparent, so a lookup folds nothing into a
    // new string.
    struct FoldedHash {
        using is_transparent = void;
        size_t operator()(std::u16string_view s) const noexcept;
    };
    struct FoldedEqual {
        using is_transparent = void;
        bool operator()(std::u16string_view a, std::u16string_view b) const noexcept;
    };

    void Add(TvdFlashStream* item, const WideString& name);
    void Rename(TvdFlashStream* item, const WideString& name);
    // False when the item is not listed.
    bool Remove(TvdFlashStream* item);
    void Unlink(TvdFlashStream* item, const WideString& name);
    void Link(TvdFlashStream* item, const WideString& name, uint64_t order);
    uint64_t OrderOf(const TvdFlashStream* item) const;

    std::vector<Entry> entries_;
    std::unordered_map<WideString, std::vector<TvdFlashStream*>, FoldedHash, FoldedEqual> byName_;
    std::unordered_map<const TvdFlashStream*, uint64_t> order_;
    uint64_t nextOrder_ = 0;
};

// Exists only while at least one TvdFlashStream exists anywhere in the process: created by
// the first item, freed (and reset to nullptr) by the last.
extern TvdFlashIndex* FlashList;

// One stored file.
class TvdFlashStream : public TCollectionItem {
    VD_CLASS(TvdFlashStream, TCollectionItem)
public:
    explicit TvdFlashStream(TCollection* collection);
    ~TvdFlashStream() override;

    // The name when the item holds data, otherwise "(empty)" whatever the name.
    WideString GetFlashStore() const;
    // Renames the item and its index entry; the data is left alone.
    void SetFlashStore(const WideString& value);
    // The name as set, with or without data.
    const WideString& GetName() const { return name_; }

    // The file's bytes (owned by the item).
    TMemoryStream& Data() { return *data_; }
    const TMemoryStream& Data() const { return *data_; }
    // Replaces the data with the whole of source.
    void LoadData(TStream& source) { Writable().LoadFromStream(source); }
    // The data, kept alive for the holder even if the item goes meanwhile: a player handing the
    // bytes to the hosted player without copying them holds this for the length of the call.
    // While it is held, loading or reading new data into the item gives the item a new stream
    // and leaves the held one as it was.
    std::shared_ptr<TMemoryStream> ShareData() const { return data_; }

    // From another TvdFlashStream: its name (index entry included) and a copy of its data.
    void Assign(TPersistent* source) override;
    void DefineProperties(TFiler& filer) override;
    // GetFlashStore as UTF-8.
    std::string GetDisplayName() override;

    // The "FlashStream" bytes: kind 4 with the name and data when there is data, else the
    // single byte 0.
    void WriteData(TStream& stream) const;
    // Reads kinds 0, 2 and 4 (any other kind leaves the item unchanged). Every length is
    // checked against the bytes that remain; damaged bytes raise EReadError naming
    // "FlashStream" and leave the item's name and data as they were.
    void ReadData(TStream& stream);

private:
    void Rename(const WideString& value);
    // The stream to put new data in: a fresh one while the current one is shared out.
    TMemoryStream& Writable();

    std::shared_ptr<TMemoryStream> data_;
    WideString name_{kEmptyFlashName};
};

// How the 8-bit names of older forms (kind 2) become wide: text in the system code page. The
// platform-free build has no code page to ask and reads the bytes as Latin-1, a stand-in that
// is right for ASCII names only; on Windows the player unit's start-up installs the system's
// conversion (InstallWin32NarrowNames). nullptr: back to the stand-in.
using TNarrowNameDecoder = WideString (*)(std::string_view bytes);
void SetNarrowNameDecoder(TNarrowNameDecoder decoder);

class TvdFlashList;

class TvdFlashCollection : public TCollection {
    VD_CLASS(TvdFlashCollection, TCollection)
public:
    explicit TvdFlashCollection(TvdFlashList* owner);

    TvdFlashStream* Add() { return static_cast<TvdFlashStream*>(TCollection::Add()); }
    TvdFlashStream* GetItem(int index) const { return static_cast<TvdFlashStream*>(TCollection::GetItem(index)); }
    void SetItem(int index, TvdFlashStream* value) { TCollection::SetItem(index, value); }
};

// The non-visual component an application drops on a form to keep movies in it.
class TvdFlashList : public TComponent {
    VD_CLASS(TvdFlashList, TComponent)
public:
    explicit TvdFlashList(TComponent* owner);
    ~TvdFlashList() override;

    TvdFlashCollection* GetFlashs() const { return flashs_.get(); }
    void Loaded() override;

    // The first of this component's own items whose FlashStore equals name without regard to
    // case; nullptr when none. FlashList is not consulted.
    TvdFlashStream* FindFlash(std::u16string_view name) const;

private:
    std::unique_ptr<TvdFlashCollection> flashs_;
};

// Registers TvdFlashList and its item class with the form reader (idempotent).
void RegisterFlashStoreClasses();

}  // namespace vd
