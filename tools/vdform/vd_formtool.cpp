#include "vd_formtool.h"

#include "vd_formtool_internal.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <random>
#include <sstream>
#include <string_view>
#include <system_error>

#include "vd_filer.h"
#include "vd_flashreg.h"
#include "vd_flashstore.h"
#include "vd_formfile.h"
#include "vd_movienames.h"

namespace vd {

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: vdform convert [--text | --binary] IN OUT\n"
    "       vdform dump IN\n"
    "       vdform movies FORM\n"
    "       vdform extract FORM NAME OUT\n"
    "       vdform store FORM FILE...\n"
    "       vdform palette\n"
    "       vdform props FORM COMPONENT\n"
    "       vdform set FORM COMPONENT.PROPERTY VALUE\n"
    "\n"
    "convert  writes the form in IN to OUT in the other format (binary input gives text,\n"
    "         text input gives binary); --text or --binary chooses the output format\n"
    "         (--text on text input re-canonicalises it). OUT is only replaced once the\n"
    "         conversion has succeeded.\n"
    "dump     prints the object tree of IN: objects, properties, collection items.\n"
    "movies   lists the stored movies of every TvdFlashList in FORM, one a line:\n"
    "         component, item name and size in bytes, separated by tabs.\n"
    "extract  writes the data of the stored movie NAME (case does not matter) to OUT.\n"
    "store    adds each FILE to the first TvdFlashList of FORM under its file name\n"
    "         (without its folder), replacing an item of the same name; FORM keeps its\n"
    "         format and is only replaced once every FILE has been read. Each FILE goes\n"
    "         through the movie file picker of the design-time package.\n"
    "palette  lists the palette pages and their components, in registration order.\n"
    "props    lists the published properties of COMPONENT in FORM, one a line: name, value\n"
    "         text, property editor, its attributes and, where it offers one, its value list\n"
    "         ('|' between values), separated by tabs.\n"
    "set      sets PROPERTY of COMPONENT through its property editor and writes FORM back in\n"
    "         its own format; nothing is written when the value is refused.\n"
    "\n"
    "exit status: 0 done, 1 bad command line, 2 unreadable or corrupt input or OUT not written\n";

}  // namespace

int formtool::Usage(std::ostream& err, const std::string& problem) {
    err << "vdform: " << problem << '\n' << kUsage;
    return kVdformUsageError;
}

namespace {

using namespace formtool;

// FormValueSummary renders through the text writer, which refuses what form text cannot
// hold (a NaN or infinite float); a dump shows those values all the same.
std::string Summary(const TFormValue& v) {
    try {
        return FormValueSummary(v);
    } catch (const EWriteError&) {
        if (v.Type == TValueType::vaExtended || v.Type == TValueType::vaSingle || v.Type == TValueType::vaDate) {
            const char* suffix = v.Type == TValueType::vaSingle ? "s" : v.Type == TValueType::vaDate ? "d" : "";
            if (std::isnan(v.Float)) return std::string("NaN") + suffix;
            return std::string(v.Float < 0 ? "-Inf" : "Inf") + suffix;
        }
        if (v.Type == TValueType::vaIdent) return Printable(v.Bytes);
        if (v.Type == TValueType::vaSet) {
            std::string r = "[";
            for (size_t i = 0; i < v.Set.size(); ++i) r += (i ? ", " : "") + Printable(v.Set[i]);
            return r + "]";
        }
        return "(a value form text cannot hold)";
    }
}

class Dumper {
public:
    explicit Dumper(std::ostream& out) : out_(out) {}

    void Object(const TFormObject& o, int depth) {
        Line(depth) << Printable(o.ClassName);
        if (!o.Name.empty()) out_ << ' ' << Printable(o.Name);
        if (o.Flags & ffInherited) out_ << " (inherited)";
        if (o.Flags & ffInline) out_ << " (inline)";
        if (o.Flags & ffChildPos) out_ << " [" << o.Position << ']';
        out_ << '\n';
        Properties(o.Properties, depth + 1);
        for (const auto& c : o.Children) Object(c, depth + 1);
    }

private:
    std::ostream& Line(int depth) {
        for (int i = 0; i < depth; ++i) out_ << "  ";
        return out_;
    }

    void Properties(const std::vector<TFormProperty>& props, int depth) {
        for (const auto& p : props) {
            Line(depth) << Printable(p.Name) << " = " << Summary(p.Value) << '\n';
            Contents(p.Value, depth + 1);
        }
    }

