// The text side of enumerated control properties: display strings, names without their
// leading underscores, and reading numbers, display strings and names back. Platform-free.
#include <gtest/gtest.h>

#include "vd_ax_enumdesc.h"
#include "vd_system.h"

using namespace vd;
using namespace vd::ax;

namespace {

const TEnumValueList kQuality = {{0, "Low"}, {1, "High"}, {2, "AutoLow"}, {4, "Medium"}, {-3, "Negative"}, {2, "Dup"}};

TEST(EnumText, IdentifiersLoseLeadingUnderscoresButNeverTheirLastCharacter) {
    EXPECT_EQ(EnumIdentFromName("__Quality"), "Quality");
    EXPECT_EQ(EnumIdentFromName("_"), "_");
    EXPECT_EQ(EnumIdentFromName("___"), "_");
    EXPECT_EQ(EnumIdentFromName("_a_b"), "a_b");
    EXPECT_EQ(EnumIdentFromName("Best"), "Best");
    EXPECT_EQ(EnumIdentFromName(""), "");
}

TEST(EnumText, DisplayStringsAreNumberHyphenName) {
    EXPECT_EQ(EnumDisplayString({4, "Medium"}), "4 - Medium");
    EXPECT_EQ(EnumDisplayString({-3, "Negative"}), "-3 - Negative");
    const std::vector<std::string> all = EnumDisplayStrings(kQuality);
    ASSERT_EQ(all.size(), kQuality.size());
    EXPECT_EQ(all.front(), "0 - Low");
    EXPECT_EQ(all.back(), "2 - Dup");
}

TEST(EnumText, ValueToStringTakesTheFirstEqualValueElseTheNumber) {
    EXPECT_EQ(EnumValueToString(kQuality, 2), "2 - AutoLow");
    EXPECT_EQ(EnumValueToString(kQuality, 3), "3");
    EXPECT_EQ(EnumValueToString(kQuality, -7), "-7");
    EXPECT_EQ(EnumValueToString({}, 0), "0");
}

TEST(EnumText, StringToValueReadsNumbersDisplayStringsAndNames) {
    EXPECT_EQ(EnumStringToValue(kQuality, "2 - AutoLow"), 2);
    EXPECT_EQ(EnumStringToValue(kQuality, "2abc"), 2);
    EXPECT_EQ(EnumStringToValue(kQuality, "4"), 4);
    EXPECT_EQ(EnumStringToValue(kQuality, "-3 - anything"), -3);
    EXPECT_EQ(EnumStringToValue(kQuality, "medium"), 4);
    EXPECT_EQ(EnumStringToValue(kQuality, "AUTOLOW"), 2);
    // A leading number that is no value is not looked up by name.
    EXPECT_EQ(EnumStringToValue(kQuality, "3 - Medium"), std::nullopt);
    EXPECT_EQ(EnumStringToValue(kQuality, "Ultra"), std::nullopt);
    EXPECT_EQ(EnumStringToValue(kQuality, ""), std::nullopt);
    EXPECT_EQ(EnumStringToValue(kQuality, " 4"), std::nullopt);
}

TEST(EnumText, ARunThatIsNoIntegerIsAConversionError) {
    EXPECT_THROW(EnumStringToValue(kQuality, "-"), EConvertError);
    EXPECT_THROW(EnumStringToValue(kQuality, "- Low"), EConvertError);
    EXPECT_THROW(EnumStringToValue(kQuality, "1-2"), EConvertError);
    EXPECT_THROW(EnumStringToValue(kQuality, "99999999999"), EConvertError);
}

TEST(EnumText, BadValueMessageNamesTheText) {
    EXPECT_NE(BadPropertyValueMessage("Ultra").find("'Ultra'"), std::string::npos);
}

}  // namespace
