// vdform command line: see vd_formtool.h.
#include <iostream>
#include <string>
#include <vector>

#include "vd_flashreg.h"
#include "vd_formtool.h"
#include "vd_system.h"

#ifdef _WIN32
#include "vd_layer.h"
#endif

#ifdef _WIN32
// The wide command line, so that file names outside the ANSI code page survive (-municode).
int wmain(int argc, wchar_t** argv) {
    // The inspector works as a designer with the package loaded: units started, then Register.
    vd::InitializeLayerUnit();
    vd::InitializeFlashRegUnit();
    vd::Register();
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide strings are UTF-16");
        args.push_back(vd::WideToUtf8(reinterpret_cast<const char16_t*>(argv[i])));
    }
    return vd::RunVdform(args, std::cout, std::cerr);
}
#else
int main(int argc, char** argv) {
    // Only the platform-free classes exist here: the stored-movie list, without a palette.
    vd::RegisterFlashStoreClasses();
    return vd::RunVdform(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
#endif
