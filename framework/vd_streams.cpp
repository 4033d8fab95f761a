#include "vd_streams.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#include <io.h>  // _chsize_s, _fileno (the C runtime's, not the Win32 API)
#else
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace vd {

namespace {

std::atomic<TStreamDestroyedHook> g_destroyedHook{nullptr};

constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();

std::string ErrnoText(int err) { return std::generic_category().message(err); }

// base + offset as a stream position: overflow or a negative result is the caller's error.
int64_t TargetPosition(int64_t base, int64_t offset) {
    if ((offset > 0 && base > kInt64Max - offset) ||
        (offset < 0 && base < std::numeric_limits<int64_t>::min() - offset))
        throw EStreamError("Stream position out of range");
    const int64_t target = base + offset;
    if (target < 0) throw EStreamError("Stream position out of range");
    return target;
}

// 64-bit positioning and resizing on an open C stream. The plain fseek/ftell take a long,
// which is 32 bits on Windows.
#ifdef _WIN32
int SeekFile(std::FILE* f, int64_t offset, int whence) { return _fseeki64(f, offset, whence); }
int64_t TellFile(std::FILE* f) { return _ftelli64(f); }
int ResizeFile(std::FILE* f, int64_t size) { return _chsize_s(_fileno(f), size); }
#else
int SeekFile(std::FILE* f, int64_t offset, int whence) { return fseeko(f, static_cast<off_t>(offset), whence); }
int64_t TellFile(std::FILE* f) { return static_cast<int64_t>(ftello(f)); }
int ResizeFile(std::FILE* f, int64_t size) { return ftruncate(fileno(f), static_cast<off_t>(size)) == 0 ? 0 : errno; }
#endif

[[noreturn]] void RaiseMemoryStreamFull() { throw EOutOfMemory("Out of memory while expanding memory stream"); }

}  // namespace

void SetStreamDestroyedHook(TStreamDestroyedHook hook) { g_destroyedHook.store(hook); }

// ---------------------------------------------------------------------------------------------
// TStream

TStream::~TStream() {
    if (const TStreamDestroyedHook hook = g_destroyedHook.load()) hook(this);
}

int64_t TStream::GetSize() {
    const int64_t position = Seek(0, TSeekOrigin::soCurrent);
    const int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(position, TSeekOrigin::soBeginning);
    return size;
}

void TStream::SetSize(int64_t) { throw EStreamError(ClassName() + " cannot change its size"); }

void TStream::ReadBuffer(void* buffer, int64_t count) {
    auto* p = static_cast<uint8_t*>(buffer);
    int64_t left = count;
    while (left > 0) {
        const int64_t n = Read(p, left);
        if (n <= 0) break;
        p += n;
        left -= n;
    }
    if (left != 0) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
    auto* p = static_cast<const uint8_t*>(buffer);
    int64_t left = count;
    while (left > 0) {
        const int64_t n = Write(p, left);
        if (n <= 0) break;
        p += n;
        left -= n;
    }
    if (left != 0) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count < 0) throw EStreamError("Invalid stream copy count");
    if (count == 0) {
        source.SetPosition(0);
        count = source.GetSize();
    }
    constexpr int64_t kChunk = 64 * 1024;
    std::vector<uint8_t> chunk(static_cast<size_t>(std::min(count, kChunk)));
    for (int64_t left = count; left > 0;) {
        const int64_t n = std::min(left, kChunk);
        source.ReadBuffer(chunk.data(), n);
        WriteBuffer(chunk.data(), n);
        left -= n;
    }
    return count;
}

// ---------------------------------------------------------------------------------------------
// TMemoryStream

int64_t TMemoryStream::MaxSize() {
    constexpr uint64_t kCap = uint64_t{1} << 40;
    const uint64_t vectorMax = std::string().max_size();
    return static_cast<int64_t>(std::min({kCap, vectorMax, static_cast<uint64_t>(kInt64Max)}));
}

