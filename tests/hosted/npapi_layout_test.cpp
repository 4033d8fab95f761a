// The NPAPI records as both sides lay them out: the tables' entries in NPAPI order, sized from
// the pointer width (a plugin and a host built separately must agree on every offset).
#include "vd_npapi.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace {

using namespace vd::np;

constexpr size_t Slot(size_t n) {  // offset of the n-th (1-based) function entry
    return (sizeof(void*) == 4 ? 4 : 8) + (n - 1) * sizeof(void*);
}

TEST(NpapiLayout, BrowserTableEntriesSitInNpapiOrder) {
    EXPECT_EQ(offsetof(NPNetscapeFuncs, geturl), Slot(1));
    EXPECT_EQ(offsetof(NPNetscapeFuncs, uagent), Slot(8));
    EXPECT_EQ(offsetof(NPNetscapeFuncs, geturlnotify), Slot(15));
    EXPECT_EQ(offsetof(NPNetscapeFuncs, getvalue), Slot(17));
    EXPECT_EQ(offsetof(NPNetscapeFuncs, invalidaterect), Slot(19));
    EXPECT_EQ(offsetof(NPNetscapeFuncs, getstringidentifier), Slot(22));
    EXPECT_EQ(offsetof(NPNetscapeFuncs, utf8fromidentifier), Slot(26));
    EXPECT_EQ(offsetof(NPNetscapeFuncs, createobject), Slot(28));
    EXPECT_EQ(offsetof(NPNetscapeFuncs, invoke), Slot(31));
    EXPECT_EQ(offsetof(NPNetscapeFuncs, evaluate), Slot(33));
    EXPECT_EQ(offsetof(NPNetscapeFuncs, getproperty), Slot(34));
    EXPECT_EQ(offsetof(NPNetscapeFuncs, releasevariantvalue), Slot(39));
    EXPECT_EQ(offsetof(NPNetscapeFuncs, poppopupsenabledstate), Slot(42));
    EXPECT_EQ(NPNetscapeFuncsSize, Slot(43));
    // The version promises the entries there and nothing later (object enumeration is 18).
    EXPECT_EQ(NPNetscapeFuncsVersion, 17);
}

TEST(NpapiLayout, PluginTableAndRecords) {
    EXPECT_EQ(offsetof(NPPluginFuncs, newp), Slot(1));
    EXPECT_EQ(offsetof(NPPluginFuncs, event), Slot(10));
    EXPECT_EQ(offsetof(NPPluginFuncs, javaClass), Slot(12));
    EXPECT_EQ(offsetof(NPPluginFuncs, setvalue), Slot(14));
    EXPECT_EQ(NPPluginFuncsSize, Slot(15));
    // The records a host and a plugin exchange.
    EXPECT_EQ(offsetof(NPStream, url), 2 * sizeof(void*));
    EXPECT_EQ(offsetof(NPStream, notifyData), sizeof(void*) == 4 ? 20u : 32u);
    EXPECT_EQ(offsetof(NPWindow, clipRect), sizeof(void*) + 16);
    EXPECT_EQ(offsetof(NPWindow, type), sizeof(void*) + 24);
    EXPECT_EQ(offsetof(NPEvent, wParam), sizeof(void*));
    EXPECT_EQ(offsetof(NPObject, referenceCount), sizeof(void*));
    EXPECT_EQ(offsetof(NPClass, invoke), 5 * sizeof(void*));
    EXPECT_EQ(offsetof(NPClass, removeProperty), 10 * sizeof(void*));
    EXPECT_EQ(offsetof(NPVariant, value), 8u);  // after the type: the union's double is 8-aligned
    EXPECT_EQ(NPVariantType_Object, 6);
    EXPECT_EQ(NPNVSupportsWindowless, 17);
    EXPECT_EQ(NPPVpluginScriptableNPObject, 15);
}

}  // namespace
