#include "editor/MeterViewFactory.h"

#include <cstring>
#include <string>

#include "editor/HostFramework.h"
#include "editor/VuMeterData.h"
#include "editor/VuMeterHorizView.h"
#include "editor/VuMeterPhVertiView.h"
#include "interfaces/IMeterBitmaps.h"
#include "interfaces/IPtr.h"
#include "interfaces/IViewDescription.h"

namespace Zel {

namespace {

bool readAttribute(IViewDescription* description, const char* key, std::string& value) {
    char buffer[256] = {};
    if (!description || description->getAttribute(key, buffer, sizeof buffer) != kResultOk) return false;
    value = buffer;
    return true;
}

bool hostBitmaps(VuMeterData* data, const ViewRect& rect, bool horizontal, IPtr<FUnknown>& fore,
                 IPtr<FUnknown>& back) {
    if (!data->usesHostMapping()) return false;
    IPtr<IMeterBitmaps> service = IPtr<IMeterBitmaps>::adopt(HostFramework::createAs<IMeterBitmaps>(IMeterBitmaps_iid));
    if (!service) return false;
    const ViewRect local{0, 0, rect.width(), rect.height()};
    const int32_t thickness = horizontal ? rect.height() : rect.width();
    fore = IPtr<FUnknown>::adopt(service->foreBitmap(&local, VuMeterData::kMeterType, thickness, horizontal ? 1 : 0));
    back = IPtr<FUnknown>::adopt(service->backBitmap(&local, VuMeterData::kMeterType, horizontal ? 1 : 0));
    return true;
}

void skinBitmaps(IViewDescription* description, const ViewRect& rect, ISkinResource* skin, IPtr<FUnknown>& fore,
                 IPtr<FUnknown>& back) {
    std::string foreName = kMeterForeBitmap;
    std::string backName = kMeterBackBitmap;
    readAttribute(description, "meter-name-fore", foreName);
    readAttribute(description, "meter-name-back", backName);
    if (rect.width() > rect.height()) {
        foreName = kMeterHorizForeBitmap;
        backName = kMeterHorizBackBitmap;
    }
    if (!skin) return;
    FUnknown* bitmap = nullptr;
    if (skin->getBitmap(foreName.c_str(), &bitmap) == kResultOk) fore = IPtr<FUnknown>::adopt(bitmap);
    bitmap = nullptr;
    if (skin->getBitmap(backName.c_str(), &bitmap) == kResultOk) back = IPtr<FUnknown>::adopt(bitmap);
}

} // namespace

IHostView* createMeterView(FUnknown* parent, const ViewRect& rect, VuMeterData* data, bool peakHold,
                           ISkinResource* skin) {
    if (!data) return nullptr;
    IPtr<IViewDescription> description = queryInterface<IViewDescription>(parent);
    std::string orientation;
    const bool horizontal = readAttribute(description.get(), "meter-orientation", orientation) &&
                            orientation == "horizontal";

    IPtr<FUnknown> fore;
    IPtr<FUnknown> back;
    if (!hostBitmaps(data, rect, horizontal, fore, back)) skinBitmaps(description.get(), rect, skin, fore, back);
    if (!fore || !back) return nullptr;

    VuMeterView* view;
    if (horizontal)
        view = new VuMeterHorizView(rect, data, fore.get(), back.get());
    else if (peakHold)
        view = new VuMeterPhVertiView(rect, data, fore.get(), back.get());
    else
        view = new VuMeterVertiView(rect, data, fore.get(), back.get());
    view->layout();

    IHostView* host = view->hostView();
    if (!host) view->Release(); // nobody would carry it
    return host;
}

} // namespace Zel
