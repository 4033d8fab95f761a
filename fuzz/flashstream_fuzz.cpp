// The "FlashStream" reader on arbitrary bytes: it either takes the bytes or raises EReadError,
// and on refusal the item keeps its name and data. Whatever it takes is written back and read
// again to the same name and data.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "vd_flashstore.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "flashstream_fuzz: %s\n", what);
    std::abort();
}

std::string DataOf(vd::TvdFlashStream& item) {
    return std::string(reinterpret_cast<const char*>(item.Data().Memory()), static_cast<size_t>(item.Data().GetSize()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vd::TvdFlashList list(nullptr);
    vd::TvdFlashStream* item = list.GetFlashs()->Add();
    vd::TMemoryStream before;
    before.WriteBuffer("old", 3);
    item->LoadData(before);
    item->SetFlashStore(u"old.swf");

    vd::TMemoryStream in;
    if (size) in.WriteBuffer(data, static_cast<int64_t>(size));
    in.SetPosition(0);
    try {
        item->ReadData(in);
    } catch (const vd::EReadError&) {
        if (item->GetName() != u"old.swf" || DataOf(*item) != "old") Fail("a refused read changed the item");
        if (vd::FlashList->Find(u"old.swf") != item) Fail("a refused read changed the index");
        return 0;
    }
    if (vd::FlashList->IndexOfItem(item) < 0 ||
        vd::FlashList->Get(vd::FlashList->IndexOfItem(item)).Name != item->GetName())
        Fail("the index does not hold the item's name");

    vd::TMemoryStream out;
    item->WriteData(out);
    out.SetPosition(0);
    vd::TvdFlashStream* copy = list.GetFlashs()->Add();
    copy->ReadData(out);
    if (DataOf(*copy) != DataOf(*item)) Fail("data changed on the way through WriteData");
    if (!DataOf(*item).empty() && copy->GetName() != item->GetName()) Fail("name changed on the way through WriteData");
    return 0;
}
