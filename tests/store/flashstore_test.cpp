// The movie store: items, the process-wide index, the "FlashStream" bytes and forms holding
// several stored movies. Platform-free; runs natively and under Wine.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "vd_filer.h"
#include "vd_flashstore.h"

using namespace vd;

namespace {

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int v : b) s += static_cast<char>(v);
    return s;
}

std::string DataOf(TvdFlashStream& item) {
    TMemoryStream& d = item.Data();
    return std::string(reinterpret_cast<const char*>(d.Memory()), static_cast<size_t>(d.GetSize()));
}

void SetData(TvdFlashStream& item, const std::string& bytes) {
    TMemoryStream s;
    if (!bytes.empty()) s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    item.LoadData(s);
}

std::string Written(const TvdFlashStream& item) {
    TMemoryStream s;
    item.WriteData(s);
    return std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.GetSize()));
}

void ReadInto(TvdFlashStream& item, const std::string& bytes) {
    TMemoryStream s;
    if (!bytes.empty()) s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    item.ReadData(s);
}

// A form owning store components, as an application's form does.
class TStoreForm : public TComponent {
    VD_CLASS(TStoreForm, TComponent)
public:
    explicit TStoreForm(TComponent* owner) : TComponent(owner) {}
};
VD_DEFINE_CLASS(TStoreForm)

class FlashStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterFlashStoreClasses();
        RegisterClass(TStoreForm::StaticClassInfo());
        ASSERT_EQ(FlashList, nullptr) << "an earlier test left stored movies alive";
    }
    void TearDown() override { EXPECT_EQ(FlashList, nullptr); }
};

TEST_F(FlashStoreTest, NewItemShowsEmptyAndIsIndexedUnderIt) {
    TvdFlashList list(nullptr);
    TvdFlashStream* item = list.GetFlashs()->Add();
    EXPECT_EQ(item->GetFlashStore(), u"(empty)");
    EXPECT_EQ(item->GetDisplayName(), "(empty)");
    ASSERT_NE(FlashList, nullptr);
    ASSERT_EQ(FlashList->Count(), 1);
    EXPECT_EQ(FlashList->Get(0).Name, u"(empty)");
    EXPECT_EQ(FlashList->Get(0).Item, item);
    EXPECT_EQ(list.GetFlashs()->GetOwner(), &list);
}

TEST_F(FlashStoreTest, RenamingIsCaseSensitiveAndLookupsAreNot) {
    TvdFlashList list(nullptr);
    TvdFlashStream* item = list.GetFlashs()->Add();
    SetData(*item, "abc");
    item->SetFlashStore(u"Intro.swf");
    EXPECT_EQ(FlashList->Get(0).Name, u"Intro.swf");
    item->SetFlashStore(u"intro.swf");
    EXPECT_EQ(item->GetFlashStore(), u"intro.swf");
    EXPECT_EQ(FlashList->Get(0).Name, u"intro.swf");
    EXPECT_EQ(FlashList->Find(u"INTRO.SWF"), item);
    EXPECT_EQ(list.FindFlash(u"INTRO.swf"), item);
    EXPECT_EQ(FlashList->Find(u"other.swf"), nullptr);
    EXPECT_EQ(list.FindFlash(u"other.swf"), nullptr);
}

TEST_F(FlashStoreTest, NamedItemWithoutDataIsEmptyAndWrittenAsOneZeroByte) {
    TvdFlashList list(nullptr);
    TvdFlashStream* item = list.GetFlashs()->Add();
    item->SetFlashStore(u"Intro.swf");
    EXPECT_EQ(item->GetFlashStore(), u"(empty)");
    EXPECT_EQ(item->GetName(), u"Intro.swf");
    EXPECT_EQ(list.FindFlash(u"Intro.swf"), nullptr);
    EXPECT_EQ(Written(*item), Bytes({0}));
}

TEST_F(FlashStoreTest, WideNamesOutsideAnyCodePageAreFoundAndToldApart) {
    TvdFlashList list(nullptr);
    TvdFlashStream* a = list.GetFlashs()->Add();
    TvdFlashStream* b = list.GetFlashs()->Add();
    TvdFlashStream* c = list.GetFlashs()->Add();
    SetData(*a, "1");
    SetData(*b, "2");
    SetData(*c, "3");
    a->SetFlashStore(u"映画1.swf");
    b->SetFlashStore(u"映画2.swf");
    c->SetFlashStore(u"ФИЛЬМ.swf");
    EXPECT_EQ(FlashList->Find(u"映画2.swf"), b);
    EXPECT_EQ(FlashList->Find(u"映画1.SWF"), a);
    EXPECT_EQ(FlashList->Find(u"фильм.swf"), c);
    EXPECT_EQ(list.FindFlash(u"映画2.swf"), b);
    EXPECT_EQ(list.FindFlash(u"фильм.SWF"), c);
    EXPECT_EQ(b->GetDisplayName(), "映画2.swf");
}

