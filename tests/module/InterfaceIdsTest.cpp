// Interface ids: host and module must agree on them byte for byte.

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "interfaces/InterfaceIds.h"
#include "module/ModuleIds.h"

namespace Zel {
namespace {

using Bytes16 = std::array<uint8_t, 16>;

Bytes16 bytesOf(const TUID& id) {
    Bytes16 b;
    for (size_t i = 0; i < 16; ++i) b[i] = id.bytes[i];
    return b;
}

TEST(InterfaceIds, BytesFollowTheRegistryFormByteOrder) {
    struct Case {
        const TUID* id;
        const char* text;
        Bytes16 bytes;
    };
    const Case cases[] = {
        {&FUnknown_iid, "{00000000-0000-0000-C000-000000000046}",
         {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}},
        {&IPluginFactory_iid, "{7A4D811C-5211-4A1F-AED9-D2EE0B43BF9F}",
         {0x1c, 0x81, 0x4d, 0x7a, 0x11, 0x52, 0x1f, 0x4a, 0xae, 0xd9, 0xd2, 0xee, 0x0b, 0x43, 0xbf, 0x9f}},
        {&IPluginFactory2_iid, "{0007B650-F24B-4C0B-A464-EDB9F00B2ABB}",
         {0x50, 0xb6, 0x07, 0x00, 0x4b, 0xf2, 0x0b, 0x4c, 0xa4, 0x64, 0xed, 0xb9, 0xf0, 0x0b, 0x2a, 0xbb}},
        {&IPluginFactory3_iid, "{4555A2AB-C123-4E57-9B12-291036878931}",
         {0xab, 0xa2, 0x55, 0x45, 0x23, 0xc1, 0x57, 0x4e, 0x9b, 0x12, 0x29, 0x10, 0x36, 0x87, 0x89, 0x31}},
        {&IComponent_iid, "{E831FF31-F2D5-4301-928E-BBEE25697802}",
         {0x31, 0xff, 0x31, 0xe8, 0xd5, 0xf2, 0x01, 0x43, 0x92, 0x8e, 0xbb, 0xee, 0x25, 0x69, 0x78, 0x02}},
        {&IPlugController_iid, "{0466B781-A086-11D5-BECC-00A0C9A636BC}",
         {0x81, 0xb7, 0x66, 0x04, 0x86, 0xa0, 0xd5, 0x11, 0xbe, 0xcc, 0x00, 0xa0, 0xc9, 0xa6, 0x36, 0xbc}},
        {&IMessageObject_iid, "{936F033B-C6C0-47DB-BB08-82F813C1E613}",
         {0x3b, 0x03, 0x6f, 0x93, 0xc0, 0xc6, 0xdb, 0x47, 0xbb, 0x08, 0x82, 0xf8, 0x13, 0xc1, 0xe6, 0x13}},
        {&kProcessorClassId, "{42613CDE-3556-4653-B0D4-0AD6BDC2AA79}",
         {0xde, 0x3c, 0x61, 0x42, 0x56, 0x35, 0x53, 0x46, 0xb0, 0xd4, 0x0a, 0xd6, 0xbd, 0xc2, 0xaa, 0x79}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(bytesOf(*c.id), c.bytes);
        EXPECT_EQ(tuidToRegistry(*c.id), c.text);
    }
    // Lower-case hex names the same id.
    EXPECT_TRUE(tuidFromRegistry("{dcd7bbe3-7742-448d-a874-aacc979c759e}") == IEditController_iid);
}

TEST(InterfaceIds, AllIdsAreDistinct) {
    const std::vector<const TUID*> ids = {
        &FUnknown_iid, &IDependent_iid, &IUpdateHandler_iid, &IUpdateManager_iid, &IPluginFactory_iid,
        &IPluginFactory2_iid, &IPluginFactory3_iid, &IPluginBase_iid, &IConnectionPoint_iid, &IComponent_iid,
        &IAudioProcessor_iid, &IEditController_iid, &IEditController2_iid, &IUnitInfo_iid, &IPlugController_iid,
        &IPlugController2_iid, &IPlugController3_iid, &IPlugController4_iid, &IViewBuilder_iid,
        &IIdleHandler_iid, &IValueStringRepresentation_iid, &IEditControllerHostEditing_iid,
        &IXmlRepresentationController_iid, &IPlugView_iid, &IHostViewClient_iid, &IHostViewMouseEvent_iid,
        &IColorGroupInformation_iid, &IHostApp_iid, &IMessageObject_iid, &IComponentHandler2_iid,
        &IBitmapRectService_iid, &kProcessorClassId, &kControllerClassId};
    for (size_t i = 0; i < ids.size(); ++i)
        for (size_t j = i + 1; j < ids.size(); ++j)
            EXPECT_FALSE(*ids[i] == *ids[j]) << tuidToRegistry(*ids[i]) << " appears twice";
}

} // namespace
} // namespace Zel
