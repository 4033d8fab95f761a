// What vdform's commands share: file reading and atomic writing, error lines, form loading,
// and the design host the inspector commands give the property editors.
// Platform-free.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vd_designintf.h"
#include "vd_formfile.h"

namespace vd::formtool {

// Failure of one file: reported as "vdform: <file>: <message>".
struct FileError {
    std::string File;
    std::string Message;
};

// Arguments are UTF-8 (main converts the Windows command line).
std::filesystem::path PathOf(const std::string& utf8);
std::string OneLine(std::string s);
// Names in a form are arbitrary bytes: control characters become '?'.
std::string Printable(std::string_view s);

std::optional<FileError> ReadFileBytes(const std::string& name, std::string& data);
// Writes beside the file and renames over it: the file is either the old one or the whole new one.
std::optional<FileError> WriteFileBytes(const std::string& name, const std::string& data);
// Reads and parses a form; on failure `tree` is left alone.
std::optional<FileError> Load(const std::string& name, std::string& data, TFormObject& tree);
// Writes tree over the form file name in the format its old bytes had.
std::optional<FileError> Save(const std::string& name, const std::string& oldData, const TFormObject& tree);

TFormProperty* FindProp(std::vector<TFormProperty>& props, std::string_view name);

int Fail(std::ostream& err, const FileError& e);
int Usage(std::ostream& err, const std::string& problem);

// The design host of vdform: its file dialog answers the path given on the command line
// (or is cancelled without one), message boxes and the modification notice are recorded,
// and files are read by their UTF-8 names.
class ToolDesigner : public IDesigner {
public:
    explicit ToolDesigner(std::string answer = {}) : answer_(std::move(answer)) {}

    std::unique_ptr<TOpenDialog> CreateOpenDialog() override;
    void ShowMessage(const std::string& message) override { Messages.push_back(message); }
    void Modified() override { WasModified = true; }
    // EFOpenError naming the file when it cannot be read.
    std::unique_ptr<TStream> OpenFileForReading(const WideString& fileName) override;

    std::vector<std::string> Messages;
    bool WasModified = false;

private:
    std::string answer_;
};

// The inspector commands (vd_inspector.cpp).
int Palette(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Props(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Set(const std::vector<std::string>& args, std::ostream& err);

}  // namespace vd::formtool
