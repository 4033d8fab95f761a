#include "vd_stringlist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using vd::TObject;
using vd::TStringList;

std::vector<std::string> Lines(const TStringList& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list.Get(i));
    return out;
}

using V = std::vector<std::string>;

TEST(StringList, AddAndInsertPlaceStringsWhereAsked) {
    TStringList list;
    EXPECT_EQ(list.Add("b"), 0);
    EXPECT_EQ(list.Add("d"), 1);
    EXPECT_EQ(list.Add("b"), 2) << "duplicates are kept";
    list.Insert(0, "a");
    list.Insert(2, "c");
    list.Insert(list.Count(), "e");
    EXPECT_EQ(Lines(list), (V{"a", "b", "c", "d", "b", "e"}));
    list.Put(4, "B");
    EXPECT_EQ(list.Get(4), "B");
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(StringList, IndexOfIgnoresAsciiCaseAndFindsTheFirstDuplicate) {
    TStringList list;
    EXPECT_FALSE(list.GetCaseSensitive());
    list.Add("Alpha");
    list.Add("beta");
    list.Add("ALPHA");
    list.Add("Alphabet");
    EXPECT_EQ(list.IndexOf("alpha"), 0);
    EXPECT_EQ(list.IndexOf("BETA"), 1);
    EXPECT_EQ(list.IndexOf("alph"), -1);
    EXPECT_EQ(list.IndexOf(""), -1);
    list.Delete(0);
    EXPECT_EQ(list.IndexOf("alpha"), 1);

    // Only ASCII letters fold: Latin-1 A-umlaut and a-umlaut are different strings.
    list.Add("\xC4");
    EXPECT_EQ(list.IndexOf("\xC4"), 3);
    EXPECT_EQ(list.IndexOf("\xE4"), -1);
}

TEST(StringList, CaseSensitiveModeNeedsTheExactString) {
    TStringList list;
    list.Add("Alpha");
    list.Add("alpha");
    list.SetCaseSensitive(true);
    EXPECT_TRUE(list.GetCaseSensitive());
    EXPECT_EQ(list.IndexOf("alpha"), 1);
    EXPECT_EQ(list.IndexOf("ALPHA"), -1);
    list.SetCaseSensitive(false);
    EXPECT_EQ(list.IndexOf("alpha"), 0);
}

TEST(StringList, ObjectsTravelWithTheirStringsAndAreNotOwned) {
    TObject first, second;
    TStringList list;
    EXPECT_EQ(list.AddObject("one", &first), 0);
    list.Add("plain");
    list.AddObject("two", &second);
    list.AddObject("again", &first);
    EXPECT_EQ(list.GetObject(1), nullptr);
    EXPECT_EQ(list.IndexOfObject(&first), 0);
    EXPECT_EQ(list.IndexOfObject(&second), 2);
    EXPECT_EQ(list.IndexOfObject(nullptr), 1);

    list.Delete(0);  // later entries shift down with their objects
    EXPECT_EQ(Lines(list), (V{"plain", "two", "again"}));
    EXPECT_EQ(list.IndexOfObject(&first), 2);
    EXPECT_EQ(list.GetObject(1), &second);

    list.Exchange(0, 2);
    EXPECT_EQ(Lines(list), (V{"again", "two", "plain"}));
    EXPECT_EQ(list.GetObject(0), &first);
    EXPECT_EQ(list.GetObject(2), nullptr);

    list.PutObject(2, &second);
    list.Put(2, "changed");
    EXPECT_EQ(list.GetObject(2), &second) << "replacing the string keeps the object";
    list.InsertObject(1, "inserted", &second);
    EXPECT_EQ(list.IndexOfObject(&second), 1);
    // first and second live on the stack: a list that freed them would crash at scope end.
}

TEST(StringList, BadIndicesRaiseListErrorNamingTheIndex) {
    TStringList list;
    list.Add("a");
    list.Add("b");
    auto message = [](auto&& fn) -> std::string {
        try {
            fn();
        } catch (const vd::EListError& e) {
            return e.Message();
        }
        return "(nothing raised)";
    };
    EXPECT_EQ(message([&] { list.Get(2); }), "List index out of bounds (2)");
    EXPECT_EQ(message([&] { list.Get(-1); }), "List index out of bounds (-1)");
    EXPECT_EQ(message([&] { list.Put(5, "x"); }), "List index out of bounds (5)");
    EXPECT_EQ(message([&] { list.GetObject(2); }), "List index out of bounds (2)");
    EXPECT_EQ(message([&] { list.PutObject(-3, nullptr); }), "List index out of bounds (-3)");
    EXPECT_EQ(message([&] { list.Delete(2); }), "List index out of bounds (2)");
    EXPECT_EQ(message([&] { list.Exchange(0, 7); }), "List index out of bounds (7)");
    EXPECT_EQ(message([&] { list.Insert(3, "x"); }), "List index out of bounds (3)");
    EXPECT_EQ(message([&] { list.Insert(-1, "x"); }), "List index out of bounds (-1)");
    EXPECT_EQ(Lines(list), (V{"a", "b"})) << "a refused call changes nothing";
    EXPECT_THROW(TStringList().Get(0), vd::Exception);
}

TEST(StringList, SetTextSplitsOnEveryKindOfLineBreak) {
    TStringList list;
    TObject o;
    list.AddObject("old", &o);
    list.SetText("a\r\nb\nc\rd");
    EXPECT_EQ(Lines(list), (V{"a", "b", "c", "d"}));
    EXPECT_EQ(list.IndexOfObject(&o), -1) << "old entries and their objects are gone";

    list.SetText("a\r\n");
    EXPECT_EQ(Lines(list), (V{"a"})) << "a final break does not open another line";
    list.SetText("a\r\r\n\nb");  // CR, CRLF, LF
    EXPECT_EQ(Lines(list), (V{"a", "", "", "b"}));
    list.SetText("\r\n");
    EXPECT_EQ(Lines(list), (V{""}));
    list.SetText("");
    EXPECT_EQ(list.Count(), 0);
    list.SetText("\n\ra");  // LF then CR are two breaks, unlike CR then LF
    EXPECT_EQ(Lines(list), (V{"", "", "a"}));
}

TEST(StringList, GetTextEndsEachLineWithCrLfAndRoundTrips) {
    TStringList list;
    EXPECT_EQ(list.GetText(), "");
    list.Add("one");
    list.Add("");
    list.Add("three");
    list.Add("");
    EXPECT_EQ(list.GetText(), "one\r\n\r\nthree\r\n\r\n");
    TStringList copy;
    copy.SetText(list.GetText());
    EXPECT_EQ(Lines(copy), Lines(list));
}

}  // namespace