    // Lists and collections are summarised on their property's line; their contents follow,
    // one level deeper.
    void Contents(const TFormValue& v, int depth) {
        if (v.Type == TValueType::vaList) {
            for (const auto& e : v.List) {
                Line(depth) << Summary(e) << '\n';
                Contents(e, depth + 1);
            }
        } else if (v.Type == TValueType::vaCollection) {
            for (const auto& item : v.Items) {
                Line(depth) << "item";
                if (item.Index) out_ << " [" << *item.Index << ']';
                out_ << '\n';
                Properties(item.Properties, depth + 1);
            }
        }
    }

    std::ostream& out_;
};

enum class Format { Text, Binary };

int Convert(const std::vector<std::string>& args, std::ostream& err) {
    std::optional<Format> forced;
    std::vector<std::string> files;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--text" || a == "--binary") {
            const Format f = a == "--text" ? Format::Text : Format::Binary;
            if (forced && *forced != f) return Usage(err, "--text and --binary exclude each other");
            forced = f;
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage(err, "unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) return Usage(err, "convert needs IN and OUT");
    const std::string& inName = files[0];
    const std::string& outName = files[1];

    std::string data;
    TFormObject tree;
    if (auto e = Load(inName, data, tree)) return Fail(err, *e);

    const Format to = forced ? *forced : IsBinaryForm(data) ? Format::Text : Format::Binary;
    std::string result;
    try {
        result = to == Format::Text ? WriteTextForm(tree) : WriteBinaryForm(tree);
    } catch (const Exception& e) {
        // The input is what holds the value the output format cannot express.
        return Fail(err, {inName, e.what()});
    }
    if (auto e = WriteFileBytes(outName, result)) return Fail(err, *e);
    return kVdformOk;
}

int Dump(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2) return Usage(err, "dump needs exactly one file");
    std::string data;
    TFormObject tree;
    if (auto e = Load(args[1], data, tree)) return Fail(err, *e);
    Dumper(out).Object(tree, 0);
    return kVdformOk;
}

// ---------------------------------------------------------------------------------------
// Stored movies. The bytes of each item are decoded and encoded by the store classes
// themselves, so what vdform reads and writes is exactly what the player reads and writes.

constexpr const char* kFlashListClass = "TvdFlashList";

// Every TvdFlashList object of the tree, in form order.
void FlashLists(TFormObject& o, std::vector<TFormObject*>& out) {
    if (SameText(o.ClassName, kFlashListClass)) out.push_back(&o);
    for (auto& c : o.Children) FlashLists(c, out);
}

struct StoredMovie {
    std::string Component;
    size_t Index = 0;
    WideString Name;  // as FlashStore reports it ("(empty)" without data)
    std::string Data;
};

// Decodes the items of every TvdFlashList; raises EReadError for a damaged item.
std::vector<StoredMovie> StoredMovies(TFormObject& root) {
    std::vector<TFormObject*> lists;
    FlashLists(root, lists);
    std::vector<StoredMovie> movies;
    TvdFlashList scratch(nullptr);
    for (TFormObject* list : lists) {
        TFormProperty* flashs = FindProp(list->Properties, "Flashs");
        if (!flashs || flashs->Value.Type != TValueType::vaCollection) continue;
        for (size_t i = 0; i < flashs->Value.Items.size(); ++i) {
            StoredMovie m{list->Name, i, {}, {}};
            TvdFlashStream* item = scratch.GetFlashs()->Add();
            if (TFormProperty* bytes = FindProp(flashs->Value.Items[i].Properties, kFlashStreamProperty)) {
                TMemoryStream s;
                s.WriteBuffer(bytes->Value.Bytes.data(), static_cast<int64_t>(bytes->Value.Bytes.size()));
                s.SetPosition(0);
                try {
                    item->ReadData(s);
                } catch (const EReadError& e) {
                    throw EReadError(list->Name + ".Flashs[" + std::to_string(i) + "]: " + e.what());
                }
            }
            m.Name = item->GetFlashStore();
            m.Data.assign(reinterpret_cast<const char*>(item->Data().Memory()),
                          static_cast<size_t>(item->Data().GetSize()));
            movies.push_back(std::move(m));
            scratch.GetFlashs()->Clear();
        }
    }
    return movies;
}

int Movies(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2) return Usage(err, "movies needs exactly one form");
    std::string data;
    TFormObject tree;
    if (auto e = Load(args[1], data, tree)) return Fail(err, *e);
    try {
        for (const StoredMovie& m : StoredMovies(tree))
            out << Printable(m.Component) << '\t' << Printable(WideToUtf8(m.Name)) << '\t' << m.Data.size() << '\n';
    } catch (const Exception& e) {
        return Fail(err, {args[1], e.what()});
    }
    return kVdformOk;
}

