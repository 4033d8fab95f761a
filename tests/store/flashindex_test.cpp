// The stored-movie index and lookups kept in step through adds, renames and removals, and the
// data an item shares out while a player hands it on. Checked against a plain model that walks
// every item as the lookups are defined.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "vd_flashstore.h"
#include "vd_movienames.h"

using namespace vd;

namespace {

void SetData(TvdFlashStream& item, const std::string& bytes) {
    TMemoryStream s;
    if (!bytes.empty()) s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    item.LoadData(s);
}

std::string DataOf(const TMemoryStream& d) {
    return std::string(reinterpret_cast<const char*>(d.Memory()),
                       static_cast<size_t>(const_cast<TMemoryStream&>(d).GetSize()));
}

class FlashIndexTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(FlashList, nullptr) << "an earlier test left stored movies alive"; }
    void TearDown() override { EXPECT_EQ(FlashList, nullptr); }
};

TEST_F(FlashIndexTest, FirstCreatedWinsThroughRenamesAndRemovals) {
    TvdFlashList list(nullptr);
    TvdFlashStream* a = list.GetFlashs()->Add();
    TvdFlashStream* b = list.GetFlashs()->Add();
    TvdFlashStream* c = list.GetFlashs()->Add();
    a->SetFlashStore(u"x.swf");
    b->SetFlashStore(u"X.SWF");
    c->SetFlashStore(u"y.swf");
    EXPECT_EQ(FlashList->Find(u"x.SwF"), a);
    EXPECT_EQ(FlashList->IndexOf(u"X.swf"), 0);

    a->SetFlashStore(u"z.swf");  // a leaves the name: b is the first one under it now
    EXPECT_EQ(FlashList->Find(u"x.swf"), b);
    EXPECT_EQ(FlashList->IndexOf(u"x.swf"), 1);
    EXPECT_EQ(FlashList->Find(u"Z.SWF"), a);

    c->SetFlashStore(u"x.swf");  // c joins it, behind b (created later)
    EXPECT_EQ(FlashList->Find(u"x.swf"), b);
    a->SetFlashStore(u"X.swf");  // a comes back, and was created first
    EXPECT_EQ(FlashList->Find(u"x.swf"), a);
    EXPECT_EQ(FlashList->Find(u"z.swf"), nullptr) << "the old name must be forgotten";
    EXPECT_EQ(FlashList->Find(u"y.swf"), nullptr);

    // The entries keep their creation order whatever the renames did.
    ASSERT_EQ(FlashList->Count(), 3);
    EXPECT_EQ(FlashList->Get(0).Item, a);
    EXPECT_EQ(FlashList->Get(1).Item, b);
    EXPECT_EQ(FlashList->Get(2).Item, c);
    EXPECT_EQ(FlashList->Get(0).Name, u"X.swf");

    list.GetFlashs()->Delete(0);  // a goes
    EXPECT_EQ(FlashList->Find(u"x.swf"), b);
    EXPECT_EQ(FlashList->IndexOfItem(b), 0);
    EXPECT_EQ(FlashList->IndexOfItem(c), 1);
    list.GetFlashs()->Delete(0);  // b goes
    EXPECT_EQ(FlashList->Find(u"x.swf"), c);
    EXPECT_EQ(FlashList->Count(), 1);
}

TEST_F(FlashIndexTest, FindFlashTakesTheFirstInItsOwnCollectionAmongItemsWithData) {
    TvdFlashList one(nullptr), other(nullptr);
    TvdFlashStream* elsewhere = other.GetFlashs()->Add();
    SetData(*elsewhere, "0");
    elsewhere->SetFlashStore(u"dup.swf");
    TvdFlashStream* first = one.GetFlashs()->Add();
    TvdFlashStream* second = one.GetFlashs()->Add();
    TvdFlashStream* noData = one.GetFlashs()->Add();
    SetData(*first, "1");
    SetData(*second, "2");
    first->SetFlashStore(u"dup.swf");
    second->SetFlashStore(u"DUP.swf");
    noData->SetFlashStore(u"dup.swf");

    EXPECT_EQ(FlashList->Find(u"dup.swf"), elsewhere) << "the index answers with the first created anywhere";
    EXPECT_EQ(one.FindFlash(u"dup.swf"), first);
    EXPECT_EQ(other.FindFlash(u"Dup.Swf"), elsewhere);
    second->SetIndex(0);  // moved to the front of its collection: the collection's order decides
    EXPECT_EQ(one.FindFlash(u"dup.swf"), second);
    EXPECT_EQ(FlashList->Find(u"dup.swf"), elsewhere);

    // Items without data answer to "(empty)" only, whatever their name.
    EXPECT_EQ(one.FindFlash(u"(EMPTY)"), noData);
    SetData(*noData, "3");
    noData->SetIndex(0);
    EXPECT_EQ(one.FindFlash(u"dup.swf"), noData);
    EXPECT_EQ(one.FindFlash(u"(empty)"), nullptr);
}

