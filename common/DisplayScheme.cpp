#include "DisplayScheme.h"

#include "IniFile.h"

namespace common {
namespace {

const QString kDefaultFace = QStringLiteral("Arial");
constexpr int kNumberBuffer = 15;
constexpr int kFontBuffer = 150;

QFont MakeFont(const QString& face, int size) {
    QFont font(face);
    // Positive sizes are points; a negative size is a pixel height.
    if (size > 0) font.setPointSize(size);
    else if (size < 0) font.setPixelSize(-size);
    return font;
}

int FontSize(const QFont& font) {
    if (font.pointSize() > 0) return font.pointSize();
    if (font.pixelSize() > 0) return -font.pixelSize();
    return 0;
}

}  // namespace

DisplayScheme::DisplayScheme()
    : gridTitleFont(MakeFont(kDefaultFace, 12)),
      gridTitleFontColor(Qt::black),
      gridFont(MakeFont(kDefaultFace, 10)),
      gridFontColor(Qt::black),
      labelFont(kDefaultFace),
      editFont(kDefaultFace),
      buttonFont(kDefaultFace) {}

void DisplayScheme::ReadGridFont(const IniFile& ini, const QString& section, int defaultSize, QFont& font,
                                 QColor& color) {
    color = ColorGroup::FromWindowsColor(ini.ReadInteger(section, QStringLiteral("Color"), 0, kFontBuffer));
    font = MakeFont(ini.ReadString(section, QStringLiteral("Font Name"), kDefaultFace, kFontBuffer),
                    ini.ReadInteger(section, QStringLiteral("Size"), defaultSize, kFontBuffer));
    font.setBold(ini.ReadBool(section, QStringLiteral("Bold"), false));
    font.setItalic(ini.ReadBool(section, QStringLiteral("Italic"), false));
    font.setUnderline(ini.ReadBool(section, QStringLiteral("Underline"), false));
    font.setStrikeOut(ini.ReadBool(section, QStringLiteral("Strikeout"), false));
}

void DisplayScheme::WriteGridFont(IniFile& ini, const QString& section, const QFont& font, const QColor& color) {
    ini.WriteInteger(section, QStringLiteral("Color"), ColorGroup::ToWindowsColor(color));
    ini.SetValue(section, QStringLiteral("Font Name"), font.family());
    ini.WriteInteger(section, QStringLiteral("Size"), FontSize(font));
    ini.WriteBool(section, QStringLiteral("Bold"), font.bold());
    ini.WriteBool(section, QStringLiteral("Italic"), font.italic());
    ini.WriteBool(section, QStringLiteral("Underline"), font.underline());
    ini.WriteBool(section, QStringLiteral("Strikeout"), font.strikeOut());
}

QFont DisplayScheme::ReadWindowFont(const IniFile& ini, const QString& section) {
    QFont font(ini.ReadString(section, QStringLiteral("Font Name"), kDefaultFace, kFontBuffer));
    font.setBold(ini.ReadBool(section, QStringLiteral("Bold"), false));
    font.setItalic(ini.ReadBool(section, QStringLiteral("Italic"), false));
    return font;
}

void DisplayScheme::WriteWindowFont(IniFile& ini, const QString& section, const QFont& font) {
    ini.SetValue(section, QStringLiteral("Font Name"), font.family());
    ini.WriteBool(section, QStringLiteral("Bold"), font.bold());
    ini.WriteBool(section, QStringLiteral("Italic"), font.italic());
}

void DisplayScheme::ReadFrom(const IniFile& ini) {
    const auto& names = ColorGroup::SlotNames();
    for (int g = 0; g < kWindowGroupCount; ++g) {
        const QString section = ColorGroup::SectionName(WindowGroup(g));
        for (int s = 0; s < kColorSlotCount; ++s) {
            const int value = ini.ReadInteger(section, names[size_t(s)],
                                              ColorGroup::DefaultWindowsColor(ColorSlot(s)), kNumberBuffer);
            m_groups[size_t(g)].At(s) = ColorGroup::FromWindowsColor(value);
        }
    }
    ReadGridFont(ini, QStringLiteral("Grid Title Font"), 12, gridTitleFont, gridTitleFontColor);
    ReadGridFont(ini, QStringLiteral("Grid Font"), 10, gridFont, gridFontColor);
    editFont = ReadWindowFont(ini, QStringLiteral("Edit Font"));
    labelFont = ReadWindowFont(ini, QStringLiteral("Label Font"));
    buttonFont = ReadWindowFont(ini, QStringLiteral("Button Font"));
}

void DisplayScheme::WriteColorGroups(IniFile& ini) const {
    const auto& names = ColorGroup::SlotNames();
    for (int g = 0; g < kWindowGroupCount; ++g) {
        const QString section = ColorGroup::SectionName(WindowGroup(g));
        for (int s = 0; s < kColorSlotCount; ++s)
            ini.WriteInteger(section, names[size_t(s)], ColorGroup::ToWindowsColor(m_groups[size_t(g)].At(s)));
    }
}

}  // namespace common
