// vdform's inspector (palette, props, set) run in-process under Wine on form files holding the
// movie store and every player class, in both form formats, and on damaged input.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "text_support.h"
#include "vd_flashreg.h"
#include "vd_formfile.h"
#include "vd_formtool.h"
#include "vd_layer.h"

using namespace vd;
namespace fs = std::filesystem;

namespace {

// intro.swf holding the three bytes 01 02 03.
const std::string kForm = vdtest::Crlf(
    "object Form1: TForm1\n"
    "  Caption = 'Design'\n"
    "  object Movies: TvdFlashList\n"
    "    Flashs = <\n"
    "      item\n"
    "        FlashStore = 'intro.swf'\n"
    "        FlashStream = {\n"
    "          040900000069006E00740072006F002E0073007700660003000000010203}\n"
    "      end>\n"
    "  end\n"
    "  object Player1: TvdFlashPlayer\n"
    "    Left = 8\n"
    "    Top = 8\n"
    "    Width = 320\n"
    "    Height = 240\n"
    "    Skin = 'SteelOverAll'\n"
    "    Volume = 50\n"
    "    OnFSCommand = Player1FSCommand\n"
    "  end\n"
    "  object Wnd1: TvdFlashPlayerWnd\n"
    "    Left = 340\n"
    "    Width = 200\n"
    "  end\n"
    "  object Comp1: TvdFlashPlayerComp\n"
    "    Width = 64\n"
    "    Height = 48\n"
    "  end\n"
    "  object Layer1: TvdFlashLayer\n"
    "    MasterAlpha = 200\n"
    "  end\n"
    "end\n");

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const fs::path& p, const std::string& data) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

const TFormObject& Child(const TFormObject& root, const std::string& name) {
    for (const TFormObject& c : root.Children)
        if (c.Name == name) return c;
    throw std::logic_error("no child " + name);
}

// The stored property's text, "" when the object does not store it.
std::string Stored(const TFormObject& obj, const std::string& prop) {
    for (const TFormProperty& p : obj.Properties)
        if (p.Name == prop) return FormValueSummary(p.Value);
    return {};
}

std::vector<std::string> PropertyNames(const TFormObject& obj) {
    std::vector<std::string> names;
    for (const TFormProperty& p : obj.Properties) names.push_back(p.Name);
    return names;
}

class Inspector : public ::testing::TestWithParam<bool> {  // binary form?
protected:
    void SetUp() override {
        InitializeLayerUnit();
        InitializeFlashRegUnit();
        Register();
        dir_ = fs::temp_directory_path() / ("vdform-inspector-" + std::to_string(std::random_device()()));
        fs::create_directories(dir_);
        form_ = dir_ / (GetParam() ? "form.dfm" : "form.txt");
        WriteAll(form_, GetParam() ? ObjectTextToBinary(kForm) : kForm);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
        FinalizeFlashRegUnit();
        FinalizeLayerUnit();
    }

    int Run(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        return RunVdform(args, out_, err_);
    }
    std::string F() const {
        const std::u8string u = form_.u8string();
        return std::string(u.begin(), u.end());
    }
    TFormObject Tree() const { return ParseForm(ReadAll(form_)); }
    // The line props prints for a property, "" when there is none.
    std::string PropsLine(const std::string& component, const std::string& prop) {
        EXPECT_EQ(Run({"props", F(), component}), kVdformOk) << err_.str();
        std::istringstream lines(out_.str());
        for (std::string line; std::getline(lines, line);)
            if (line.rfind(prop + "\t", 0) == 0) return line;
        return {};
    }

    fs::path dir_, form_;
    std::ostringstream out_, err_;
};

TEST_P(Inspector, PaletteListsTheVidoraPageAndTheEditors) {
    ASSERT_EQ(Run({"palette"}), kVdformOk) << err_.str();
    EXPECT_EQ(out_.str(),
              "page Vidora\n"
              "  TvdFlashList\n"
              "  TvdFlashPlayer\n"
              "  TvdFlashPlayerWnd\n"
              "  TvdFlashPlayerComp\n"
              "  TvdFlashLayer\n"
              "editor TvdFlashStreamProperty: WideString TvdFlashStream.FlashStore\n"
              "editor TvdSkinProperty: string TvdFlashPlayer.Skin\n"
              "editor TvdSkinProperty: string TvdFlashPlayerWnd.Skin\n"
              "editor TvdSkinProperty: string TvdFlashPlayerComp.Skin\n");
}

