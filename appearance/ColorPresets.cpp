#include "ColorPresets.h"

namespace appearance {
namespace {

using common::ColorSlot;

QColor Rgb(int r, int g, int b) { return QColor(r, g, b); }

}  // namespace

const std::vector<ColorPreset>& ColorPresets::All() {
    static const std::vector<ColorPreset> kPresets = {
        {"Monochrome", Rgb(255, 255, 255), Rgb(0, 0, 0), Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(0, 0, 0), Rgb(0, 0, 0)},
        {"Gray Mist", Rgb(192, 192, 192), Rgb(0, 0, 0), Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(0, 0, 0), Rgb(0, 0, 0)},
        {"Midnight Black", Rgb(0, 0, 0), Rgb(192, 192, 192), Rgb(255, 255, 255), Rgb(127, 127, 127), Rgb(0, 0, 0),
         Rgb(255, 255, 255)},
        {"Desert Sunset", Rgb(255, 255, 128), Rgb(0, 0, 0), Rgb(0, 0, 0), Rgb(255, 255, 0), Rgb(0, 0, 0),
         Rgb(0, 0, 0)},
        {"Easter Pastel", Rgb(255, 128, 255), Rgb(0, 0, 255), Rgb(0, 0, 0), Rgb(128, 0, 128), Rgb(0, 255, 255),
         Rgb(0, 0, 0)},
        {"Ocean Blue", Rgb(0, 255, 255), Rgb(255, 0, 0), Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(0, 0, 128),
         Rgb(0, 0, 0)},
        {"Fiery Red", Rgb(255, 0, 0), Rgb(0, 0, 128), Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(255, 0, 0), Rgb(0, 0, 0)},
        {"Christmas Season", Rgb(0, 255, 0), Rgb(255, 255, 255), Rgb(255, 0, 0), Rgb(255, 0, 0), Rgb(255, 255, 255),
         Rgb(255, 0, 0)},
        {"Wine", Rgb(128, 0, 64), Rgb(255, 0, 0), Rgb(255, 0, 255), Rgb(128, 0, 128), Rgb(255, 0, 0),
         Rgb(255, 0, 255)},
        {"More Pastels", Rgb(0, 255, 128), Rgb(255, 0, 255), Rgb(128, 0, 128), Rgb(0, 255, 255), Rgb(0, 0, 255),
         Rgb(128, 0, 128)},
        {"Green Glow", Rgb(0, 0, 0), Rgb(0, 255, 0), Rgb(0, 255, 0), Rgb(0, 255, 0), Rgb(0, 0, 0), Rgb(0, 255, 0)},
        {"Camouflage", Rgb(128, 128, 0), Rgb(0, 128, 0), Rgb(127, 127, 127), Rgb(0, 128, 128), Rgb(192, 192, 192),
         Rgb(127, 127, 127)},
    };
    return kPresets;
}

void ColorPresets::Apply(const ColorPreset& preset, common::ColorGroup& group) {
    group[ColorSlot::MainBackground] = preset.mainBackground;
    group[ColorSlot::MajorTitle] = preset.majorTitle;
    group[ColorSlot::MinorTitle] = preset.minorTitle;
    group[ColorSlot::EditBackground] = preset.editBackground;
    group[ColorSlot::EditText] = preset.editText;
    group[ColorSlot::RadioText] = preset.radioText;
    group[ColorSlot::ComboBackground] = preset.editBackground;
    group[ColorSlot::ListBoxBackground] = preset.editBackground;
    group[ColorSlot::ComboText] = preset.editText;
    group[ColorSlot::ListBoxText] = preset.editText;
    group[ColorSlot::RadioBackground] = preset.mainBackground;
    group[ColorSlot::CheckBackground] = preset.mainBackground;
    group[ColorSlot::CheckText] = preset.radioText;
}

}  // namespace appearance
