// The built-in movies as RCDATA resources of the module, the real file-existence test and the
// application directory, under Wine.
#include "vd_win32_owners.h"
#include "vd_windows.h"

#include <gtest/gtest.h>

#include <string>

#include "vd_movieres.h"

using namespace vd;

namespace {

TEST(MovieResources, FoundFromTheRequestedNamesWithoutRegardToCase) {
    for (const char16_t* name :
         {u"flvplayback.swf", u"FLVPLAYBACK.SWF", u"ClearOverAll.swf", u"clearoverall.swf", u"SteelOverAll.swf",
          u"MojaveOverAll.swf", u"ArcticOverAll.swf", u"arcticoverall", u"ArcticOverAll.xml"}) {
        TMovieResource r;
        EXPECT_TRUE(FindMovieResource(name, r)) << WideToUtf8(name);
        ASSERT_GT(r.Size, 8u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.Data), 3), "CWS");
    }
    for (const char16_t* name : {u"media/flvplayback.swf", u"nosuch.swf", u"", u"#10.swf", u"flvplayback.x.swf"}) {
        TMovieResource r;
        EXPECT_FALSE(FindMovieResource(name, r)) << WideToUtf8(name);
        EXPECT_EQ(OpenMovieResource(name), nullptr);
    }
}

TEST(MovieResources, OpenedAsACopyPositionedAtTheStart) {
    TMovieResource r;
    ASSERT_TRUE(FindMovieResource(u"SteelOverAll.swf", r));
    auto s = OpenMovieResource(u"steeloverall.swf");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetPosition(), 0);
    ASSERT_EQ(s->GetSize(), static_cast<int64_t>(r.Size));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(s->Memory()), r.Size),
              std::string(reinterpret_cast<const char*>(r.Data), r.Size));
    EXPECT_FALSE(IsVideoStream(*s));
}

TEST(Win32Files, LocalFileExistsAsksTheFileSystem) {
    InstallWin32FileExists();
    const WideString dir = ApplicationDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), u'\\');

    wchar_t temp[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    const WideString folder = reinterpret_cast<const char16_t*>(temp);
    const WideString file = folder + u"vd store test 映画.swf";
    {
        const vd::win32::TFile created(CreateFileW(reinterpret_cast<const wchar_t*>(file.c_str()), GENERIC_WRITE, 0,
                                                   nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_NE(created.Get(), INVALID_HANDLE_VALUE);
    }

    // As a file:// URL with forward slashes, escapes and a query, and as a plain path.
    WideString url = u"file:///" + SlashPath(file);
    for (size_t p; (p = url.find(u' ')) != WideString::npos;) url.replace(p, 1, u"%20");
    EXPECT_TRUE(LocalFileExists(url + u"?x=1")) << WideToUtf8(url);
    EXPECT_TRUE(LocalFileExists(file));
    EXPECT_FALSE(LocalFileExists(folder)) << "a folder is not a file";
    EXPECT_FALSE(LocalFileExists(folder + u"no such movie.swf"));
    DeleteFileW(reinterpret_cast<const wchar_t*>(file.c_str()));
    EXPECT_FALSE(LocalFileExists(file));
    SetFileExistsHook(nullptr);
}

}  // namespace
