// Ownership, names, notifications, assignment and collections of the component core.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vd_classes.h"

using namespace vd;

namespace {

// Records its own destruction so ownership order can be checked.
class TTracked : public TComponent {
    VD_CLASS(TTracked, TComponent)
public:
    explicit TTracked(TComponent* owner, std::vector<std::string>* log = nullptr) : TComponent(owner), log_(log) {}
    ~TTracked() override {
        DestroyComponents();  // owned components go while this one is still whole
        if (log_) log_->push_back(GetName());
    }
    TComponent* Buddy = nullptr;
    std::vector<std::pair<TComponent*, TOperation>> Notes;
    void Notification(TComponent* c, TOperation op) override {
        TComponent::Notification(c, op);
        Notes.emplace_back(c, op);
        if (op == TOperation::opRemove && c == Buddy) Buddy = nullptr;
    }

private:
    std::vector<std::string>* log_;
};
VD_DEFINE_CLASS(TTracked)

class TNamedItem : public TCollectionItem {
    VD_CLASS(TNamedItem, TCollectionItem)
public:
    explicit TNamedItem(TCollection* c) : TCollectionItem(c) {}
    std::string Label;
    std::string GetDisplayName() override { return Label.empty() ? TCollectionItem::GetDisplayName() : Label; }
    void Assign(TPersistent* source) override {
        if (auto* other = dynamic_cast<TNamedItem*>(source)) {
            Label = other->Label;
            return;
        }
        TCollectionItem::Assign(source);
    }
};
VD_DEFINE_CLASS(TNamedItem)

class TOtherItem : public TCollectionItem {
    VD_CLASS(TOtherItem, TCollectionItem)
public:
    explicit TOtherItem(TCollection* c) : TCollectionItem(c) {}
};
VD_DEFINE_CLASS(TOtherItem)

}  // namespace

TEST(ComponentOwnership, OwnerFreesItsComponentsLastCreatedFirst) {
    std::vector<std::string> log;
    {
        TTracked root(nullptr, &log);
        root.SetName("Root");
        for (const char* n : {"A", "B", "C"}) (new TTracked(&root, &log))->SetName(n);
        EXPECT_EQ(root.ComponentCount(), 3);
        EXPECT_EQ(root.GetComponent(1)->GetName(), "B");
    }
    EXPECT_EQ(log, (std::vector<std::string>{"C", "B", "A", "Root"}));
}

TEST(ComponentOwnership, FreeingAComponentRemovesItFromItsOwnerAndTellsIt) {
    TTracked root(nullptr);
    auto* a = new TTracked(&root);
    auto* b = new TTracked(&root);
    ASSERT_EQ(root.Notes.size(), 2u);
    EXPECT_EQ(root.Notes[0], std::make_pair(static_cast<TComponent*>(a), TOperation::opInsert));
    delete a;
    EXPECT_EQ(root.ComponentCount(), 1);
    EXPECT_EQ(root.GetComponent(0), b);
    EXPECT_EQ(root.Notes.back(), std::make_pair(static_cast<TComponent*>(a), TOperation::opRemove));
    EXPECT_EQ(b->GetComponentIndex(), 0);
    EXPECT_THROW(root.GetComponent(1), EListError);
}

TEST(ComponentOwnership, FreeNotificationClearsReferencesAcrossOwners) {
    TTracked form1(nullptr), form2(nullptr);
    auto* holder = new TTracked(&form1);
    auto* target = new TTracked(&form2);
    holder->Buddy = target;
    holder->FreeNotification(target);
    delete target;
    EXPECT_EQ(holder->Buddy, nullptr);
    // And the other way round: the holder going first leaves nothing dangling.
    auto* target2 = new TTracked(&form2);
    holder->Buddy = target2;
    holder->FreeNotification(target2);
    delete holder;
    delete target2;  // would touch freed memory under the sanitizers if the link remained
}

TEST(ComponentOwnership, InsertingMovesAComponentBetweenOwners) {
    TTracked a(nullptr), b(nullptr);
    auto* c = new TTracked(&a);
    b.InsertComponent(c);
    EXPECT_EQ(a.ComponentCount(), 0);
    EXPECT_EQ(c->GetOwner(), &b);
}

