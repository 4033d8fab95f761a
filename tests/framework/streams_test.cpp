#include "vd_streams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

namespace {

using vd::TFileStream;
using vd::TMemoryStream;
using vd::TSeekOrigin;
using vd::TStream;

std::string Bytes(TMemoryStream& s) {
    return std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.GetSize()));
}

void Put(TStream& s, const std::string& text) { s.WriteBuffer(text.data(), static_cast<int64_t>(text.size())); }

std::string Take(TStream& s, int64_t count) {
    std::string out(static_cast<size_t>(count), '\0');
    s.ReadBuffer(out.data(), count);
    return out;
}

template <class Fn> std::string MessageOf(Fn&& fn) {
    try {
        fn();
    } catch (const vd::Exception& e) {
        return e.Message();
    }
    return "(nothing raised)";
}

// A source over fixed bytes that hands out at most `chunk` bytes per Read and may claim to be
// longer than it is, standing in for pipes and truncated inputs. Size comes from TStream's
// default (seeking to the end and back).
class TrickleStream : public TStream {
public:
    TrickleStream(std::string data, int64_t chunk, int64_t claimedSize = -1)
        : data_(std::move(data)),
          chunk_(chunk),
          claimed_(claimedSize < 0 ? static_cast<int64_t>(data_.size()) : claimedSize) {}
    int64_t Read(void* buffer, int64_t count) override {
        const int64_t n = std::min({count, chunk_, static_cast<int64_t>(data_.size()) - pos_});
        if (n <= 0) return 0;
        std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
        pos_ += n;
        return n;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override {
        pos_ = (origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soEnd ? claimed_ : pos_) + offset;
        return pos_;
    }

private:
    std::string data_;
    int64_t chunk_;
    int64_t claimed_;
    int64_t pos_ = 0;
};

// A sink that takes at most `room` bytes in all.
class FullSink : public TStream {
public:
    explicit FullSink(int64_t room) : room_(room) {}
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void*, int64_t count) override {
        const int64_t n = std::min(count, room_);
        room_ -= n;
        return n;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return 0; }

private:
    int64_t room_;
};

