// The ActiveX driver's address work without Win32: which bind target a name the control asks a
// moniker for resolves to, what a pending bind target names, and the calls and variables that
// start a movie. The outside questions (is a movie stored, is there a resource, does a file
// exist, where is the application) are handed in, so the rules run natively under the
// sanitizers and the fuzzer.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "vd_movienames.h"

namespace vd::ax {

// What the resolver asks of the outside world. An empty function means "no": nothing stored,
// no resources, no files.
struct TMonikerLookups {
    // Whether the store index holds a movie under this file name (UrlFileName of the request).
    std::function<bool(const WideString& fileName)> StoreHolds;
    // Whether the package carries a resource for the requested name (looked up, as the
    // resource functions do, under StripExtension of the name without regard to case).
    std::function<bool(const WideString& requested)> ResourceExists;
    // LocalFileExists of a name (lower-casing, escapes, "file://" and slashes are its own).
    std::function<bool(const WideString& name)> FileExists;
    // The directory of the running executable, with its trailing separator.
    WideString ApplicationDirectory;
};

// The lookups against the real store index (FlashList) and the file-existence hook of the
// movie names; no resources and no application directory (the Windows layer adds those).
TMonikerLookups DefaultMonikerLookups();

struct TMonikerResolution {
    // The name is no movie this host serves: no moniker, E_NOTIMPL.
    bool Refused = false;
    // The pending bind target after the request: the previous one when the request leaves
    // it alone ("file://" alone, a refused name, a drive path or file URL that does not exist).
    WideString Target;
};

// The bind target the control's moniker request for `name` leaves behind, given the target
// pending before it.
TMonikerResolution ResolveMonikerName(std::u16string_view name, std::u16string_view pending,
                                      const TMonikerLookups& lookups);

// The forms a pending bind target takes.
enum class TBindSourceKind {
    Resource,  // "<res>" + requested name: the package resource
    Stored,    // "<list>" + file name: the stored movie
    Stream,    // "<stream>" + token + extension: a stream published by LoadMovieFromStream
    Network,   // anything else (a path or URL, possibly empty): urlmon
};

struct TBindSource {
    TBindSourceKind Kind = TBindSourceKind::Network;
    // Resource: the requested name; Stored: the file name; Stream: token and extension;
    // Network: the whole target.
    WideString Name;
};

TBindSource ClassifyBindTarget(std::u16string_view target);

// ---------------------------------------------------------------------------------------
// Starting a movie: what the control is told to load, then the movie variables to set, in
// order, and the driver state that results.

struct TMovieVariable {
    WideString Name;
    WideString Value;
};

struct TMovieLoad {
    WideString Url;                         // loaded into layer 0
    std::vector<TMovieVariable> Variables;  // set right after the load, in this order
    WideString LoadedMovie;
    bool IsFLV = false;
};

// LoadMovie of a non-empty name: a video goes through the built-in player movie with skin,
// volume and the slashed address; anything else is loaded from the dummy base URL.
TMovieLoad PlanNamedLoad(std::u16string_view name, std::u16string_view skin, int volume);
// LoadMovieFromStream of a published stream: token as PublishStream gave it, video from the
// stream's signature. The address is set before skin and volume here.
TMovieLoad PlanStreamLoad(std::u16string_view token, bool video, std::u16string_view skin, int volume);

}  // namespace vd::ax