TEST(ComponentNames, MustBeValidIdentifiersUniqueWithinTheOwner) {
    TTracked root(nullptr);
    auto* a = new TTracked(&root);
    auto* b = new TTracked(&root);
    a->SetName("Button1");
    try {
        b->SetName("button1");
        FAIL() << "duplicate accepted";
    } catch (const EComponentError& e) {
        EXPECT_STREQ(e.what(), "A component named button1 already exists");
    }
    try {
        b->SetName("1st");
        FAIL() << "invalid name accepted";
    } catch (const EComponentError& e) {
        EXPECT_STREQ(e.what(), "'1st' is not a valid component name");
    }
    EXPECT_THROW(b->SetName("a b"), EComponentError);
    EXPECT_THROW(b->SetName("caf\xC3\xA9"), EComponentError);
    EXPECT_EQ(b->GetName(), "");
    b->SetName("_Button2");
    a->SetName("BUTTON1");  // renaming to itself in another case is allowed
    EXPECT_EQ(root.FindComponent("button1"), a);
    EXPECT_EQ(root.FindComponent("_button2"), b);
    EXPECT_EQ(root.FindComponent("nope"), nullptr);
    EXPECT_EQ(root.FindComponent(""), nullptr);
    b->SetName("");  // unnamed components are allowed, and never found
    EXPECT_EQ(root.FindComponent(""), nullptr);
}

TEST(ComponentState, DesigningReachesOwnedComponents) {
    TTracked root(nullptr);
    auto* a = new TTracked(&root);
    root.SetDesigning(true);
    EXPECT_TRUE(root.ComponentState().Contains(csDesigning));
    EXPECT_TRUE(a->ComponentState().Contains(csDesigning));
    root.SetDesigning(false, false);
    EXPECT_FALSE(root.ComponentState().Contains(csDesigning));
    EXPECT_TRUE(a->ComponentState().Contains(csDesigning));
}

TEST(Persistent, AnAssignmentNeitherSideCanMakeRaisesConvertError) {
    TTracked a(nullptr), b(nullptr);
    try {
        a.Assign(&b);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TTracked to a TTracked");
    }
    try {
        a.Assign(nullptr);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a nil to a TTracked");
    }
}

TEST(Collections, AddDeleteAndIndicesStayConsistent) {
    TCollection coll(TNamedItem::StaticClassInfo());
    auto* a = static_cast<TNamedItem*>(coll.Add());
    auto* b = static_cast<TNamedItem*>(coll.Add());
    auto* c = static_cast<TNamedItem*>(coll.Add());
    EXPECT_EQ(coll.Count(), 3);
    EXPECT_EQ(c->GetIndex(), 2);
    c->SetIndex(0);
    EXPECT_EQ(coll.GetItem(0), c);
    EXPECT_EQ(a->GetIndex(), 1);
    coll.Delete(1);  // a
    EXPECT_EQ(coll.Count(), 2);
    EXPECT_EQ(b->GetIndex(), 1);
    EXPECT_EQ(coll.FindItemID(b->GetID()), b);
    delete b;  // an item freed directly leaves its collection
    EXPECT_EQ(coll.Count(), 1);
    EXPECT_THROW(coll.GetItem(5), EListError);
    EXPECT_EQ(c->GetDisplayName(), "TNamedItem");
    c->Label = "Intro";
    EXPECT_EQ(c->GetDisplayName(), "Intro");
}

TEST(Collections, AssignCopiesItemsThroughTheItemsOwnAssign) {
    TCollection from(TNamedItem::StaticClassInfo()), to(TNamedItem::StaticClassInfo());
    static_cast<TNamedItem*>(from.Add())->Label = "one";
    static_cast<TNamedItem*>(from.Add())->Label = "two";
    to.Add();
    to.Assign(&from);
    ASSERT_EQ(to.Count(), 2);
    EXPECT_EQ(static_cast<TNamedItem*>(to.GetItem(1))->Label, "two");
    EXPECT_NE(to.GetItem(0), from.GetItem(0));
    // SetItem assigns into the existing item.
    to.SetItem(0, from.GetItem(1));
    EXPECT_EQ(static_cast<TNamedItem*>(to.GetItem(0))->Label, "two");

    // Items the item class cannot assign from are refused, naming both classes.
    TCollection others(TOtherItem::StaticClassInfo());
    others.Add();
    try {
        to.Assign(&others);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TOtherItem to a TNamedItem");
    }
    ASSERT_EQ(to.Count(), 2);  // the failed assignment left the collection as it was
    EXPECT_EQ(static_cast<TNamedItem*>(to.GetItem(1))->Label, "two");
    TTracked comp(nullptr);
    EXPECT_THROW(to.Assign(&comp), EConvertError);
}

TEST(ClassRegistry, FindsRegisteredClassesByNameWithoutRegardToCase) {
    RegisterClass(TTracked::StaticClassInfo());
    RegisterClass(TTracked::StaticClassInfo());  // twice is harmless
    EXPECT_EQ(FindClass("ttracked"), &TTracked::StaticClassInfo());
    EXPECT_EQ(FindClass("TNoSuchClass"), nullptr);
    EXPECT_TRUE(TTracked::StaticClassInfo().InheritsFrom(TComponent::StaticClassInfo()));
    EXPECT_FALSE(TComponent::StaticClassInfo().InheritsFrom(TTracked::StaticClassInfo()));
    TComponent* made = FindClass("TTracked")->CreateComponent(nullptr);
    EXPECT_EQ(made->ClassName(), "TTracked");
    delete made;
}