TEST_P(Inspector, PropsShowsValuesEditorsAttributesAndLists) {
    const std::string skins =
        "\tTvdSkinProperty\t137 [paValueList, paMultiSelect, paRevertable]"
        "\tClearOverAll|SteelOverAll|MojaveOverAll|ArcticOverAll";
    EXPECT_EQ(PropsLine("Player1", "Skin"), "Skin\tSteelOverAll" + skins);
    EXPECT_EQ(PropsLine("Player1", "Volume"), "Volume\t50\tTIntegerProperty\t136 [paMultiSelect, paRevertable]");
    EXPECT_EQ(PropsLine("Player1", "OnFSCommand"), "OnFSCommand\tPlayer1FSCommand\tTMethodProperty\t64 [paReadOnly]");
    EXPECT_EQ(PropsLine("player1", "Plugin"),
              "Plugin\tvdDefault\tTEnumProperty\t137 [paValueList, paMultiSelect, paRevertable]"
              "\tvdDefault|vdNetscape|vdActiveX");
    EXPECT_EQ(PropsLine("Wnd1", "Width"), "Width\t200\tTIntegerProperty\t136 [paMultiSelect, paRevertable]");
    EXPECT_NE(PropsLine("Wnd1", "Skin").find(skins), std::string::npos);
    EXPECT_NE(PropsLine("Comp1", "Skin").find(skins), std::string::npos);
    EXPECT_EQ(PropsLine("Comp1", "Height"), "Height\t48\tTIntegerProperty\t136 [paMultiSelect, paRevertable]");
    EXPECT_EQ(PropsLine("Layer1", "MasterAlpha"),
              "MasterAlpha\t200\tTIntegerProperty\t136 [paMultiSelect, paRevertable]");
    // The layer keeps the ordinary string editor for a Skin, if it has one.
    const std::string layerSkin = PropsLine("Layer1", "Skin");
    EXPECT_EQ(layerSkin.find("TvdSkinProperty"), std::string::npos) << layerSkin;
    EXPECT_EQ(PropsLine("Movies", "Flashs"),
              "Flashs\t(TvdFlashCollection)\tTClassProperty\t66 [paSubProperties, paReadOnly]");
    EXPECT_EQ(PropsLine("Movies", "Flashs[0].FlashStore"),
              "Flashs[0].FlashStore\tintro.swf\tTvdFlashStreamProperty\t4 [paDialog]");
}

TEST_P(Inspector, SetChangesOnlyThatPropertyAndKeepsTheFormat) {
    const TFormObject before = Tree();
    ASSERT_EQ(Run({"set", F(), "Player1.Skin", "MojaveOverAll"}), kVdformOk) << err_.str();
    ASSERT_EQ(Run({"set", F(), "Wnd1.Skin", "My Own Skin"}), kVdformOk) << err_.str();
    ASSERT_EQ(Run({"set", F(), "Comp1.Volume", "7"}), kVdformOk) << err_.str();
    ASSERT_EQ(Run({"set", F(), "Player1.Transparent", "False"}), kVdformOk) << err_.str();
    ASSERT_EQ(Run({"set", F(), "Player1.Plugin", "vdactivex"}), kVdformOk) << err_.str();
    ASSERT_EQ(Run({"set", F(), "Layer1.MasterAlpha", "255"}), kVdformOk) << err_.str();
    EXPECT_EQ(IsBinaryForm(ReadAll(form_)), GetParam()) << "the form keeps its format";

    const TFormObject after = Tree();
    const TFormObject& player = Child(after, "Player1");
    EXPECT_EQ(Stored(player, "Skin"), "'MojaveOverAll'");
    EXPECT_EQ(Stored(player, "Transparent"), "False");
    EXPECT_EQ(Stored(player, "Plugin"), "vdActiveX");
    EXPECT_EQ(Stored(player, "OnFSCommand"), "Player1FSCommand") << "the handler stays";
    EXPECT_EQ(Stored(player, "Volume"), "50");
    EXPECT_EQ(Stored(Child(after, "Wnd1"), "Skin"), "'My Own Skin'");
    EXPECT_EQ(Stored(Child(after, "Comp1"), "Volume"), "7");
    // New values go where the class stores them; a value back at its default is not stored.
    EXPECT_EQ(PropertyNames(Child(after, "Comp1")), (std::vector<std::string>{"Volume", "Width", "Height"}));
    EXPECT_TRUE(Child(after, "Layer1").Properties.empty());
    EXPECT_EQ(Child(after, "Movies"), Child(before, "Movies"));
    EXPECT_EQ(after.Properties, before.Properties);

    // Read back through the inspector.
    EXPECT_EQ(PropsLine("Player1", "Skin").rfind("Skin\tMojaveOverAll\t", 0), 0u);
    EXPECT_EQ(PropsLine("Player1", "Transparent").rfind("Transparent\tFalse\t", 0), 0u);
}

