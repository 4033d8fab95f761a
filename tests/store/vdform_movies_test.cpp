// vdform movies / extract / store on real form files holding several stored movies, checked
// by reading the forms back into the store classes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "vd_filer.h"
#include "vd_flashstore.h"
#include "vd_formtool.h"

using namespace vd;
namespace fs = std::filesystem;

namespace {

class TMoviesForm : public TComponent {
    VD_CLASS(TMoviesForm, TComponent)
public:
    explicit TMoviesForm(TComponent* owner) : TComponent(owner) {}
};
VD_DEFINE_CLASS(TMoviesForm)

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

void Add(TvdFlashList& list, const WideString& name, const std::string& data) {
    TvdFlashStream* item = list.GetFlashs()->Add();
    TMemoryStream s;
    s.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
    item->LoadData(s);
    item->SetFlashStore(name);
}

std::string DataOf(TvdFlashStream* item) {
    return std::string(reinterpret_cast<const char*>(item->Data().Memory()),
                       static_cast<size_t>(item->Data().GetSize()));
}

class VdformMovies : public ::testing::TestWithParam<bool> {  // binary form?
protected:
    void SetUp() override {
        RegisterFlashStoreClasses();
        RegisterClass(TMoviesForm::StaticClassInfo());
        dir_ = fs::temp_directory_path() / ("vdform-movies-" + std::to_string(std::random_device()()));
        fs::create_directories(dir_);
        TMoviesForm form(nullptr);
        form.SetName("Form1");
        auto* first = new TvdFlashList(&form);
        first->SetName("Movies");
        Add(*first, u"intro.swf", std::string("CWS\x08\x10\0\0\0", 8));
        Add(*first, u"clip.flv", "FLV\x01\x05");
        first->GetFlashs()->Add();  // an empty item
        auto* second = new TvdFlashList(&form);
        second->SetName("Extras");
        Add(*second, u"data.xml", "<x/>");
        form_ = dir_ / (GetParam() ? "form.dfm" : "form.txt");
        WriteAll(form_, GetParam() ? WriteComponentBinary(&form) : WriteComponentText(&form));
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    int Run(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        return RunVdform(args, out_, err_);
    }
    std::string P(const fs::path& p) const {
        const std::u8string u = p.u8string();
        return std::string(u.begin(), u.end());
    }

    fs::path dir_, form_;
    std::ostringstream out_, err_;
};

TEST_P(VdformMovies, ListsEveryStoredMovieWithComponentNameAndSize) {
    ASSERT_EQ(Run({"movies", P(form_)}), kVdformOk) << err_.str();
    EXPECT_EQ(out_.str(),
              "Movies\tintro.swf\t8\n"
              "Movies\tclip.flv\t5\n"
              "Movies\t(empty)\t0\n"
              "Extras\tdata.xml\t4\n");
}

TEST_P(VdformMovies, ExtractsOneMovieByNameWithoutRegardToCase) {
    const fs::path out = dir_ / "out.flv";
    ASSERT_EQ(Run({"extract", P(form_), "CLIP.FLV", P(out)}), kVdformOk) << err_.str();
    EXPECT_EQ(ReadAll(out), "FLV\x01\x05");
    ASSERT_EQ(Run({"extract", P(form_), "data.xml", P(out)}), kVdformOk) << err_.str();
    EXPECT_EQ(ReadAll(out), "<x/>");
    EXPECT_EQ(Run({"extract", P(form_), "missing.swf", P(out)}), kVdformFailed);
    EXPECT_NE(err_.str().find("no stored movie named missing.swf"), std::string::npos) << err_.str();
    EXPECT_EQ(Run({"extract", P(form_), "(empty)", P(out)}), kVdformFailed) << "an empty item has nothing to extract";
}

TEST_P(VdformMovies, StoresFilesInTheFirstListAndThePlayerReadsThemBack) {
    fs::create_directories(dir_ / "sub");
    WriteAll(dir_ / "sub" / "Intro.swf", "new intro");  // replaces intro.swf (case differs)
    const fs::path wide = dir_ / "sub" / fs::path(u8"映画.swf");
    WriteAll(wide, "movie");  // a new item with a wide name
    const std::string before = ReadAll(form_);
    ASSERT_EQ(Run({"store", P(form_), P(dir_ / "sub" / "Intro.swf"), P(wide)}), kVdformOk) << err_.str();
    const std::string after = ReadAll(form_);
    EXPECT_EQ(IsBinaryForm(after), GetParam()) << "the form keeps its format";

    TMoviesForm form(nullptr);
    ReadComponent(after, &form);
    auto* movies = dynamic_cast<TvdFlashList*>(form.FindComponent("Movies"));
    auto* extras = dynamic_cast<TvdFlashList*>(form.FindComponent("Extras"));
    ASSERT_TRUE(movies && extras);
    ASSERT_EQ(movies->GetFlashs()->Count(), 4);
    EXPECT_EQ(movies->GetFlashs()->GetItem(0)->GetFlashStore(), u"Intro.swf");
    EXPECT_EQ(DataOf(movies->GetFlashs()->GetItem(0)), "new intro");
    EXPECT_EQ(DataOf(movies->GetFlashs()->GetItem(1)), "FLV\x01\x05");
    EXPECT_EQ(movies->GetFlashs()->GetItem(3)->GetFlashStore(), u"映画.swf");
    TvdFlashStream* found = movies->FindFlash(u"映画.SWF");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(DataOf(found), "movie");
    EXPECT_EQ(extras->GetFlashs()->Count(), 1);

    // Writing the form read back gives the same bytes: vdform wrote what the player writes.
    EXPECT_EQ(GetParam() ? WriteComponentBinary(&form) : WriteComponentText(&form), after);
}

TEST_P(VdformMovies, StoreRefusesWithoutChangingTheForm) {
    const std::string before = ReadAll(form_);
    WriteAll(dir_ / "empty.swf", "");
    EXPECT_EQ(Run({"store", P(form_), P(dir_ / "empty.swf")}), kVdformFailed);
    EXPECT_EQ(Run({"store", P(form_), P(dir_ / "absent.swf")}), kVdformFailed);
    EXPECT_EQ(Run({"store", P(form_)}), kVdformUsageError);
    EXPECT_EQ(ReadAll(form_), before);

    // A form without a TvdFlashList.
    const fs::path plain = dir_ / "plain.txt";
    WriteAll(plain, "object Form1: TMoviesForm\r\nend\r\n");
    WriteAll(dir_ / "a.swf", "a");
    EXPECT_EQ(Run({"store", P(plain), P(dir_ / "a.swf")}), kVdformFailed);
    EXPECT_NE(err_.str().find("TvdFlashList"), std::string::npos);
}

// The inspector on the platform-free store component (the players need the Windows build).
TEST_P(VdformMovies, InspectorSetsAPropertyOfTheStoreComponent) {
    const std::string before = ReadAll(form_);
    ASSERT_EQ(Run({"set", P(form_), "Movies.Tag", "42"}), kVdformOk) << err_.str();
    ASSERT_EQ(Run({"props", P(form_), "Movies"}), kVdformOk) << err_.str();
    EXPECT_NE(out_.str().find("Tag\t42\tTIntegerProperty\t"), std::string::npos) << out_.str();
    EXPECT_NE(out_.str().find("Flashs[1].FlashStore\tclip.flv\t"), std::string::npos) << out_.str();

    TMoviesForm form(nullptr);
    ReadComponent(ReadAll(form_), &form);
    EXPECT_EQ(form.FindComponent("Movies")->GetTag(), 42);
    EXPECT_EQ(form.FindComponent("Extras")->GetTag(), 0);
    EXPECT_EQ(dynamic_cast<TvdFlashList*>(form.FindComponent("Movies"))->GetFlashs()->Count(), 3);

    const std::string changed = ReadAll(form_);
    EXPECT_EQ(Run({"set", P(form_), "Movies.Tag", "forty"}), kVdformFailed);
    EXPECT_EQ(Run({"set", P(form_), "Movies.Flashs", "none"}), kVdformFailed);
    EXPECT_EQ(ReadAll(form_), changed);
    ASSERT_EQ(Run({"set", P(form_), "Movies.Tag", "0"}), kVdformOk) << err_.str();
    EXPECT_EQ(ReadAll(form_), before) << "back at its default, Tag is no longer stored";
}

INSTANTIATE_TEST_SUITE_P(Formats, VdformMovies, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Binary" : "Text"; });

TEST(VdformMoviesDamaged, DamagedStoredMovieIsReportedNotTrusted) {
    const std::string form =
        "object Form1: TMoviesForm\r\n"
        "  object Movies: TvdFlashList\r\n"
        "    Flashs = <\r\n"
        "      item\r\n"
        "        FlashStore = 'a.swf'\r\n"
        "        FlashStream = {04FFFFFF7F}\r\n"
        "      end>\r\n"
        "  end\r\n"
        "end\r\n";
    const fs::path p =
        fs::temp_directory_path() / ("vdform-damaged-" + std::to_string(std::random_device()()) + ".txt");
    WriteAll(p, form);
    std::ostringstream out, err;
    const std::u8string u = p.u8string();
    EXPECT_EQ(RunVdform({"movies", std::string(u.begin(), u.end())}, out, err), kVdformFailed);
    EXPECT_NE(err.str().find("FlashStream"), std::string::npos) << err.str();
    fs::remove(p);
}

}  // namespace
