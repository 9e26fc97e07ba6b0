#pragma once
// The rules by which the viewer configuration turns what the user typed into
// viewer settings: column widths read leniently and kept in range, titles cut
// to their stored length, and display positions taken from the order list.
// Kept apart from the dialog so the rules are tested without any window.

#include <QString>
#include <QStringList>
#include <array>

#include "ItemSchema.h"

namespace common {
class Settings;
}

namespace appearance {

using FieldTitles = std::array<QString, store::kItemFieldCount>;  // index = position - 1
using FieldPositions = std::array<int, store::kItemFieldCount>;

class ViewerRules {
public:
    static constexpr int kFallbackWidth = 10;

    // Blanks at both ends are ignored and the text is read as a whole
    // number (its leading digits); 0 or less, 256 or more, and a text
    // without digits give 10.
    static int ReadWidth(const QString& text);
    // A field title as stored: its first 20 characters.
    static QString CutTitle(const QString& text);

    // The order list of the dialog: row k holds the title of the field shown
    // at display position k + 1 (field 1 when no field claims the position,
    // as the grid itself does).
    static QStringList OrderRows(const common::Settings& settings);
    // The field shown at display position j (1 to 22), as the grid picks it.
    static int FieldAtPosition(const common::Settings& settings, int j);

    // New display positions from the order list: each field, in schema
    // order, takes the first row holding its title that no earlier field has
    // taken (row + 1); a field whose title is in no free row keeps its
    // current position. Taking each row once keeps two fields with equal
    // titles from landing on one position, which would hide one of them.
    static FieldPositions Positions(const FieldTitles& titles, const QStringList& rows,
                                    const FieldPositions& current);
};

}  // namespace appearance
