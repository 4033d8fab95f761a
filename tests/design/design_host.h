// A design host for tests: a file dialog that answers what the test says, files served from
// memory (one of them may fail part way through), and a record of message boxes, modification
// notices and dialogs made and freed.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vd_designintf.h"

namespace vdtest {

// Hands out `size` bytes but raises after `failAfter` of them, as a file that becomes
// unreadable while it is read.
class FailingStream : public vd::TStream {
public:
    FailingStream(std::string bytes, int64_t failAfter) : bytes_(std::move(bytes)), failAfter_(failAfter) {}
    int64_t Read(void* buffer, int64_t count) override {
        if (position_ >= failAfter_) throw vd::EReadError("Read error after " + std::to_string(failAfter_) + " bytes");
        const int64_t n = std::min({count, failAfter_ - position_, static_cast<int64_t>(bytes_.size()) - position_});
        if (n <= 0) return 0;
        std::copy_n(bytes_.data() + position_, n, static_cast<char*>(buffer));
        position_ += n;
        return n;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, vd::TSeekOrigin origin) override {
        const int64_t base = origin == vd::TSeekOrigin::soBeginning ? 0
                             : origin == vd::TSeekOrigin::soCurrent ? position_
                                                                    : static_cast<int64_t>(bytes_.size());
        position_ = base + offset;
        return position_;
    }

private:
    std::string bytes_;
    int64_t failAfter_;
    int64_t position_ = 0;
};

class TestDesigner : public vd::IDesigner {
public:
    class Dialog : public vd::TOpenDialog {
    public:
        Dialog(TestDesigner& host) : host_(host) { ++host_.DialogsMade; }
        ~Dialog() override { ++host_.DialogsFreed; }
        bool Execute() override {
            host_.FilterSeen = Filter;
            host_.TitleSeen = Title;
            if (!host_.Answer) return false;
            FileName = vd::Utf8ToWide(*host_.Answer);
            return true;
        }

    private:
        TestDesigner& host_;
    };

    std::unique_ptr<vd::TOpenDialog> CreateOpenDialog() override { return std::make_unique<Dialog>(*this); }
    void ShowMessage(const std::string& message) override { Messages.push_back(message); }
    void Modified() override { ++Notices; }
    std::unique_ptr<vd::TStream> OpenFileForReading(const vd::WideString& wideName) override {
        const std::string fileName = vd::WideToUtf8(wideName);
        if (UseRealFiles) return vd::IDesigner::OpenFileForReading(wideName);
        const auto it = Files.find(fileName);
        if (it == Files.end()) throw vd::EFOpenError("Cannot open file \"" + fileName + "\". No such file");
        if (FailAfter) return std::make_unique<FailingStream>(it->second, *FailAfter);
        auto s = std::make_unique<vd::TMemoryStream>();
        s->WriteBuffer(it->second.data(), static_cast<int64_t>(it->second.size()));
        return s;
    }

    // The file the dialog picks; none: the dialog is cancelled.
    std::optional<std::string> Answer;
    std::map<std::string, std::string> Files;
    std::optional<int64_t> FailAfter;  // files fail after this many bytes
    bool UseRealFiles = false;         // the host's default: files on disk

    std::vector<std::string> Messages;
    int Notices = 0;
    int DialogsMade = 0;
    int DialogsFreed = 0;
    std::string FilterSeen;
    std::string TitleSeen;
};

}  // namespace vdtest