TEST_P(Inspector, BadInputIsRefusedOnOneLineAndNothingIsWritten) {
    const std::string before = ReadAll(form_);
    const std::vector<std::vector<std::string>> refused = {
        {"props", F(), "Nobody"},
        {"set", F(), "Nobody.Skin", "x"},
        {"set", F(), "Player1.Colour", "clRed"},
        {"set", F(), "Player1.Volume", "loud"},
        {"set", F(), "Player1.Volume", "99999999999"},
        {"set", F(), "Player1.Plugin", "vdNowhere"},
        {"set", F(), "Player1.Transparent", "perhaps"},
        {"set", F(), "Player1.OnFSCommand", "Other"},
        {"set", F(), "Movies.Flashs", "x"},
        {"props", (dir_ / "absent.dfm").string(), "Player1"},
        {"set", (dir_ / "absent.dfm").string(), "Player1.Volume", "1"},
    };
    for (const auto& args : refused) {
        EXPECT_EQ(Run(args), kVdformFailed) << args[2];
        const std::string message = err_.str();
        EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
        EXPECT_EQ(message.rfind("vdform: ", 0), 0u) << message;
        EXPECT_EQ(ReadAll(form_), before) << args[2];
    }
    EXPECT_EQ(Run({"set", F(), "Player1", "1"}), kVdformUsageError);

    // A damaged form, and a component of a class nobody registered.
    const std::string damaged =
        GetParam() ? before.substr(0, before.size() / 2) : "object Form1: TForm1\r\n  Width = \r\n";
    WriteAll(form_, damaged);
    EXPECT_EQ(Run({"props", F(), "Player1"}), kVdformFailed);
    EXPECT_EQ(Run({"set", F(), "Player1.Volume", "1"}), kVdformFailed);
    EXPECT_EQ(ReadAll(form_), damaged);
    WriteAll(form_, vdtest::Crlf("object Form1: TForm1\n  object X1: TNoSuchPlayer\n  end\nend\n"));
    EXPECT_EQ(Run({"props", F(), "X1"}), kVdformFailed);
    EXPECT_NE(err_.str().find("TNoSuchPlayer"), std::string::npos) << err_.str();
}

TEST_P(Inspector, StoreRunsTheMovieFilePicker) {
    WriteAll(dir_ / "clip.flv", "FLV\x01");
    const std::u8string clip = (dir_ / "clip.flv").u8string();
    ASSERT_EQ(Run({"store", F(), std::string(clip.begin(), clip.end())}), kVdformOk) << err_.str();
    EXPECT_EQ(PropsLine("Movies", "Flashs[1].FlashStore"),
              "Flashs[1].FlashStore\tclip.flv\tTvdFlashStreamProperty\t4 [paDialog]");
    EXPECT_EQ(Child(Tree(), "Player1"), Child(ParseForm(kForm), "Player1"));
}

INSTANTIATE_TEST_SUITE_P(Formats, Inspector, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Binary" : "Text"; });

}  // namespace
