#pragma once
// The twelve predefined colour combinations of the colour configuration.
// Each names six colours; the other seven follow from them, so that boxes,
// lists and buttons always match the window they sit in.

#include <QColor>
#include <QString>
#include <vector>

#include "ColorGroup.h"

namespace appearance {

struct ColorPreset {
    QString name;
    QColor mainBackground;
    QColor majorTitle;
    QColor minorTitle;
    QColor editBackground;
    QColor editText;
    QColor radioText;
};

class ColorPresets {
public:
    // "Monochrome" ... "Camouflage", in the order the list offers them.
    static const std::vector<ColorPreset>& All();
    // Sets the six named slots, then derives the rest: combo and list
    // boxes take the edit colours, radio and check backgrounds the main
    // background, check text the radio text.
    static void Apply(const ColorPreset& preset, common::ColorGroup& group);
};

}  // namespace appearance
