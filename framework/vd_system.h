// Root class, exception hierarchy and the string types shared by the whole package.
// Platform-free: built natively (under the sanitizers) and for Windows.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vd {

// Text exchanged with movies and components is UTF-16; narrow strings are bytes in the
// system code page and are converted only at the Win32 boundary.
using WideString = std::u16string;

// The framework's root class: every component, persistent object and stream derives from it.
class TObject {
public:
    virtual ~TObject() = default;
    // The class name as it appears in form files ("TComponent", "TvdFlashList", ...).
    virtual std::string ClassName() const { return "TObject"; }
};

// One base for every error the framework raises; what() is the message shown to the user.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

#define VD_DECLARE_EXCEPTION(Name, Base) \
    class Name : public Base {           \
    public:                              \
        using Base::Base;                \
    }

VD_DECLARE_EXCEPTION(EReadError, Exception);       // a form or stream could not be read
VD_DECLARE_EXCEPTION(EWriteError, Exception);      // a form or stream could not be written
VD_DECLARE_EXCEPTION(EConvertError, Exception);    // an assignment or conversion cannot be made
VD_DECLARE_EXCEPTION(EOutOfMemory, Exception);     // a size beyond what can be allocated
VD_DECLARE_EXCEPTION(EStreamError, Exception);     // a stream operation failed
VD_DECLARE_EXCEPTION(EFOpenError, EStreamError);   // a file could not be opened
VD_DECLARE_EXCEPTION(EComponentError, Exception);  // bad component name or ownership
VD_DECLARE_EXCEPTION(EListError, Exception);       // an index out of a list's bounds
VD_DECLARE_EXCEPTION(EClassNotFound, EReadError);  // a form names a class that is not registered

// Equality without regard to ASCII case: how identifiers, class, component and property
// names compare throughout the framework.
bool SameText(std::string_view a, std::string_view b);

// UTF-8 <-> UTF-16. Malformed input never throws: bad sequences become U+FFFD.
WideString Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::u16string_view wide);

// Latin-1 widening and narrowing, the mapping form files use between 8-bit and 16-bit
// string values; code units above 255 narrow to '?'.
WideString Latin1ToWide(std::string_view s);
std::string WideToLatin1(std::u16string_view w);

}  // namespace vd
