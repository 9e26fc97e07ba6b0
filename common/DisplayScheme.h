#pragma once
// The display scheme shared by every window for the whole run: the five
// colour groups and the five shared fonts. The grid title and grid fonts
// carry a colour and all four style flags; the label, edit and button
// fonts only a typeface with bold and italic, because windows apply them
// while keeping each control's own size and colour.

#include <QColor>
#include <QFont>
#include <array>

#include "ColorGroup.h"

namespace common {

class IniFile;

class DisplayScheme {
public:
    DisplayScheme();  // defaults: Arial everywhere, grid title 12, grid 10

    ColorGroup& Group(WindowGroup group) { return m_groups[size_t(group)]; }
    const ColorGroup& Group(WindowGroup group) const { return m_groups[size_t(group)]; }

    QFont gridTitleFont;
    QColor gridTitleFontColor;
    QFont gridFont;
    QColor gridFontColor;
    QFont labelFont;
    QFont editFont;
    QFont buttonFont;

    // Font sections of the settings file. A grid font section holds
    // "Color", "Font Name", "Size" and the four style flags; a window font
    // section "Font Name", "Bold" and "Italic". Each "Yes" adds that style.
    static void ReadGridFont(const IniFile& ini, const QString& section, int defaultSize, QFont& font,
                             QColor& color);
    static void WriteGridFont(IniFile& ini, const QString& section, const QFont& font, const QColor& color);
    static QFont ReadWindowFont(const IniFile& ini, const QString& section);
    static void WriteWindowFont(IniFile& ini, const QString& section, const QFont& font);

    void ReadFrom(const IniFile& ini);
    // Colour groups first, then (after whatever the caller writes between)
    // the fonts; the settings file interleaves them with grid options.
    void WriteColorGroups(IniFile& ini) const;

private:
    std::array<ColorGroup, kWindowGroupCount> m_groups;
};

}  // namespace common
