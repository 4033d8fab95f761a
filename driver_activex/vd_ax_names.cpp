#include "vd_ax_names.h"

#include "vd_flashstore.h"

namespace vd::ax {

namespace {

WideString VolumeText(int volume) {
    const std::string digits = std::to_string(volume);
    return WideString(digits.begin(), digits.end());
}

bool Ask(const std::function<bool(const WideString&)>& question, const WideString& about) {
    return question && question(about);
}

// Every "\" of the target turned into "/", as the control's URL handling expects.
TMonikerResolution Bound(WideString target) { return {false, SlashPath(target)}; }

}  // namespace

TMonikerLookups DefaultMonikerLookups() {
    TMonikerLookups lookups;
    lookups.StoreHolds = [](const WideString& fileName) { return FlashList && FlashList->IndexOf(fileName) >= 0; };
    lookups.FileExists = [](const WideString& name) { return LocalFileExists(name); };
    return lookups;
}

TMonikerResolution ResolveMonikerName(std::u16string_view request, std::u16string_view pending,
                                      const TMonikerLookups& lookups) {
    std::u16string_view name = request;
    if (StartsWith(name, u"./")) name.remove_prefix(2);
    const WideString unchanged(pending);

    // The bare scheme names nothing; the control still gets its moniker.
    if (name == u"file://") return {false, unchanged};
    // Other hosts' addresses go to urlmon as they are, media or not.
    if (StartsWith(name, u"http://") && !Contains(name, kDummyOrigin)) return {false, WideString(name)};
    if (!HasMediaSubstring(name)) return {true, unchanged};

    // The store comes first (a stored "flvplayback.swf" replaces the built-in one), then the
    // package's resources, then files beside the executable.
    const WideString fileName = UrlFileName(name);
    if (Ask(lookups.StoreHolds, fileName)) return Bound(WideString(kListMarker) + fileName);
    if (Ask(lookups.ResourceExists, WideString(name))) return Bound(WideString(kResMarker) + WideString(name));

    const bool dummy = StartsWith(name, kDummyBaseUrl);
    const std::u16string_view afterBase = dummy ? name.substr(kDummyBaseUrl.size()) : std::u16string_view();
    const WideString& appDir = lookups.ApplicationDirectory;
    if (dummy) {
        const WideString beside = appDir + WideString(afterBase);
        if (Ask(lookups.FileExists, beside)) return Bound(beside);
    }
    const WideString besideWhole = appDir + WideString(name);
    if (Ask(lookups.FileExists, besideWhole)) return Bound(besideWhole);

    if (dummy) {
        std::u16string_view rest = afterBase;
        if (StartsWith(rest, u"./")) rest.remove_prefix(2);
        // A drive-letter path is only passed on when the file is there.
        if (rest.size() <= 2 || rest[1] != u':' || Ask(lookups.FileExists, WideString(rest)))
            return Bound(WideString(rest));
        return Bound(unchanged);
    }
    if (!StartsWith(name, u"file://") || Ask(lookups.FileExists, WideString(name))) return Bound(WideString(name));
    return Bound(unchanged);
}

TBindSource ClassifyBindTarget(std::u16string_view target) {
    if (StartsWith(target, kResMarker))
        return {TBindSourceKind::Resource, WideString(target.substr(kResMarker.size()))};
    if (StartsWith(target, kListMarker))
        return {TBindSourceKind::Stored, WideString(target.substr(kListMarker.size()))};
    if (StartsWith(target, kStreamMarker))
        return {TBindSourceKind::Stream, WideString(target.substr(kStreamMarker.size()))};
    return {TBindSourceKind::Network, WideString(target)};
}

TMovieLoad PlanNamedLoad(std::u16string_view name, std::u16string_view skin, int volume) {
    TMovieLoad load;
    if (!IsVideoName(name)) {
        load.Url = ActiveXMovieUrl(name);
        load.LoadedMovie = WideString(name);
        return load;
    }
    load.Url = WideString(kPlayerMovieName);
    load.Variables = {
        {WideString(kPlayerSkinVar), WideString(skin) + u".swf"},
        {WideString(kPlayerVolumeVar), VolumeText(volume)},
        {WideString(kPlayerContentPathVar), ActiveXVideoUrl(name)},
    };
    load.LoadedMovie = SlashPath(name);
    load.IsFLV = true;
    return load;
}

TMovieLoad PlanStreamLoad(std::u16string_view token, bool video, std::u16string_view skin, int volume) {
    TMovieLoad load;
    if (!video) {
        load.Url = StreamMovieUrl(token, false);
        return load;
    }
    load.Url = WideString(kPlayerMovieName);
    load.Variables = {
        {WideString(kPlayerContentPathVar), StreamMovieUrl(token, true)},
        {WideString(kPlayerSkinVar), WideString(skin) + u".swf"},
        {WideString(kPlayerVolumeVar), VolumeText(volume)},
    };
    load.IsFLV = true;
    return load;
}

}  // namespace vd::ax
