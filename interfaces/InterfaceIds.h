#pragma once
// The interface identifiers of the plug-in interface standard that this module
// answers or requests. Host and module must agree on them byte for byte.
// (The FObject class id is not here: it is generated once per process.)

#include "Tuid.h"

namespace Zel {

// Answered by the module's objects.
inline constexpr TUID FUnknown_iid = tuidFromRegistry("{00000000-0000-0000-C000-000000000046}");
inline constexpr TUID IDependent_iid = tuidFromRegistry("{F52B7AAE-DE72-416D-8AF1-8ACE9DD7BD5E}");
inline constexpr TUID IUpdateHandler_iid = tuidFromRegistry("{F5246D56-8654-4D60-B026-AFB57B697B37}");
inline constexpr TUID IUpdateManager_iid = tuidFromRegistry("{030B780C-D6E6-418D-8CE0-0BC209C834D4}");
inline constexpr TUID IPluginFactory_iid = tuidFromRegistry("{7A4D811C-5211-4A1F-AED9-D2EE0B43BF9F}");
inline constexpr TUID IPluginFactory2_iid = tuidFromRegistry("{0007B650-F24B-4C0B-A464-EDB9F00B2ABB}");
inline constexpr TUID IPluginFactory3_iid = tuidFromRegistry("{4555A2AB-C123-4E57-9B12-291036878931}");
inline constexpr TUID IPluginBase_iid = tuidFromRegistry("{22888DDB-156E-45AE-8358-B34808190625}");
inline constexpr TUID IConnectionPoint_iid = tuidFromRegistry("{70A4156F-6E6E-4026-9891-48BFAA60D8D1}");
inline constexpr TUID IComponent_iid = tuidFromRegistry("{E831FF31-F2D5-4301-928E-BBEE25697802}");
inline constexpr TUID IAudioProcessor_iid = tuidFromRegistry("{42043F99-B7DA-453C-A569-E79D9AAEC33D}");
inline constexpr TUID IEditController_iid = tuidFromRegistry("{DCD7BBE3-7742-448D-A874-AACC979C759E}");
inline constexpr TUID IEditController2_iid = tuidFromRegistry("{7F4EFE59-F320-4967-AC27-A3AEAFB63038}");
inline constexpr TUID IUnitInfo_iid = tuidFromRegistry("{3D4BD6B5-913A-4FD2-A886-E768A5EB92C1}");
inline constexpr TUID IPlugController_iid = tuidFromRegistry("{0466B781-A086-11D5-BECC-00A0C9A636BC}");
inline constexpr TUID IPlugController2_iid = tuidFromRegistry("{4C9BD1A4-68FB-4D77-8DED-CCF94F01415D}");
inline constexpr TUID IPlugController3_iid = tuidFromRegistry("{E9E38A1D-BFA8-4FBF-A35B-5F00907B66E1}");
inline constexpr TUID IPlugController4_iid = tuidFromRegistry("{FD4E5827-C898-4306-B49D-F0B78A80AF22}");
inline constexpr TUID IViewBuilder_iid = tuidFromRegistry("{53D29FE8-ED00-400B-9E6D-4DD80444B116}");
inline constexpr TUID IIdleHandler_iid = tuidFromRegistry("{D70BBB58-C805-45B8-AB82-64180B673A84}");
inline constexpr TUID IValueStringRepresentation_iid = tuidFromRegistry("{BCF128DB-B1E4-433C-B899-ADB4F76493CB}");
inline constexpr TUID IEditControllerHostEditing_iid = tuidFromRegistry("{C1271208-7059-4098-B9DD-34B36BB0195E}");
inline constexpr TUID IXmlRepresentationController_iid = tuidFromRegistry("{A81A0471-48C3-4DC4-AC30-C9E13C8393D5}");
inline constexpr TUID IPlugView_iid = tuidFromRegistry("{5BC32507-D060-49EA-A615-1B522B755B29}");
inline constexpr TUID IHostViewClient_iid = tuidFromRegistry("{3FD38672-A1AF-419C-AD49-52AF0E5667E1}");
inline constexpr TUID IHostViewMouseEvent_iid = tuidFromRegistry("{64838A5F-614D-4DEE-ABFD-E7DDA5C160BA}");
inline constexpr TUID IColorGroupInformation_iid = tuidFromRegistry("{7D04B5FD-E2C9-43FB-9CE9-5C9038994D1C}");

// Requested by the module from host objects: the host context's application
// interface, message objects, the component handler's second interface (edit
// groups, dirty state) and the bitmap-rectangle service of the meter views.
inline constexpr TUID IHostApp_iid = tuidFromRegistry("{58E595CC-DB2D-4969-8B6A-AF8C36A664E5}");
inline constexpr TUID IMessageObject_iid = tuidFromRegistry("{936F033B-C6C0-47DB-BB08-82F813C1E613}");
inline constexpr TUID IComponentHandler2_iid = tuidFromRegistry("{F040B4B3-A360-45EC-ABCD-C045B4D5A2CC}");
inline constexpr TUID IBitmapRectService_iid = tuidFromRegistry("{09DBE9EC-892B-4721-908E-53D0941493DF}");

// Host-side interfaces that are handed to the module typed, never asked for by
// id; these ids are our host's own and only its objects answer them.
inline constexpr TUID IAttributeSet_iid = tuidFromRegistry("{2A02E02E-12EF-406B-A773-EB8CCE5BCD22}");
inline constexpr TUID IByteStream_iid = tuidFromRegistry("{F049FC4B-25D4-475F-82DC-7A6EDC182843}");
inline constexpr TUID IParamChanges_iid = tuidFromRegistry("{5634066C-CE60-4BD7-A27B-00235798B678}");
inline constexpr TUID IParamQueue_iid = tuidFromRegistry("{1D5DF185-F6D4-4805-A5D2-DE1B1E03FFD7}");

// The host's view framework, reached from the host context; its services and
// classes are created through the framework root (IHostFramework).
inline constexpr TUID IHostFramework_iid = tuidFromRegistry("{EEC89683-80DB-4336-9177-273E138A763B}");
inline constexpr TUID RequiredService1_cid = tuidFromRegistry("{1464F3B4-08D6-4A65-AFB8-066A898649A4}");
inline constexpr TUID RequiredService2_cid = tuidFromRegistry("{D42DB561-B599-449C-B01C-8D1C0BD679D8}");
inline constexpr TUID RequiredService3_cid = tuidFromRegistry("{43634416-41C1-4C3B-8559-3DE8AA53E652}");
inline constexpr TUID RequiredService4_cid = tuidFromRegistry("{5EE0477C-E17D-4CEB-BB19-AEF5E66954B8}");
inline constexpr TUID ITimeService_iid = tuidFromRegistry("{1BC82887-0EE8-4A33-8981-D81E7B58EC93}");
inline constexpr TUID OptionalService_cid = tuidFromRegistry("{8092A692-D3AA-4476-8C4C-4917C1BFBE98}");
inline constexpr TUID ISkinResource_iid = tuidFromRegistry("{8C0DB48D-2E97-4D18-9852-9AE4F712ACE7}");
inline constexpr TUID IIdleService_iid = tuidFromRegistry("{9E871847-F1AB-4776-A06C-6F945D7FDD4D}");
inline constexpr TUID IHostView_iid = tuidFromRegistry("{FE89F65F-C278-4099-AD9C-9424A61BC938}");
inline constexpr TUID IntegerControl_cid = tuidFromRegistry("{037B1E33-F364-4539-92F2-09B82602C80B}");
inline constexpr TUID ContinuousControl_cid = tuidFromRegistry("{6120B9B1-7B64-44D5-A6FF-FC83C0E7C1C7}");
inline constexpr TUID SwitchControl_cid = tuidFromRegistry("{D2D767F5-A3B7-4B44-8A8A-83FD04C1B489}");
inline constexpr TUID TextControl_cid = tuidFromRegistry("{96512EB9-2DE8-4960-B268-4A131CF7C5F8}");
inline constexpr TUID IControlExtension_iid = tuidFromRegistry("{F9EAE1EF-6373-4416-8560-41B38BF8BB15}");
inline constexpr TUID IControlPrecision_iid = tuidFromRegistry("{5FAA79E6-1AD7-4E60-83C7-F1E38AEB62CA}");
inline constexpr TUID IControlValueTextHook_iid = tuidFromRegistry("{12DEC1ED-2E63-4D77-976D-D55B472A38FF}");
inline constexpr TUID IViewDescription_iid = tuidFromRegistry("{A06AB933-E27C-4279-A90D-7BCB0CB10074}");

// Optional meter services of the view framework; a host may leave them out.
inline constexpr TUID IMeterSettings_iid = tuidFromRegistry("{F1EF594E-A8AC-415D-9FBE-A25075232C61}");
inline constexpr TUID ILevelMapping_iid = tuidFromRegistry("{50295406-B396-41EF-BE60-917A73DF3A6E}");
inline constexpr TUID IMeterBitmaps_iid = tuidFromRegistry("{66F71833-9704-4614-A9CC-45E580ACBE16}");
inline constexpr TUID IBitmapSize_iid = tuidFromRegistry("{742D5252-5741-4C5E-BF18-C4659BE2BDC1}");

// Host-side interfaces without a published id; these are our own constants.
inline constexpr TUID IComponentHandler_iid = tuidFromRegistry("{6B3A2C41-0D7E-4F52-9A18-3C5E7B90D214}");
inline constexpr TUID IMeterViewRegistry_iid = tuidFromRegistry("{2F8C6E15-7A43-4B9D-8E21-5D0C9F3A6B77}");
inline constexpr TUID IControl_iid = tuidFromRegistry("{8E4D1A37-5C92-4F0B-B6E3-1A7D2C5F9E48}");
inline constexpr TUID IStringValue_iid = tuidFromRegistry("{3C71E9A2-4B58-4D16-9F0A-7E2B6D8C1A53}");
inline constexpr TUID IDrawContext_iid = tuidFromRegistry("{A5D2973E-1F64-4C8B-B0E7-92C4D1F6A385}");

} // namespace Zel