// Random adds, renames, moves, data changes and removals over two lists; after each step every
// lookup answers as walking the items would.
TEST_F(FlashIndexTest, LookupsMatchAWalkOverEveryItemThroughRandomChanges) {
    const std::u16string names[] = {u"a.swf", u"A.SWF", u"b.swf", u"(empty)", u"Ä.swf", u"ä.SWF", u"clip.flv"};
    std::mt19937 rng(7);
    auto lists = std::vector<std::unique_ptr<TvdFlashList>>();
    lists.push_back(std::make_unique<TvdFlashList>(nullptr));
    lists.push_back(std::make_unique<TvdFlashList>(nullptr));
    std::vector<TvdFlashStream*> created;  // every live item, in creation order
    for (int step = 0; step < 600; ++step) {
        TvdFlashList& list = *lists[rng() % 2];
        const unsigned op = rng() % 10;
        if (op < 3 || created.empty()) {
            TvdFlashStream* item = list.GetFlashs()->Add();
            if (rng() % 3) SetData(*item, "d");
            item->SetFlashStore(names[rng() % std::size(names)]);
            created.push_back(item);
        } else if (op < 6) {
            created[rng() % created.size()]->SetFlashStore(names[rng() % std::size(names)]);
        } else if (op < 7) {
            TvdFlashStream* item = created[rng() % created.size()];
            item->SetIndex(static_cast<int>(rng() % static_cast<unsigned>(item->GetCollection()->Count())));
        } else if (op < 8) {
            SetData(*created[rng() % created.size()], (rng() & 1) ? "" : "x");
        } else {
            const size_t k = rng() % created.size();
            TvdFlashStream* item = created[k];
            created.erase(created.begin() + static_cast<std::ptrdiff_t>(k));
            item->GetCollection()->Delete(item->GetIndex());
        }
        for (const auto& wanted : names) {
            TvdFlashStream* expectIndex = nullptr;
            for (TvdFlashStream* item : created)
                if (SameWideText(item->GetName(), wanted)) {
                    expectIndex = item;
                    break;
                }
            if (created.empty()) {
                ASSERT_EQ(FlashList, nullptr);
            } else {
                ASSERT_EQ(FlashList->Find(wanted), expectIndex) << "step " << step;
            }
            for (const auto& l : lists) {
                TvdFlashStream* expectOwn = nullptr;
                for (int i = 0; i < l->GetFlashs()->Count(); ++i)
                    if (SameWideText(l->GetFlashs()->GetItem(i)->GetFlashStore(), wanted)) {
                        expectOwn = l->GetFlashs()->GetItem(i);
                        break;
                    }
                ASSERT_EQ(l->FindFlash(wanted), expectOwn) << "step " << step;
            }
        }
    }
}

TEST_F(FlashIndexTest, SharedDataOutlivesItsItemAndNewDataLeavesItAlone) {
    std::shared_ptr<TMemoryStream> held;
    {
        TvdFlashList list(nullptr);
        TvdFlashStream* item = list.GetFlashs()->Add();
        SetData(*item, "movie bytes");
        held = item->ShareData();
        SetData(*item, "other bytes");  // the holder keeps what it was given
        EXPECT_EQ(DataOf(*held), "movie bytes");
        EXPECT_EQ(DataOf(item->Data()), "other bytes");
        held = item->ShareData();
    }  // the item and its list go while the data is held
    EXPECT_EQ(DataOf(*held), "other bytes");
}

}  // namespace
