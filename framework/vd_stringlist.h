// An unsorted list of 8-bit strings, each with an optional attached object, as Delphi's
// TStringList is used by the components (names with their objects, lines of text).
// Platform-free: built natively (under the sanitizers) and for Windows.
#pragma once

#include "vd_system.h"

#include <string>
#include <vector>

namespace vd {

class TStringList : public TObject {
public:
    std::string ClassName() const override { return "TStringList"; }

    // Appends and returns the new index. Duplicates are kept; the list is never sorted.
    int Add(const std::string& s) { return AddObject(s, nullptr); }
    // The object is attached, not owned: the list never frees it.
    int AddObject(const std::string& s, TObject* object);
    // Index may equal Count() to append.
    void Insert(int index, const std::string& s) { InsertObject(index, s, nullptr); }
    void InsertObject(int index, const std::string& s, TObject* object);

    // Every index outside the list raises EListError("List index out of bounds (N)").
    const std::string& Get(int index) const;
    void Put(int index, const std::string& s);
    TObject* GetObject(int index) const;
    void PutObject(int index, TObject* object);

    int Count() const { return static_cast<int>(items_.size()); }
    void Delete(int index);
    void Clear() { items_.clear(); }
    void Exchange(int index1, int index2);

    // First index holding s, or -1. ASCII letters match either case unless the list is case
    // sensitive; other bytes must match exactly.
    int IndexOf(const std::string& s) const;
    // First index holding object, or -1.
    int IndexOfObject(const TObject* object) const;

    // Each line followed by CRLF, as Delphi's Text, so that SetText(GetText()) gives the same
    // lines back, an empty last line included.
    std::string GetText() const;
    // Replaces the lines (objects are dropped). A line ends at CRLF, LF or CR; a break at the
    // very end does not start another line.
    void SetText(const std::string& text);

    // Default false, as in Delphi.
    bool GetCaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool value) { caseSensitive_ = value; }

private:
    struct Item {
        std::string text;
        TObject* object = nullptr;
    };

    void CheckIndex(int index) const;

    std::vector<Item> items_;
    bool caseSensitive_ = false;
};

}  // namespace vd