TEST_F(FlashStoreTest, ExactBytesOfTheWideKind) {
    TvdFlashList list(nullptr);
    TvdFlashStream* item = list.GetFlashs()->Add();
    item->SetFlashStore(u"a.swf");
    SetData(*item, Bytes({1, 2, 3}));
    const std::string expected =
        Bytes({0x04, 0x05, 0, 0, 0, 0x61, 0, 0x2E, 0, 0x73, 0, 0x77, 0, 0x66, 0, 0x03, 0, 0, 0, 0x01, 0x02, 0x03});
    EXPECT_EQ(Written(*item), expected);

    TvdFlashStream* back = list.GetFlashs()->Add();
    ReadInto(*back, expected);
    EXPECT_EQ(back->GetFlashStore(), u"a.swf");
    EXPECT_EQ(DataOf(*back), Bytes({1, 2, 3}));
    EXPECT_EQ(FlashList->Get(1).Name, u"a.swf");
}

TEST_F(FlashStoreTest, OlderNarrowKindReadsBackTheSameItem) {
    TvdFlashList list(nullptr);
    TvdFlashStream* item = list.GetFlashs()->Add();
    ReadInto(*item, Bytes({0x02, 0x05, 0, 0, 0, 0x61, 0x2E, 0x73, 0x77, 0x66, 0x03, 0, 0, 0, 0x01, 0x02, 0x03}));
    EXPECT_EQ(item->GetFlashStore(), u"a.swf");
    EXPECT_EQ(DataOf(*item), Bytes({1, 2, 3}));
    // Written again it takes the wide form.
    EXPECT_EQ(Written(*item)[0], 0x04);
    // 8-bit names widen with the form files' mapping.
    TvdFlashStream* latin = list.GetFlashs()->Add();
    ReadInto(*latin, Bytes({0x02, 0x01, 0, 0, 0, 0xC4, 0x01, 0, 0, 0, 0x09}));
    EXPECT_EQ(latin->GetFlashStore(), u"Ä");
}

TEST_F(FlashStoreTest, KindZeroAndUnknownKindsLeaveTheItemAlone) {
    TvdFlashList list(nullptr);
    TvdFlashStream* item = list.GetFlashs()->Add();
    item->SetFlashStore(u"keep.swf");
    SetData(*item, "xyz");
    for (const std::string& bytes : {Bytes({0}), Bytes({1, 5, 0, 0, 0}), Bytes({3}), Bytes({0xFF, 1, 2})}) {
        ReadInto(*item, bytes);
        EXPECT_EQ(item->GetFlashStore(), u"keep.swf");
        EXPECT_EQ(DataOf(*item), "xyz");
    }
}

TEST_F(FlashStoreTest, DamagedBytesRaiseAReadErrorAndChangeNothing) {
    TvdFlashList list(nullptr);
    TvdFlashStream* item = list.GetFlashs()->Add();
    item->SetFlashStore(u"keep.swf");
    SetData(*item, "xyz");
    const std::string damaged[] = {
        Bytes({}),                                                      // no kind byte at all
        Bytes({4}),                                                     // no name length
        Bytes({4, 1, 0}),                                               // name length cut short
        Bytes({4, 0xFF, 0xFF, 0xFF, 0xFF}),                             // negative name length
        Bytes({4, 0, 0, 0, 0x80}),                                      // most negative
        Bytes({4, 0xFF, 0xFF, 0xFF, 0x7F}),                             // huge name length
        Bytes({4, 2, 0, 0, 0, 0x61, 0}),                                // name runs past the end
        Bytes({2, 3, 0, 0, 0, 0x61, 0x62}),                             // narrow name runs past the end
        Bytes({4, 1, 0, 0, 0, 0x61, 0}),                                // no data size
        Bytes({4, 1, 0, 0, 0, 0x61, 0, 0xFE, 0xFF, 0xFF, 0xFF}),        // negative size
        Bytes({4, 1, 0, 0, 0, 0x61, 0, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2}),  // size beyond the data
        Bytes({2, 0, 0, 0, 0, 4, 0, 0, 0, 1, 2, 3}),                    // data one byte short
    };
    for (const std::string& bytes : damaged) {
        try {
            ReadInto(*item, bytes);
            ADD_FAILURE() << "accepted " << testing::PrintToString(bytes);
        } catch (const EReadError& e) {
            EXPECT_NE(std::string(e.what()).find("FlashStream"), std::string::npos) << e.what();
        }
        EXPECT_EQ(item->GetFlashStore(), u"keep.swf");
        EXPECT_EQ(DataOf(*item), "xyz");
        EXPECT_EQ(FlashList->Get(0).Name, u"keep.swf");
    }
    // Extra bytes after the data are not part of the item.
    ReadInto(*item, Bytes({4, 1, 0, 0, 0, 0x62, 0, 1, 0, 0, 0, 7, 8, 9}));
    EXPECT_EQ(item->GetFlashStore(), u"b");
    EXPECT_EQ(DataOf(*item), Bytes({7}));
}

