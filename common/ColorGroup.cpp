#include "ColorGroup.h"

namespace common {
namespace {

constexpr int kLightGrey = 12632256;
constexpr int kWhite = 16777215;

}  // namespace

ColorGroup::ColorGroup() {
    for (int i = 0; i < kColorSlotCount; ++i) m_colors[size_t(i)] = FromWindowsColor(DefaultWindowsColor(ColorSlot(i)));
}

const std::array<QString, kColorSlotCount>& ColorGroup::SlotNames() {
    static const std::array<QString, kColorSlotCount> kNames = {
        QStringLiteral("Main Background"),     QStringLiteral("Major Title"),
        QStringLiteral("Minor Title"),         QStringLiteral("Edit Background"),
        QStringLiteral("Edit Text"),           QStringLiteral("Combo Background"),
        QStringLiteral("Combo Text"),          QStringLiteral("List Box Background"),
        QStringLiteral("List Box Text"),       QStringLiteral("Radio Background"),
        QStringLiteral("Radio Text"),          QStringLiteral("Check Background"),
        QStringLiteral("Check Text"),
    };
    return kNames;
}

int ColorGroup::DefaultWindowsColor(ColorSlot slot) {
    switch (slot) {
    case ColorSlot::MainBackground:
    case ColorSlot::RadioBackground:
    case ColorSlot::CheckBackground:
        return kLightGrey;
    case ColorSlot::EditBackground:
    case ColorSlot::ComboBackground:
    case ColorSlot::ListBoxBackground:
        return kWhite;
    default:
        return 0;
    }
}

QString ColorGroup::SectionName(WindowGroup group) {
    switch (group) {
    case WindowGroup::Main: return QStringLiteral("Main Window Color");
    case WindowGroup::Edit: return QStringLiteral("Edit Window Color");
    case WindowGroup::Search: return QStringLiteral("Search Window Color");
    case WindowGroup::Report: return QStringLiteral("Report Window Color");
    case WindowGroup::Configure: return QStringLiteral("Configure Window Color");
    }
    return {};
}

QColor ColorGroup::FromWindowsColor(int value) {
    // The high byte (system-colour flags of the old platform) has no
    // meaning here and is dropped.
    const uint32_t v = uint32_t(value);
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

int ColorGroup::ToWindowsColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return rgb.red() | (rgb.green() << 8) | (rgb.blue() << 16);
}

}  // namespace common
