#pragma once
// The framework's skin service: registered skin files, their bitmaps, colours
// and templates.

#include "FUnknown.h"
#include "ViewTypes.h"

namespace Zel {

class IPlugController;
class IPlugView;

class ISkinResource : public FUnknown {
public:
    static constexpr const TUID& iid = ISkinResource_iid;

    // All operations: [ui thread].
    // *bitmap: a host bitmap (answers IBitmapSize), one reference for the caller.
    virtual tresult getBitmap(const char* name, FUnknown** bitmap) = 0;                     // 4
    virtual tresult getColour(const char* name, ColourArgb* colour) = 0;                     // 5
    // Reads the resource fileName from the module behind moduleHandle.
    virtual tresult registerSkin(void* moduleHandle, const char16_t* fileName) = 0;          // 6
    virtual tresult unregisterSkin(void* moduleHandle) = 0;                                  // 7
    virtual int32_t templateCount() = 0;                                                     // 8
    virtual tresult templateName(int32_t index, char* buffer, int32_t size) = 0;             // 9
    virtual tresult hasTemplate(const char* name) = 0;                                       // 10
    virtual tresult templateSize(const char* name, ViewRect* size) = 0;                      // 11
    virtual tresult getFontFace(const char* name, char* buffer, int32_t size) = 0;           // 12
    virtual tresult reload() = 0;                                                            // 13
    // *view: the editor built from the template, one reference for the caller;
    // the framework resolves its controls and custom views through controller.
    virtual tresult createView(const char* templateName, IPlugController* controller,
                               IPlugView** view) = 0;                                        // 14

protected:
    ~ISkinResource() = default;
};

} // namespace Zel