int Extract(const std::vector<std::string>& args, std::ostream& err) {
    if (args.size() != 4) return Usage(err, "extract needs FORM, NAME and OUT");
    std::string data;
    TFormObject tree;
    if (auto e = Load(args[1], data, tree)) return Fail(err, *e);
    const WideString wanted = Utf8ToWide(args[2]);
    try {
        for (const StoredMovie& m : StoredMovies(tree))
            if (!m.Data.empty() && SameWideText(m.Name, wanted)) {
                if (auto e = WriteFileBytes(args[3], m.Data)) return Fail(err, *e);
                return kVdformOk;
            }
    } catch (const Exception& e) {
        return Fail(err, {args[1], e.what()});
    }
    return Fail(err, {args[1], "no stored movie named " + args[2]});
}

// The properties the player itself writes for one stored movie.
// The item's properties as the player itself writes them.
std::vector<TFormProperty> ItemProperties(TvdFlashList& scratch) {
    TFormObject written = TWriter().WriteRootComponent(&scratch);
    return FindProp(written.Properties, "Flashs")->Value.Items.at(0).Properties;
}

// Loads the stored bytes of an item into a live one (its name and data).
void ReadItem(TFormCollectionItem& stored, TvdFlashStream& item) {
    if (TFormProperty* b = FindProp(stored.Properties, kFlashStreamProperty)) {
        TMemoryStream s;
        s.WriteBuffer(b->Value.Bytes.data(), static_cast<int64_t>(b->Value.Bytes.size()));
        s.SetPosition(0);
        item.ReadData(s);
    }
}

int Store(const std::vector<std::string>& args, std::ostream& err) {
    if (args.size() < 3) return Usage(err, "store needs FORM and at least one FILE");
    const std::string& formName = args[1];
    std::string data;
    TFormObject tree;
    if (auto e = Load(formName, data, tree)) return Fail(err, *e);
    std::vector<TFormObject*> lists;
    FlashLists(tree, lists);
    if (lists.empty()) return Fail(err, {formName, "holds no TvdFlashList to store movies in"});
    TFormObject& list = *lists.front();
    TFormProperty* flashs = FindProp(list.Properties, "Flashs");
    if (!flashs) {
        list.Properties.push_back({"Flashs", TFormValue{}});
        flashs = &list.Properties.back();
        flashs->Value.Type = TValueType::vaCollection;
    }
    if (flashs->Value.Type != TValueType::vaCollection)
        return Fail(err, {formName, list.Name + ".Flashs is not a collection"});
    try {
        StoredMovies(tree);  // refuse to add to a form whose stored movies are already damaged
    } catch (const Exception& e) {
        return Fail(err, {formName, e.what()});
    }

    // Each file goes through the movie file picker, as in a designer: the picker answers the
    // file, and the first item stored under the file's name (or a new one) is edited.
    const TPropInfo& flashStore = *TvdFlashStream::StaticClassInfo().FindProperty("FlashStore");
    for (size_t f = 2; f < args.size(); ++f) {
        const std::string& file = args[f];
        const WideString name = Utf8ToWide(ExtractFileName(file));
        TvdFlashList scratch(nullptr);
        TvdFlashStream* item = scratch.GetFlashs()->Add();
        TFormCollectionItem* target = nullptr;
        for (auto& existing : flashs->Value.Items) {
            TvdFlashList probe(nullptr);
            TvdFlashStream* stored = probe.GetFlashs()->Add();
            ReadItem(existing, *stored);
            if (SameWideText(stored->GetFlashStore(), name)) {
                target = &existing;
                ReadItem(existing, *item);
                break;
            }
        }
        std::vector<TFormProperty> props;
        try {
            ToolDesigner designer(file);
            TvdFlashStreamProperty(designer, {item}, flashStore).Edit();
            if (item->Data().GetSize() == 0) return Fail(err, {file, "is empty: a stored movie needs data"});
            props = ItemProperties(scratch);
        } catch (const Exception& e) {
            return Fail(err, {file, e.what()});
        }
        if (target) {
            target->Properties = std::move(props);
        } else {
            flashs->Value.Items.push_back({std::nullopt, std::move(props)});
        }
    }

    if (auto e = Save(formName, data, tree)) return Fail(err, *e);
    return kVdformOk;
}

}  // namespace

int RunVdform(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) return Usage(err, "no command given");
    const std::string& cmd = args[0];
    if (cmd == "--help" || cmd == "-h" || cmd == "help") {
        out << kUsage;
        return kVdformOk;
    }
    if (cmd == "convert") return Convert(args, err);
    if (cmd == "dump") return Dump(args, out, err);
    if (cmd == "movies") return Movies(args, out, err);
    if (cmd == "extract") return Extract(args, err);
    if (cmd == "store") return Store(args, err);
    if (cmd == "palette") return Palette(args, out, err);
    if (cmd == "props") return Props(args, out, err);
    if (cmd == "set") return Set(args, err);
    return Usage(err, "unknown command '" + cmd + "'");
}

}  // namespace vd