TEST_F(FlashStoreTest, IndexLivesFromTheFirstItemToTheLastAcrossLists) {
    auto first = std::make_unique<TvdFlashList>(nullptr);
    auto second = std::make_unique<TvdFlashList>(nullptr);
    EXPECT_EQ(FlashList, nullptr) << "lists without items need no index";
    TvdFlashStream* a = first->GetFlashs()->Add();
    TvdFlashStream* b = second->GetFlashs()->Add();
    TvdFlashStream* c = first->GetFlashs()->Add();
    SetData(*a, "A");
    SetData(*b, "B");
    SetData(*c, "C");
    a->SetFlashStore(u"same.swf");
    b->SetFlashStore(u"same.swf");
    c->SetFlashStore(u"SAME.swf");
    // The index finds the item created first; FindFlash only looks at its own list.
    EXPECT_EQ(FlashList->Find(u"same.swf"), a);
    EXPECT_EQ(second->FindFlash(u"same.swf"), b);
    EXPECT_EQ(FlashList->Count(), 3);

    first->GetFlashs()->Delete(0);  // a
    EXPECT_EQ(FlashList->Find(u"same.swf"), b);
    first.reset();  // c goes with its list
    ASSERT_NE(FlashList, nullptr);
    EXPECT_EQ(FlashList->Count(), 1);
    second.reset();
    EXPECT_EQ(FlashList, nullptr);

    // The next item anywhere makes a fresh index.
    TvdFlashList third(nullptr);
    TvdFlashStream* d = third.GetFlashs()->Add();
    ASSERT_NE(FlashList, nullptr);
    EXPECT_EQ(FlashList->Count(), 1);
    EXPECT_EQ(FlashList->Get(0).Item, d);
}

TEST_F(FlashStoreTest, TheItemsStreamStaysTheSameObjectWhenItsBytesAreReplaced) {
    // A player may hold the item's stream (say, to load a movie from it) while the item is
    // assigned or read again: the reference must keep naming the item's current bytes.
    TvdFlashList list(nullptr);
    TvdFlashStream* item = list.GetFlashs()->Add();
    TvdFlashStream* other = list.GetFlashs()->Add();
    other->SetFlashStore(u"b.swf");
    SetData(*other, "bee");
    TMemoryStream& held = item->Data();
    item->Assign(other);
    EXPECT_EQ(&item->Data(), &held);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(held.Memory()), static_cast<size_t>(held.GetSize())), "bee");
    ReadInto(*item, Bytes({0x04, 0x01, 0, 0, 0, 0x61, 0, 0x02, 0, 0, 0, 0x07, 0x08}));
    EXPECT_EQ(&item->Data(), &held);
    EXPECT_EQ(DataOf(*item), Bytes({7, 8}));
}

