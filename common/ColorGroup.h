#pragma once
// One colour group of the display scheme: the thirteen named colours a
// window of that group takes when it is shown. Five groups exist (main,
// edit, search, report and configure windows); the colour configuration
// dialog edits them. In files colours are Windows colour integers
// (0x00BBGGRR), in memory QColor.

#include <QColor>
#include <QString>
#include <array>

namespace common {

enum class ColorSlot {
    MainBackground,
    MajorTitle,
    MinorTitle,
    EditBackground,
    EditText,
    ComboBackground,
    ComboText,
    ListBoxBackground,
    ListBoxText,
    RadioBackground,
    RadioText,
    CheckBackground,
    CheckText,
};
inline constexpr int kColorSlotCount = 13;

enum class WindowGroup { Main, Edit, Search, Report, Configure };
inline constexpr int kWindowGroupCount = 5;

class ColorGroup {
public:
    ColorGroup();  // the defaults: grey backgrounds, white boxes, black text

    QColor& operator[](ColorSlot slot) { return m_colors[size_t(slot)]; }
    const QColor& operator[](ColorSlot slot) const { return m_colors[size_t(slot)]; }
    QColor& At(int index) { return m_colors[size_t(index)]; }
    const QColor& At(int index) const { return m_colors[size_t(index)]; }

    bool operator==(const ColorGroup&) const = default;

    // "Main Background" ... "Check Text", in slot order: also the keys of
    // the settings file.
    static const std::array<QString, kColorSlotCount>& SlotNames();
    static int DefaultWindowsColor(ColorSlot slot);
    // "Main Window Color" ... "Configure Window Color".
    static QString SectionName(WindowGroup group);

    static QColor FromWindowsColor(int value);
    static int ToWindowsColor(const QColor& color);

private:
    std::array<QColor, kColorSlotCount> m_colors;
};

}  // namespace common
