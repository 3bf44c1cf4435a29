#pragma once
// A skin ready to build editors from: its description and its decoded bitmaps,
// read from a resource file.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/view/Bitmap.h"
#include "host/view/SkinModel.h"
#include "interfaces/IPtr.h"

namespace NivoloHost {

class Skin {
public:
    // The resource file entry that holds the description.
    static constexpr std::string_view kDescriptionEntry = "skin.xml";

    // Reads the resource file, its description and every bitmap and section it
    // names. Any fault fails the whole skin: null with a one-line error.
    static std::shared_ptr<Skin> load(const uint8_t* data, size_t size, std::string& error);

    const SkinModel& model() const { return model_; }
    // Not referenced for the caller; null when the skin has no such bitmap.
    Bitmap* bitmap(std::string_view name) const;
    bool colour(std::string_view name, Zel::ColourArgb& out) const { return model_.findColour(name, out); }
    // The template's own size when it gives one, else the extent of its
    // elements from the origin.
    static Zel::ViewRect templateSize(const SkinElement& templ);

private:
    SkinModel model_;
    std::vector<Zel::IPtr<Bitmap>> bitmaps_; // bitmaps, then sections
};

} // namespace NivoloHost