TEST_F(FlashStoreTest, AssignCopiesNameAndDataAndTheCollectionCopiesItems) {
    TvdFlashList from(nullptr), to(nullptr);
    TvdFlashStream* a = from.GetFlashs()->Add();
    TvdFlashStream* b = from.GetFlashs()->Add();
    a->SetFlashStore(u"one.swf");
    SetData(*a, "111");
    b->SetFlashStore(u"two.swf");
    SetData(*b, "22");

    TvdFlashStream* x = to.GetFlashs()->Add();
    x->Assign(a);
    EXPECT_EQ(x->GetFlashStore(), u"one.swf");
    EXPECT_EQ(DataOf(*x), "111");
    SetData(*a, "changed");
    EXPECT_EQ(DataOf(*x), "111") << "the data is copied, not shared";
    EXPECT_EQ(FlashList->Get(FlashList->IndexOfItem(x)).Name, u"one.swf");

    to.GetFlashs()->Assign(from.GetFlashs());
    ASSERT_EQ(to.GetFlashs()->Count(), 2);
    EXPECT_EQ(to.GetFlashs()->GetItem(1)->GetFlashStore(), u"two.swf");
    EXPECT_EQ(DataOf(*to.GetFlashs()->GetItem(1)), "22");
    EXPECT_EQ(to.FindFlash(u"ONE.swf"), to.GetFlashs()->GetItem(0));

    to.GetFlashs()->SetItem(0, b);
    EXPECT_EQ(to.GetFlashs()->GetItem(0)->GetFlashStore(), u"two.swf");

    // Anything else is the framework's assignment error.
    TvdFlashList other(nullptr);
    TvdFlashStream* y = to.GetFlashs()->GetItem(1);
    EXPECT_THROW(y->Assign(&other), EConvertError);
    EXPECT_EQ(y->GetFlashStore(), u"two.swf");
}

TEST_F(FlashStoreTest, FormsWithSeveralStoredMoviesRoundTripInBothFormats) {
    TStoreForm form(nullptr);
    form.SetName("Form1");
    auto* movies = new TvdFlashList(&form);
    movies->SetName("Movies");
    auto* more = new TvdFlashList(&form);
    more->SetName("More");
    const std::pair<WideString, std::string> stored[] = {
        {u"intro.swf", std::string("CWS\x08\0\0\0\0", 8)}, {u"clip.flv", "FLV\x01"}, {u"映画.xml", "<a/>"}};
    for (const auto& [name, data] : stored) {
        TvdFlashStream* item = movies->GetFlashs()->Add();
        SetData(*item, data);
        item->SetFlashStore(name);
    }
    more->GetFlashs()->Add();  // an empty item

    for (const std::string& text : {WriteComponentText(&form), WriteComponentBinary(&form)}) {
        TStoreForm copy(nullptr);
        ReadComponent(text, &copy);
        auto* m = dynamic_cast<TvdFlashList*>(copy.FindComponent("Movies"));
        auto* e = dynamic_cast<TvdFlashList*>(copy.FindComponent("More"));
        ASSERT_TRUE(m && e);
        ASSERT_EQ(m->GetFlashs()->Count(), 3);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(m->GetFlashs()->GetItem(i)->GetFlashStore(), stored[i].first);
            EXPECT_EQ(DataOf(*m->GetFlashs()->GetItem(i)), stored[i].second);
        }
        ASSERT_EQ(e->GetFlashs()->Count(), 1);
        EXPECT_EQ(e->GetFlashs()->GetItem(0)->GetFlashStore(), u"(empty)");
        // The copy's items are indexed too; the original's come first.
        EXPECT_EQ(FlashList->Count(), 8);
        EXPECT_EQ(FlashList->Find(u"CLIP.FLV"), movies->GetFlashs()->GetItem(1));
    }
    // The property order and the exact bytes in the text form.
    const std::string text = WriteComponentText(&form);
    EXPECT_NE(text.find("FlashStore = 'intro.swf'"), std::string::npos) << text;
    EXPECT_NE(text.find("040900000069006E00"), std::string::npos) << text;
    EXPECT_LT(text.find("FlashStore"), text.find("FlashStream"));
}

TEST_F(FlashStoreTest, DamagedStoredMovieInAFormIsAReadErrorNamingTheProperty) {
    TStoreForm form(nullptr);
    auto* movies = new TvdFlashList(&form);
    movies->SetName("Movies");
    TvdFlashStream* item = movies->GetFlashs()->Add();
    SetData(*item, "abc");
    item->SetFlashStore(u"a.swf");
    std::string binary = WriteComponentBinary(&form);
    // The data size field of "a.swf": kind, length, 10 name bytes, then the size 03 00 00 00.
    const std::string size = Bytes({3, 0, 0, 0, 'a', 'b', 'c'});
    const size_t at = binary.find(size);
    ASSERT_NE(at, std::string::npos);
    binary[at + 3] = static_cast<char>(0x7F);
    TStoreForm copy(nullptr);
    try {
        ReadComponent(binary, &copy);
        ADD_FAILURE() << "a damaged FlashStream was accepted";
    } catch (const EReadError& e) {
        EXPECT_NE(std::string(e.what()).find("FlashStream"), std::string::npos) << e.what();
    }
}

}  // namespace
