// consumer: built against the installed vdplayer package only (find_package(vdplayer), every
// vd:: target, #include <vd/...>). Starts the package in one call, puts a windowless player on a
// form, looks up a built-in movie, which reaches this program only through the package's
// resource object, and uses each library of the package once (every_target.cpp). Prints what
// it did; exit status 0 when all of it worked.
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include <vd/vd_driver_activex.h>
#include <vd/vd_driver_netscape.h>
#include <vd/vd_flashplayer.h>
#include <vd/vd_layer.h>
#include <vd/vd_startup.h>
#include <vd/vd_vcl.h>

#include "every_target.h"

int main() {
    const vd::TvdFlashPackage package;  // every unit of the package, shut down again at the end
    int status = 1;
    try {
        auto form = std::make_unique<vd::TForm>(nullptr);
        form->SetName("ConsumerForm");
        form->SetBounds(0, 0, 320, 240);
        auto* player = new vd::TvdFlashPlayer(form.get());  // owned (and freed) by the form
        player->SetName("Player");
        player->SetParent(form.get());
        player->SetBounds(8, 8, 160, 120);

        const vd::TvdFlashDriver* driver = player->Driver();
        vd::TMovieResource movie;
        const bool found = vd::FindMovieResource(u"ClearOverAll.swf", movie);
        // The built-in movies are zlib-compressed SWF files.
        const bool isSwf = found && movie.Size > 8 && std::memcmp(movie.Data, "CWS", 3) == 0;

        if (!driver || driver->Width != 160 || driver->Height != 120) {
            std::fprintf(stderr, "consumer: the player on the form has no driver of its size\n");
        } else if (!isSwf) {
            std::fprintf(stderr, "consumer: built-in movie ClearOverAll.swf %s\n",
                         found ? "found but it is no compressed SWF" : "not found (resource object not linked?)");
        } else if (std::vector<std::string> used, wrong = CheckEveryTarget(form.get(), used); !wrong.empty()) {
            for (const std::string& line : wrong) std::fprintf(stderr, "consumer: %s\n", line.c_str());
        } else {
            std::printf("consumer: used %u libraries of the package:", static_cast<unsigned>(used.size()));
            for (const std::string& target : used) std::printf(" %s", target.c_str());
            std::printf("\n");
            std::printf(
                "consumer: %s with a TvdFlashPlayer (driver %s, %dx%d buffer); built-in movie "
                "ClearOverAll.swf found, %u bytes of SWF\n",
                form->GetName().c_str(), driver->ClassName().c_str(), driver->Width, driver->Height,
                static_cast<unsigned>(movie.Size));
            status = 0;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "consumer: %s\n", e.what());
    }
    return status;
}