// A fresh directory under the system temp folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        static std::atomic<int> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::filesystem::temp_directory_path() /
                ("vd_streams_" + std::to_string(stamp) + "_" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    std::string Dir() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

std::string FileContent(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFileContent(const std::string& name, const std::string& content) {
    std::ofstream(name, std::ios::binary) << content;
}

// ---------------------------------------------------------------------------------------------

TEST(MemoryStream, ReadIsShortAtTheEndWhileReadBufferRaises) {
    TMemoryStream s;
    Put(s, "hello");
    s.SetPosition(2);
    char buf[10] = {};
    EXPECT_EQ(s.Read(buf, 10), 3);
    EXPECT_EQ(std::string(buf, 3), "llo");
    EXPECT_EQ(s.GetPosition(), 5);
    EXPECT_EQ(s.Read(buf, 10), 0);

    s.SetPosition(2);
    EXPECT_EQ(MessageOf([&] { s.ReadBuffer(buf, 4); }), "Stream read error");
    EXPECT_THROW(s.ReadBuffer(buf, 4), vd::EReadError);
    s.SetPosition(1);
    EXPECT_EQ(Take(s, 4), "ello");
}

TEST(MemoryStream, SeekingPastTheEndThenWritingFillsTheGapWithZeros) {
    TMemoryStream s;
    Put(s, "ab");
    EXPECT_EQ(s.Seek(5, TSeekOrigin::soBeginning), 5);
    EXPECT_EQ(s.GetSize(), 2) << "seeking alone must not grow the stream";
    char none;
    EXPECT_EQ(s.Read(&none, 1), 0);
    Put(s, "c");
    EXPECT_EQ(Bytes(s), std::string("ab\0\0\0c", 6));

    EXPECT_EQ(s.Seek(-2, TSeekOrigin::soEnd), 4);
    EXPECT_EQ(s.Seek(-3, TSeekOrigin::soCurrent), 1);
    EXPECT_THROW(s.Seek(-2, TSeekOrigin::soCurrent), vd::EStreamError);
    EXPECT_EQ(s.GetPosition(), 1) << "a refused seek leaves the position alone";
}

TEST(MemoryStream, SetSizeClampsThePositionAndZeroesNewBytes) {
    TMemoryStream s;
    Put(s, "0123456789");
    s.SetSize(4);
    EXPECT_EQ(s.GetSize(), 4);
    EXPECT_EQ(s.GetPosition(), 4);
    s.SetPosition(1);
    s.SetSize(8);
    EXPECT_EQ(s.GetPosition(), 1) << "a position inside the new size stays";
    EXPECT_EQ(Bytes(s), std::string("0123\0\0\0\0", 8)) << "old bytes beyond a shrink must not come back";
}

TEST(MemoryStream, SizesItCannotHoldRaiseInsteadOfCrashing) {
    TMemoryStream s;
    Put(s, "keep");
    EXPECT_THROW(s.SetSize(-1), vd::EStreamError);
    EXPECT_THROW(s.SetSize(TMemoryStream::MaxSize() + 1), vd::EOutOfMemory);
    EXPECT_THROW(s.SetSize(std::numeric_limits<int64_t>::max()), vd::EOutOfMemory);

    // A write whose end would overflow a 64-bit position.
    s.Seek(std::numeric_limits<int64_t>::max() - 1, TSeekOrigin::soBeginning);
    EXPECT_THROW(s.Write("abcd", 4), vd::EOutOfMemory);
    EXPECT_EQ(Bytes(s), "keep");
    EXPECT_GE(TMemoryStream::MaxSize(), int64_t{std::numeric_limits<int32_t>::max()})
        << "any stored movie size must fit";
}

TEST(MemoryStream, ManySmallWritesKeepEveryByte) {
    TMemoryStream s;
    for (int i = 0; i < 100000; ++i) {
        const auto b = static_cast<uint8_t>(i * 7);
        s.WriteBuffer(&b, 1);
    }
    ASSERT_EQ(s.GetSize(), 100000);
    for (int i = 0; i < 100000; ++i) ASSERT_EQ(s.Memory()[i], static_cast<uint8_t>(i * 7)) << i;
}

TEST(MemoryStream, WritingItsOwnBytesWhileGrowingCopiesThemIntact) {
    TMemoryStream s;
    Put(s, "abcd");
    s.Write(s.Memory(), 4);  // growth moves the block the source points into
    s.Write(s.Memory() + 2, 6);
    EXPECT_EQ(Bytes(s), "abcdabcdcdabcd");
}

TEST(MemoryStream, ClearEmptiesAndRewinds) {
    TMemoryStream s;
    Put(s, "data");
    s.Clear();
    EXPECT_EQ(s.GetSize(), 0);
    EXPECT_EQ(s.GetPosition(), 0);
    Put(s, "x");
    EXPECT_EQ(Bytes(s), "x");
}

TEST(MemoryStream, LoadFromStreamTakesTheWholeSourceAndKeepsOldContentOnFailure) {
    TMemoryStream source;
    Put(source, "whole source");
    source.SetPosition(6);
    TMemoryStream s;
    Put(s, "old old old old");
    s.LoadFromStream(source);
    EXPECT_EQ(Bytes(s), "whole source");
    EXPECT_EQ(s.GetPosition(), 0);

    TrickleStream liar("short", 2, /*claimedSize=*/50);
    EXPECT_THROW(s.LoadFromStream(liar), vd::EReadError);
    EXPECT_EQ(Bytes(s), "whole source");

    s.LoadFromStream(s);  // reloading itself is harmless
    EXPECT_EQ(Bytes(s), "whole source");
}

TEST(MemoryStream, SaveToStreamWritesEverythingAtTheTargetPosition) {
    TMemoryStream s;
    Put(s, "payload");
    s.SetPosition(3);
    TMemoryStream target;
    Put(target, ">>");
    s.SaveToStream(target);
    EXPECT_EQ(Bytes(target), ">>payload");
    FullSink full(4);
    EXPECT_THROW(s.SaveToStream(full), vd::EWriteError);
}

TEST(MemoryStream, SaveToFileAndLoadFromFileRoundTripThroughADisk) {
    TempDir dir;
    const std::string name = dir.File("movie.bin");
    std::string content;
    for (int i = 0; i < 70000; ++i) content.push_back(static_cast<char>(i % 251));

    TMemoryStream out;
    Put(out, content);
    out.SaveToFile(name);
    EXPECT_EQ(FileContent(name), content);

    TMemoryStream in;
    in.LoadFromFile(name);
    EXPECT_EQ(Bytes(in), content);

    const std::string missing = dir.File("missing.bin");
    EXPECT_THROW(in.LoadFromFile(missing), vd::EFOpenError);
    EXPECT_EQ(Bytes(in), content);
    EXPECT_THROW(out.SaveToFile(dir.File("no/such/dir.bin")), vd::EFOpenError);
}

// ---------------------------------------------------------------------------------------------

TEST(Stream, ReadBufferAndWriteBufferRaiseOnlyWhenBytesRunOut) {
    TrickleStream trickle("abcdef", 1);
    EXPECT_EQ(Take(trickle, 5), "abcde") << "one-byte reads still fill the buffer";
    EXPECT_THROW(Take(trickle, 2), vd::EReadError);

    FullSink sink(3);
    EXPECT_NO_THROW(sink.WriteBuffer("abc", 3));
    EXPECT_EQ(MessageOf([&] { sink.WriteBuffer("d", 1); }), "Stream write error");
    EXPECT_THROW(sink.WriteBuffer("d", 1), vd::EWriteError);
}

TEST(Stream, DefaultSizeComesFromSeekingAndLeavesThePositionAlone) {
    TrickleStream s("0123456789", 100);
    s.SetPosition(3);
    EXPECT_EQ(s.GetSize(), 10);
    EXPECT_EQ(s.GetPosition(), 3);
    EXPECT_THROW(s.SetSize(4), vd::EStreamError) << "a stream that cannot resize says so";
}

TEST(Stream, CopyFromWithCountZeroCopiesTheWholeSourceFromItsStart) {
    TMemoryStream source;
    Put(source, "0123456789");
    source.SetPosition(7);
    TMemoryStream target;
    Put(target, "[");
    EXPECT_EQ(target.CopyFrom(source, 0), 10);
    EXPECT_EQ(Bytes(target), "[0123456789");
    EXPECT_EQ(source.GetPosition(), 10);
}

TEST(Stream, CopyFromWithACountStartsAtTheSourcePositionAndRaisesWhenShort) {
    TMemoryStream source;
    Put(source, "0123456789");
    source.SetPosition(4);
    TMemoryStream target;
    EXPECT_EQ(target.CopyFrom(source, 3), 3);
    EXPECT_EQ(Bytes(target), "456");
    EXPECT_THROW(target.CopyFrom(source, 4), vd::EReadError);
    EXPECT_THROW(target.CopyFrom(source, -1), vd::EStreamError);
    FullSink full(2);
    source.SetPosition(0);
    EXPECT_THROW(full.CopyFrom(source, 5), vd::EWriteError);
}

TEST(Stream, CopyFromCarriesLargeSourcesAcrossItsBufferBoundaries) {
    std::string content;
    for (int i = 0; i < 200001; ++i) content.push_back(static_cast<char>((i * 13) % 256));
    TrickleStream source(content, 5000);  // short reads on top of the copy's own chunks
    TMemoryStream target;
    EXPECT_EQ(target.CopyFrom(source, 0), 200001);
    EXPECT_EQ(Bytes(target), content);
}

// ---------------------------------------------------------------------------------------------

TEST(FileStream, CreateWriteReopenAndRead) {
    TempDir dir;
    const std::string name = dir.File("a.bin");
    {
        TFileStream f(name, vd::fmCreate);
        EXPECT_EQ(f.GetFileName(), name);
        Put(f, "hello world");
        f.SetPosition(0);
        EXPECT_EQ(Take(f, 5), "hello") << "fmCreate opens for reading too";
    }
    EXPECT_EQ(FileContent(name), "hello world");

    TFileStream f(name, vd::fmOpenRead | vd::fmShareDenyWrite);
    EXPECT_EQ(f.GetSize(), 11);
    f.SetPosition(6);
    char buf[20];
    EXPECT_EQ(f.Read(buf, 20), 5);
    EXPECT_EQ(std::string(buf, 5), "world");
    EXPECT_EQ(f.Write("x", 1), 0);
    EXPECT_THROW(Put(f, "x"), vd::EWriteError);
    EXPECT_THROW(f.SetSize(2), vd::EStreamError);
}

TEST(FileStream, CreateEmptiesAnExistingFile) {
    TempDir dir;
    const std::string name = dir.File("b.bin");
    WriteFileContent(name, "previous content");
    {
        TFileStream f(name, vd::fmCreate);
        EXPECT_EQ(f.GetSize(), 0);
        Put(f, "new");
    }
    EXPECT_EQ(FileContent(name), "new");
}

TEST(FileStream, OpenForWritingKeepsContentAndReadsNothing) {
    TempDir dir;
    const std::string name = dir.File("c.bin");
    WriteFileContent(name, "abcdef");
    {
        TFileStream f(name, vd::fmOpenWrite);
        f.SetPosition(2);
        Put(f, "XY");
        char c;
        f.SetPosition(0);
        EXPECT_EQ(f.Read(&c, 1), 0);
    }
    EXPECT_EQ(FileContent(name), "abXYef");
}

TEST(FileStream, InterleavedReadsAndWritesLandWhereThePositionSays) {
    TempDir dir;
    const std::string name = dir.File("d.bin");
    WriteFileContent(name, "0123456789");
    {
        TFileStream f(name, vd::fmOpenReadWrite);
        EXPECT_EQ(Take(f, 2), "01");
        Put(f, "ab");                 // write straight after a read
        EXPECT_EQ(Take(f, 2), "45");  // read straight after a write
        EXPECT_EQ(f.GetPosition(), 6);
        f.Seek(-1, TSeekOrigin::soEnd);
        Put(f, "Z");
        f.SetPosition(0);
        EXPECT_EQ(Take(f, 10), "01ab45678Z");
    }
    EXPECT_EQ(FileContent(name), "01ab45678Z");
}

TEST(FileStream, SeekingPastTheEndThenWritingFillsTheGapWithZeros) {
    TempDir dir;
    const std::string name = dir.File("e.bin");
    {
        TFileStream f(name, vd::fmCreate);
        Put(f, "ab");
        EXPECT_EQ(f.Seek(3, TSeekOrigin::soCurrent), 5);
        Put(f, "c");
        EXPECT_EQ(f.GetSize(), 6);
        f.SetPosition(1);
        EXPECT_THROW(f.Seek(-7, TSeekOrigin::soEnd), vd::EStreamError);
        EXPECT_EQ(f.GetPosition(), 1) << "a refused seek leaves the position alone";
    }
    EXPECT_EQ(FileContent(name), std::string("ab\0\0\0c", 6));
}

TEST(FileStream, PositionsBeyondFourGigabytesSurvive) {
    TempDir dir;
    TFileStream f(dir.File("f.bin"), vd::fmCreate);
    const int64_t far = (int64_t{5} << 30) + 3;
    EXPECT_EQ(f.Seek(far, TSeekOrigin::soBeginning), far);
    EXPECT_EQ(f.GetPosition(), far);
    EXPECT_EQ(f.GetSize(), 0);
}

TEST(FileStream, SetSizeTruncatesAndGrowsTheFile) {
    TempDir dir;
    const std::string name = dir.File("g.bin");
    {
        TFileStream f(name, vd::fmCreate);
        Put(f, "0123456789");  // still buffered when the size changes
        f.SetSize(4);
        EXPECT_EQ(f.GetSize(), 4);
        EXPECT_EQ(f.GetPosition(), 4);
        f.SetPosition(1);
        f.SetSize(7);
        EXPECT_EQ(f.GetPosition(), 1);
        EXPECT_EQ(Take(f, 6), std::string("123\0\0\0", 6));
        EXPECT_THROW(f.SetSize(-1), vd::EStreamError);
    }
    EXPECT_EQ(FileContent(name), std::string("0123\0\0\0", 7));
}

TEST(FileStream, OpeningFailuresNameTheFile) {
    TempDir dir;
    const std::string missing = dir.File("missing.bin");
    try {
        TFileStream f(missing, vd::fmOpenRead);
        FAIL() << "opened a missing file";
    } catch (const vd::EFOpenError& e) {
        const std::string prefix = "Cannot open file \"" + missing + "\". ";
        EXPECT_EQ(e.Message().substr(0, prefix.size()), prefix);
        EXPECT_GT(e.Message().size(), prefix.size()) << "the reason follows";
    }
    EXPECT_THROW(TFileStream(missing, vd::fmOpenReadWrite), vd::EStreamError);
    EXPECT_FALSE(std::filesystem::exists(missing)) << "opening must not create";

    const std::string inMissingDir = dir.File("nodir/x.bin");
    EXPECT_EQ(MessageOf([&] {
                  TFileStream f(inMissingDir, vd::fmCreate);
              }).rfind("Cannot create file \"" + inMissingDir + "\". ", 0),
              0u);
    EXPECT_THROW(TFileStream(dir.Dir(), vd::fmOpenRead), vd::EFOpenError) << "a directory is not a file";
}

// ---------------------------------------------------------------------------------------------

std::vector<TStream*> g_destroyed;
void RecordDestroyed(TStream* s) { g_destroyed.push_back(s); }

struct HookGuard {
    HookGuard() {
        g_destroyed.clear();
        vd::SetStreamDestroyedHook(&RecordDestroyed);
    }
    ~HookGuard() { vd::SetStreamDestroyedHook(nullptr); }
};

TEST(StreamDestroyedHook, ReportsEachDyingStreamOnce) {
    TempDir dir;
    HookGuard guard;
    auto* memory = new TMemoryStream;
    TStream* asStream = memory;
    delete memory;
    ASSERT_EQ(g_destroyed.size(), 1u);
    EXPECT_EQ(g_destroyed[0], asStream);

    TStream* file = nullptr;
    {
        TFileStream f(dir.File("h.bin"), vd::fmCreate);
        file = &f;
        EXPECT_EQ(g_destroyed.size(), 1u) << "no report while alive";
    }
    ASSERT_EQ(g_destroyed.size(), 2u);
    EXPECT_EQ(g_destroyed[1], file);

    vd::SetStreamDestroyedHook(nullptr);
    { TMemoryStream quiet; }
    EXPECT_EQ(g_destroyed.size(), 2u);
}

}  // namespace
