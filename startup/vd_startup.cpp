#include "vd_startup.h"

namespace vd {

namespace {
int packageInitCount = 0;
}

void InitializeFlashPackage() {
    if (packageInitCount++ != 0) return;
    InitializeFlashPlayerUnit();
    InitializeDriverNetscapeUnit();
    InitializeDriverActiveXUnit();
    InitializeLayerUnit();
}

void FinalizeFlashPackage() {
    if (packageInitCount == 0 || --packageInitCount != 0) return;
    FinalizeLayerUnit();
    FinalizeDriverActiveXUnit();
    FinalizeDriverNetscapeUnit();
    FinalizeFlashPlayerUnit();
}

int FlashPackageInitCount() { return packageInitCount; }

}  // namespace vd
