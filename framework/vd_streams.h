// Byte streams of the component framework: the abstract TStream, an in-memory stream and a
// file stream. Form files, the movie store and downloads all move their bytes through these.
// Platform-free: built natively (under the sanitizers) and for Windows.
#pragma once

#include "vd_system.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vd {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream;

// Called from every stream's destructor with the dying stream. Code that hands out tokens for
// streams (the movie addresses) uses it to withdraw a token before the pointer can be reused.
// By the time the hook runs the derived parts are gone: use the pointer as a key only.
using TStreamDestroyedHook = void (*)(TStream*);
void SetStreamDestroyedHook(TStreamDestroyedHook hook);

class TStream : public TObject {
public:
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;
    ~TStream() override;

    std::string ClassName() const override { return "TStream"; }

    // Reads up to count bytes at the current position; returns how many were read (short at
    // the end of the data, 0 for count <= 0).
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // Writes up to count bytes at the current position; returns how many were written.
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Moves the position and returns the new one. Positions past the end are allowed; a
    // negative resulting position raises EStreamError.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    int64_t GetPosition() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }

    // By default found by seeking to the end and back.
    virtual int64_t GetSize();
    // Streams that cannot change their size raise EStreamError (Delphi's base silently
    // ignores the call, which hides the caller's mistake).
    virtual void SetSize(int64_t newSize);

    // Read or write exactly count bytes or raise EReadError / EWriteError. Partial transfers
    // are retried, so a stream that returns short counts before its end still works.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);

    // Copies count bytes from source's current position to this stream's position. A count of
    // 0 copies the whole of source from its beginning. Returns the number of bytes copied;
    // raises EReadError / EWriteError if source runs out or this stream refuses bytes, and
    // EStreamError for a negative count.
    int64_t CopyFrom(TStream& source, int64_t count);
};

// A stream over a growable block of memory.
class TMemoryStream : public TStream {
public:
    // The largest size an in-memory stream accepts: 1 TiB, or less where the address space is
    // smaller. Above it SetSize and writes raise EOutOfMemory without asking the allocator,
    // because some allocators (the sanitizers' among them) abort on absurd requests instead of
    // failing. Below it an allocation failure also becomes EOutOfMemory.
    static int64_t MaxSize();

    TMemoryStream() = default;

    std::string ClassName() const override { return "TMemoryStream"; }

    int64_t Read(void* buffer, int64_t count) override;
    // Writing past the end grows the stream; a gap left by seeking beyond the end reads as zeros.
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override { return static_cast<int64_t>(data_.size() - start_); }
    // New bytes are zero; a position beyond the new size moves to the new end.
    // Negative sizes raise EStreamError, sizes beyond MaxSize() EOutOfMemory.
    void SetSize(int64_t newSize) override;

    // The stream's bytes; valid until the size next changes. May be null while empty.
    uint8_t* Memory() { return reinterpret_cast<uint8_t*>(data_.data()) + start_; }
    const uint8_t* Memory() const { return reinterpret_cast<const uint8_t*>(data_.data()) + start_; }

    // Empties the stream and gives its memory back.
    void Clear();
    // Exchanges content and position with other; never fails. Lets an owner fill a new
    // stream first and then take its bytes, so the object others refer to stays the same.
    void Swap(TMemoryStream& other) noexcept {
        data_.swap(other.data_);
        std::swap(start_, other.start_);
        std::swap(position_, other.position_);
    }

    // Takes bytes as the whole content without copying them, at position 0.
    void Adopt(std::string&& bytes) noexcept;
    // Takes the bytes of source from its position to its end as the whole content, at
    // position 0, moving source's memory rather than copying it; source is left empty. The
    // bytes before source's position stay unused at the front of the block until the content
    // is replaced or cleared.
    void TakeRest(TMemoryStream& source) noexcept;

    // Replaces the content with the whole of stream (read from its beginning) and moves to
    // position 0. If reading fails the old content is kept.
    void LoadFromStream(TStream& stream);
    // Writes the whole content to stream at stream's position; this stream's position is unused.
    void SaveToStream(TStream& stream) const;
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;

private:
    void Resize(int64_t newSize, bool geometric);

    // The content is data_ from start_ on (start_ > 0 only after TakeRest).
    std::string data_;
    size_t start_ = 0;
    int64_t position_ = 0;
};

// Open modes, as in Delphi. The access part is the low two bits; fmCreate creates the file or
// empties an existing one and opens it for reading and writing. Share flags are accepted and
// ignored.
constexpr uint16_t fmCreate = 0xFF00;
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;

// A stream over a file opened with the C runtime. A narrow file name is passed to the runtime's
// fopen as it is (on Windows: the system code page); a wide one reaches the file system whole
// (_wfopen on Windows, UTF-8 elsewhere).
class TFileStream : public TStream {
public:
    // Raises EFOpenError: 'Cannot open file "<name>". <reason>' or, for fmCreate,
    // 'Cannot create file "<name>". <reason>' (a wide name in UTF-8).
    TFileStream(const std::string& fileName, uint16_t mode);
    TFileStream(const WideString& fileName, uint16_t mode);
    ~TFileStream() override;

    std::string ClassName() const override { return "TFileStream"; }

    const std::string& GetFileName() const { return fileName_; }

    // A stream opened only for writing reads nothing, one opened only for reading writes
    // nothing (so ReadBuffer / WriteBuffer raise).
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    // Grows (with zeros) or truncates the file; a position beyond the new size moves to the
    // new end. Raises EStreamError if the file cannot be resized.
    void SetSize(int64_t newSize) override;

    // Pushes buffered writes to the file; raises EWriteError if they cannot be written. The
    // destructor also flushes, but has no way to report a failure.
    void Flush();

private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    enum class LastOp { None, Read, Write };

    // Opens the file through `open` (called with the runtime's mode text); raises EFOpenError.
    void Open(uint16_t mode, const std::function<std::FILE*(const char* fopenMode)>& open);
    // C streams need a positioning call between a write and a following read (and back).
    void SwitchTo(LastOp op);

    std::string fileName_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    bool canRead_ = false;
    bool canWrite_ = false;
    LastOp lastOp_ = LastOp::None;
};

}  // namespace vd
