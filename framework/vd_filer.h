// Reading components from form files and writing them to form files.
//
// Writing stores, per component, the published properties that differ from their default
// or are always stored (events as method names, references by name, collections, nested
// persistent objects as "Prop.Sub"), then the properties a class defines itself through
// DefineProperties, then its children. Reading parses the whole form first (so corrupt
// data is rejected before any component changes), creates components by class name,
// sets properties in stored order, resolves references once the form is complete, and
// calls Loaded on every component read.
//
// Platform-free.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "vd_classes.h"
#include "vd_formfile.h"
#include "vd_streams.h"

namespace vd {

class TReader;
class TWriter;

// What a class's DefineProperties talks to: the reader or the writer.
class TFiler : public TObject {
public:
    using TReaderProc = std::function<void(TReader&)>;
    using TWriterProc = std::function<void(TWriter&)>;
    using TStreamProc = std::function<void(TStream&)>;

    std::string ClassName() const override { return "TFiler"; }
    // A property stored as one form value (read and written through the filer).
    virtual void DefineProperty(const std::string& name, TReaderProc readData, TWriterProc writeData, bool hasData) = 0;
    // A property stored as binary bytes the class reads and writes itself.
    virtual void DefineBinaryProperty(const std::string& name, TStreamProc readData, TStreamProc writeData,
                                      bool hasData) = 0;
    // The component whose form is being read or written.
    TComponent* Root() const { return root_; }

protected:
    TComponent* root_ = nullptr;
};

class TReader : public TFiler {
public:
    std::string ClassName() const override { return "TReader"; }

    // Reads a form (either format) into an existing root component; creates the root
    // from the class registry (owned by `owner`) when root is nullptr. Returns the root.
    TComponent* ReadRootComponent(std::string_view form, TComponent* root, TComponent* owner = nullptr);
    // The same from the stream's position to its end. A binary form is read piece by piece,
    // its binary values straight into the memory that ends up holding them, so a large stored
    // movie is never held twice.
    TComponent* ReadRootComponent(TStream& stream, TComponent* root, TComponent* owner = nullptr);

    // Typed access to the value of a property defined through DefineProperty; each raises
    // EReadError when the stored value has another type.
    int64_t ReadInteger();
    bool ReadBoolean();
    std::string ReadString();
    WideString ReadWideString();
    std::string ReadIdent();
    const TFormValue& ReadValue();

    void DefineProperty(const std::string& name, TReaderProc readData, TWriterProc writeData, bool hasData) override;
    void DefineBinaryProperty(const std::string& name, TStreamProc readData, TStreamProc writeData,
                              bool hasData) override;

private:
    struct Fixup {
        TPersistent* instance;
        const TPropInfo* prop;
        std::string name;  // component or method name
        std::string path;  // for messages
    };

    TComponent* ReadRootTree(TFormObject tree, TComponent* root, TComponent* owner);
    void ReadObject(TComponent* component, const TFormObject& obj);
    void ReadProperties(TPersistent& instance, const std::vector<TFormProperty>& props, const std::string& path);
    void ReadProperty(TPersistent& instance, const TFormProperty& prop, const std::string& path);
    void ApplyValue(TPersistent& instance, const TPropInfo& info, const std::string& subName, const TFormValue& v,
                    const std::string& path);
    void ReadCollection(TCollection& collection, const TFormValue& v, const std::string& path);
    TComponent* ResolveReference(const std::string& name) const;
    [[noreturn]] void Error(const std::string& path, const std::string& what) const;

    std::vector<TComponent*> loaded_;
    std::vector<TComponent*> created_;
    // Existing (inherited) components the read moved, with the parent each had before.
    std::vector<std::pair<TComponent*, TComponent*>> reparented_;
    std::vector<Fixup> fixups_;
    // While DefineProperties runs: the property being looked for and its value.
    const std::string* definedName_ = nullptr;
    const TFormValue* definedValue_ = nullptr;
    bool definedFound_ = false;
};

class TWriter : public TFiler {
public:
    std::string ClassName() const override { return "TWriter"; }

    // The form tree of a root component and its children.
    TFormObject WriteRootComponent(TComponent* root);

    // Store the value of a property defined through DefineProperty.
    void WriteInteger(int64_t value) { WriteValue(TFormValue::Integer(value)); }
    void WriteBoolean(bool value) { WriteValue(TFormValue::Boolean(value)); }
    void WriteString(const std::string& value) { WriteValue(TFormValue::String(value)); }
    void WriteWideString(const WideString& value) { WriteValue(TFormValue::WString(value)); }
    void WriteIdent(const std::string& value) { WriteValue(TFormValue::Ident(value)); }
    void WriteValue(TFormValue value);

    void DefineProperty(const std::string& name, TReaderProc readData, TWriterProc writeData, bool hasData) override;
    void DefineBinaryProperty(const std::string& name, TStreamProc readData, TStreamProc writeData,
                              bool hasData) override;

private:
    TFormObject WriteObject(TComponent* component);
    void WriteProperties(TPersistent& instance, const std::string& prefix, std::vector<TFormProperty>& out);
    std::optional<TFormValue> PropertyValue(TPersistent& instance, const TPropInfo& info);
    std::string ReferenceName(TComponent* component) const;

    std::vector<TFormProperty>* definedOut_ = nullptr;
    std::string definedPrefix_;
    std::optional<TFormValue> pending_;
};

// Conveniences over TReader and TWriter.
std::string WriteComponentBinary(TComponent* root);
std::string WriteComponentText(TComponent* root);
TComponent* ReadComponent(std::string_view form, TComponent* root, TComponent* owner = nullptr);
TComponent* ReadComponent(TStream& stream, TComponent* root, TComponent* owner = nullptr);

}  // namespace vd
