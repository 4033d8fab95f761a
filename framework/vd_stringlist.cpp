#include "vd_stringlist.h"

#include <limits>
#include <utility>

namespace vd {

namespace {

[[noreturn]] void RaiseIndexError(int index) {
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

}  // namespace

void TStringList::CheckIndex(int index) const {
    if (index < 0 || index >= Count()) RaiseIndexError(index);
}

int TStringList::AddObject(const std::string& s, TObject* object) {
    // Indices are ints, as in Delphi; a list that outgrew them could not be addressed.
    if (items_.size() >= static_cast<size_t>(std::numeric_limits<int>::max()))
        throw EListError("List capacity out of bounds (" + std::to_string(items_.size()) + ")");
    items_.push_back(Item{s, object});
    return Count() - 1;
}

void TStringList::InsertObject(int index, const std::string& s, TObject* object) {
    if (index < 0 || index > Count()) RaiseIndexError(index);
    if (items_.size() >= static_cast<size_t>(std::numeric_limits<int>::max()))
        throw EListError("List capacity out of bounds (" + std::to_string(items_.size()) + ")");
    items_.insert(items_.begin() + index, Item{s, object});
}

const std::string& TStringList::Get(int index) const {
    CheckIndex(index);
    return items_[static_cast<size_t>(index)].text;
}

void TStringList::Put(int index, const std::string& s) {
    CheckIndex(index);
    items_[static_cast<size_t>(index)].text = s;
}

TObject* TStringList::GetObject(int index) const {
    CheckIndex(index);
    return items_[static_cast<size_t>(index)].object;
}

void TStringList::PutObject(int index, TObject* object) {
    CheckIndex(index);
    items_[static_cast<size_t>(index)].object = object;
}

void TStringList::Delete(int index) {
    CheckIndex(index);
    items_.erase(items_.begin() + index);
}

void TStringList::Exchange(int index1, int index2) {
    CheckIndex(index1);
    CheckIndex(index2);
    std::swap(items_[static_cast<size_t>(index1)], items_[static_cast<size_t>(index2)]);
}

int TStringList::IndexOf(const std::string& s) const {
    for (size_t i = 0; i < items_.size(); ++i) {
        const std::string& t = items_[i].text;
        if (caseSensitive_ ? t == s : SameText(t, s)) return static_cast<int>(i);
    }
    return -1;
}

int TStringList::IndexOfObject(const TObject* object) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].object == object) return static_cast<int>(i);
    return -1;
}

std::string TStringList::GetText() const {
    size_t length = 0;
    for (const Item& item : items_) length += item.text.size() + 2;
    std::string text;
    text.reserve(length);
    for (const Item& item : items_) {
        text += item.text;
        text += "\r\n";
    }
    return text;
}

void TStringList::SetText(const std::string& text) {
    std::vector<Item> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
        lines.push_back(Item{text.substr(start, end - start), nullptr});
        if (end < text.size() && text[end] == '\r') ++end;
        if (end < text.size() && text[end] == '\n') ++end;
        start = end;
    }
    items_ = std::move(lines);
}

}  // namespace vd