// Changes the size to newSize (already checked against MaxSize). Writes grow the capacity
// geometrically so that many small appends stay linear; an explicit SetSize takes what it asks.
void TMemoryStream::Resize(int64_t newSize, bool geometric) {
    const size_t size = start_ + static_cast<size_t>(newSize);
    try {
        if (geometric && size > data_.capacity()) {
            const size_t doubled = data_.capacity() * 2;
            const size_t wanted = std::min(std::max(size, doubled), start_ + static_cast<size_t>(MaxSize()));
            try {
                data_.reserve(wanted);
            } catch (const std::bad_alloc&) {
                data_.reserve(size);  // the headroom did not fit; the exact size may
            }
        }
        data_.resize(size);
    } catch (const std::bad_alloc&) {
        RaiseMemoryStreamFull();
    } catch (const std::length_error&) {
        RaiseMemoryStreamFull();
    }
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    const int64_t size = GetSize();
    if (count <= 0 || position_ >= size) return 0;
    const int64_t n = std::min(count, size - position_);
    std::memcpy(buffer, Memory() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const int64_t maxSize = MaxSize();
    if (count > maxSize || position_ > maxSize - count) RaiseMemoryStreamFull();
    const int64_t end = position_ + count;
    auto* source = static_cast<const uint8_t*>(buffer);
    if (end > GetSize()) {
        // Growing may move the block: keep a source that lies inside it valid.
        const auto* oldBase = reinterpret_cast<const uint8_t*>(data_.data());
        const bool inside = source >= oldBase && source < oldBase + data_.size();
        const auto sourceOffset = inside ? static_cast<size_t>(source - oldBase) : 0;
        Resize(end, true);
        if (inside) source = reinterpret_cast<const uint8_t*>(data_.data()) + sourceOffset;
    }
    std::memmove(Memory() + position_, source, static_cast<size_t>(count));
    position_ = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = 0;
    switch (origin) {
        case TSeekOrigin::soBeginning:
            base = 0;
            break;
        case TSeekOrigin::soCurrent:
            base = position_;
            break;
        case TSeekOrigin::soEnd:
            base = GetSize();
            break;
    }
    position_ = TargetPosition(base, offset);
    return position_;
}

void TMemoryStream::SetSize(int64_t newSize) {
    if (newSize < 0) throw EStreamError("Invalid stream size");
    if (newSize > MaxSize()) RaiseMemoryStreamFull();
    Resize(newSize, false);
    if (position_ > newSize) position_ = newSize;
}

void TMemoryStream::Clear() {
    std::string().swap(data_);
    start_ = 0;
    position_ = 0;
}

void TMemoryStream::Adopt(std::string&& bytes) noexcept {
    data_ = std::move(bytes);
    start_ = 0;
    position_ = 0;
}

void TMemoryStream::TakeRest(TMemoryStream& source) noexcept {
    if (&source == this) {
        // The content shrinks to what follows the position.
        start_ += static_cast<size_t>(std::min(position_, GetSize()));
        position_ = 0;
        return;
    }
    const size_t skip = static_cast<size_t>(std::min(source.position_, source.GetSize()));
    data_ = std::move(source.data_);
    start_ = source.start_ + skip;
    position_ = 0;
    source.Clear();
}

void TMemoryStream::LoadFromStream(TStream& stream) {
    stream.SetPosition(0);
    const int64_t size = stream.GetSize();
    if (size < 0) throw EReadError("Stream read error");
    if (size > MaxSize()) RaiseMemoryStreamFull();
    // Read into a fresh block so a failing source leaves the old content (and works when
    // stream is this stream).
    std::string loaded;
    try {
        loaded.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        RaiseMemoryStreamFull();
    } catch (const std::length_error&) {
        RaiseMemoryStreamFull();
    }
    stream.ReadBuffer(loaded.data(), size);
    data_.swap(loaded);
    start_ = 0;
    position_ = 0;
}

void TMemoryStream::SaveToStream(TStream& stream) const {
    if (const int64_t size = static_cast<int64_t>(data_.size() - start_); size > 0) stream.WriteBuffer(Memory(), size);
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const std::string& fileName) const {
    TFileStream file(fileName, fmCreate);
    SaveToStream(file);
    file.Flush();  // a full disk must show here, not vanish in the destructor
}

// ---------------------------------------------------------------------------------------------
// TFileStream

namespace {

// The C runtime's mode for a TFileStream mode; false for a mode that names no access.
bool FopenMode(uint16_t mode, const char*& fopenMode, bool& canRead, bool& canWrite) {
    if ((mode & fmCreate) == fmCreate) {
        fopenMode = "w+b";
        canRead = canWrite = true;
        return true;
    }
    switch (mode & 3) {
        case fmOpenRead:
            fopenMode = "rb";
            canRead = true;
            return true;
        case fmOpenWrite:
            fopenMode = "r+b";
            canWrite = true;
            return true;
        case fmOpenReadWrite:
            fopenMode = "r+b";
            canRead = canWrite = true;
            return true;
        default:
            return false;
    }
}

}  // namespace

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : fileName_(fileName) {
    Open(mode, [&](const char* fopenMode) { return std::fopen(fileName.c_str(), fopenMode); });
}

TFileStream::TFileStream(const WideString& fileName, uint16_t mode) : fileName_(WideToUtf8(fileName)) {
#ifdef _WIN32
    // The wide runtime call: the name reaches the file system whole, whatever the code page.
    Open(mode, [&](const char* fopenMode) {
        const std::wstring name(fileName.begin(), fileName.end());
        const std::wstring wideMode(fopenMode, fopenMode + std::strlen(fopenMode));
        return _wfopen(name.c_str(), wideMode.c_str());
    });
#else
    Open(mode, [&](const char* fopenMode) { return std::fopen(fileName_.c_str(), fopenMode); });
#endif
}

void TFileStream::Open(uint16_t mode, const std::function<std::FILE*(const char* fopenMode)>& open) {
    const bool create = (mode & fmCreate) == fmCreate;
    const char* fopenMode = nullptr;
    if (!FopenMode(mode, fopenMode, canRead_, canWrite_))
        throw EFOpenError("Cannot open file \"" + fileName_ + "\". " + ErrnoText(EINVAL));
    const char* failure = create ? "Cannot create file \"" : "Cannot open file \"";
    errno = 0;
    file_.reset(open(fopenMode));
    if (!file_) throw EFOpenError(failure + fileName_ + "\". " + ErrnoText(errno ? errno : EIO));
#ifndef _WIN32
    // POSIX lets a directory be opened for reading; it would then read nothing without a word.
    struct stat st {};
    if (fstat(fileno(file_.get()), &st) == 0 && S_ISDIR(st.st_mode)) {
        file_.reset();
        throw EFOpenError(failure + fileName_ + "\". " + ErrnoText(EISDIR));
    }
#endif
}

TFileStream::~TFileStream() = default;

void TFileStream::SwitchTo(LastOp op) {
    if (lastOp_ != LastOp::None && lastOp_ != op) SeekFile(file_.get(), 0, SEEK_CUR);
    lastOp_ = op;
    std::clearerr(file_.get());
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    if (count <= 0 || !canRead_) return 0;
    SwitchTo(LastOp::Read);
    const auto wanted =
        static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(count), std::numeric_limits<size_t>::max()));
    return static_cast<int64_t>(std::fread(buffer, 1, wanted, file_.get()));
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    if (count <= 0 || !canWrite_) return 0;
    SwitchTo(LastOp::Write);
    const auto wanted =
        static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(count), std::numeric_limits<size_t>::max()));
    return static_cast<int64_t>(std::fwrite(buffer, 1, wanted, file_.get()));
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    std::FILE* f = file_.get();
    const int64_t current = TellFile(f);
    if (current < 0) throw EStreamError("Cannot seek in file \"" + fileName_ + "\". " + ErrnoText(errno));
    int64_t base = 0;
    if (origin == TSeekOrigin::soCurrent) {
        base = current;
    } else if (origin == TSeekOrigin::soEnd) {
        if (SeekFile(f, 0, SEEK_END) != 0 || (base = TellFile(f)) < 0) {
            const int err = errno;
            SeekFile(f, current, SEEK_SET);
            throw EStreamError("Cannot seek in file \"" + fileName_ + "\". " + ErrnoText(err));
        }
        lastOp_ = LastOp::None;
    }
    int64_t target = current;
    try {
        target = TargetPosition(base, offset);
    } catch (const EStreamError&) {
        if (origin == TSeekOrigin::soEnd) SeekFile(f, current, SEEK_SET);  // a refused seek moves nothing
        throw;
    }
    if (SeekFile(f, target, SEEK_SET) != 0)
        throw EStreamError("Cannot seek in file \"" + fileName_ + "\". " + ErrnoText(errno));
    lastOp_ = LastOp::None;
    return target;
}

void TFileStream::SetSize(int64_t newSize) {
    if (newSize < 0) throw EStreamError("Invalid stream size");
    const int64_t position = GetPosition();  // the seek behind it pushes buffered writes out
    if (const int err = ResizeFile(file_.get(), newSize); err != 0)
        throw EStreamError("Cannot change the size of file \"" + fileName_ + "\". " + ErrnoText(err));
    // The C stream may still buffer bytes from before the resize, and a later seek into that
    // buffer would serve them again; flushing after a seek discards it.
    std::fflush(file_.get());
    SetPosition(std::min(position, newSize));
}

void TFileStream::Flush() {
    if (lastOp_ == LastOp::Write && std::fflush(file_.get()) != 0) throw EWriteError("Stream write error");
}

}  // namespace vd
