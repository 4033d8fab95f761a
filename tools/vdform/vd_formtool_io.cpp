// Files, error lines and the design host shared by vdform's commands.
#include <fstream>
#include <ostream>
#include <random>
#include <sstream>
#include <system_error>

#include "vd_formtool.h"
#include "vd_formtool_internal.h"

namespace vd::formtool {

namespace fs = std::filesystem;

fs::path PathOf(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

// Error lines must stay one line whatever a message carries.
std::string OneLine(std::string s) {
    for (char& c : s)
        if (c == '\n' || c == '\r') c = ' ';
    return s;
}

std::string Printable(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return r;
}

std::optional<FileError> ReadFileBytes(const std::string& name, std::string& data) {
    const fs::path path = PathOf(name);
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) return FileError{name, ec.message()};
    if (!fs::exists(st)) return FileError{name, "no such file"};
    if (fs::is_directory(st)) return FileError{name, "is a directory, not a form file"};
    std::ifstream in(path, std::ios::binary);
    if (!in) return FileError{name, "cannot be opened for reading"};
    std::ostringstream buf;
    buf << in.rdbuf();
    if (in.bad()) return FileError{name, "read error"};
    data = std::move(buf).str();
    return std::nullopt;
}

std::optional<FileError> WriteFileBytes(const std::string& name, const std::string& data) {
    const fs::path path = PathOf(name);
    std::random_device rd;
    fs::path tmp = path;
    tmp += ".vdform-" + std::to_string(rd()) + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return FileError{name, "cannot be created"};
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(tmp, ignored);
            return FileError{name, "write error"};
        }
    }
    std::error_code ec;
    fs::rename(tmp, path, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(tmp, ignored);
        return FileError{name, "cannot be replaced: " + ec.message()};
    }
    return std::nullopt;
}

std::optional<FileError> Load(const std::string& name, std::string& data, TFormObject& tree) {
    if (auto e = ReadFileBytes(name, data)) return e;
    try {
        tree = ParseForm(data);
    } catch (const Exception& e) {
        return FileError{name, e.what()};
    } catch (const std::exception& e) {  // e.g. an allocation failure on a huge form
        return FileError{name, e.what()};
    }
    return std::nullopt;
}

std::optional<FileError> Save(const std::string& name, const std::string& oldData, const TFormObject& tree) {
    std::string result;
    try {
        result = IsBinaryForm(oldData) ? WriteBinaryForm(tree) : WriteTextForm(tree);
    } catch (const Exception& e) {
        return FileError{name, e.what()};
    }
    return WriteFileBytes(name, result);
}

TFormProperty* FindProp(std::vector<TFormProperty>& props, std::string_view name) {
    for (auto& p : props)
        if (SameText(p.Name, name)) return &p;
    return nullptr;
}

int Fail(std::ostream& err, const FileError& e) {
    err << "vdform: " << e.File << ": " << OneLine(e.Message) << '\n';
    return kVdformFailed;
}

// ---------------------------------------------------------------------------------------

namespace {

// Picks the file named on the command line, as a user would in the dialog.
class TCommandLineChooser : public TOpenDialog {
public:
    explicit TCommandLineChooser(std::string answer) : answer_(std::move(answer)) {}
    bool Execute() override {
        if (answer_.empty()) return false;
        FileName = Utf8ToWide(answer_);
        return true;
    }

private:
    std::string answer_;
};

}  // namespace

std::unique_ptr<TOpenDialog> ToolDesigner::CreateOpenDialog() { return std::make_unique<TCommandLineChooser>(answer_); }

std::unique_ptr<TStream> ToolDesigner::OpenFileForReading(const WideString& wideName) {
    const std::string fileName = WideToUtf8(wideName);  // the tool's file names are UTF-8
    std::string bytes;
    if (auto e = ReadFileBytes(fileName, bytes))
        throw EFOpenError("Cannot open file \"" + fileName + "\". " + e->Message);
    auto stream = std::make_unique<TMemoryStream>();
    stream->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    stream->SetPosition(0);
    return stream;
}

}  // namespace vd::formtool
