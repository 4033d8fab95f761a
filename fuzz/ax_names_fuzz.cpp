// The ActiveX driver's moniker name resolution and bind-target forms on arbitrary UTF-16 text,
// with lookups that answer from the input's own bits. Properties that hold for every input:
//   - a refused name leaves the pending target exactly as it was
//   - a target the resolver made holds no backslash, unless it is an other host's address or
//     the pending target kept by the bare "file://"
//   - a stored-movie target names the UrlFileName of the request
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "vd_ax_enumdesc.h"
#include "vd_ax_names.h"
#include "vd_system.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "ax_names_fuzz: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t answers = data[0];
    ++data;
    --size;
    vd::WideString text(size / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);

    vd::ax::TMonikerLookups lookups;
    lookups.StoreHolds = [answers](const vd::WideString&) { return (answers & 1) != 0; };
    lookups.ResourceExists = [answers](const vd::WideString&) { return (answers & 2) != 0; };
    int calls = 0;
    lookups.FileExists = [answers, &calls](const vd::WideString&) { return ((answers >> (2 + calls++ % 6)) & 1) != 0; };
    lookups.ApplicationDirectory = u"C:\\app\\";

    const vd::WideString pending = u"pending\\target";
    const vd::ax::TMonikerResolution r = vd::ax::ResolveMonikerName(text, pending, lookups);
    if (r.Refused && r.Target != pending) Fail("a refused name changed the target");
    const bool passedOn = r.Target == text || (text.size() >= 2 && r.Target == text.substr(2));
    if (!r.Refused && r.Target != pending && !passedOn && r.Target.find(u'\\') != vd::WideString::npos)
        Fail("a resolved target kept a backslash");
    if (!r.Refused && (answers & 1) && vd::ax::ClassifyBindTarget(r.Target).Kind == vd::ax::TBindSourceKind::Stored) {
        std::u16string_view name = text;
        if (name.substr(0, 2) == u"./") name.remove_prefix(2);
        if (vd::ax::ClassifyBindTarget(r.Target).Name != vd::UrlFileName(name)) Fail("stored target");
    }

    const vd::TEnumValueList values = {{0, "Low"}, {1, "High"}, {-2, "Neg"}};
    try {
        (void)vd::ax::EnumStringToValue(values, vd::WideToUtf8(text));
    } catch (const vd::EConvertError&) {}
    return 0;
}
