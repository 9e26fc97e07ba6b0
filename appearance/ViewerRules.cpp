#include "ViewerRules.h"

#include <vector>

#include "Settings.h"
#include "TextRules.h"

namespace appearance {

int ViewerRules::ReadWidth(const QString& text) {
    const int value = common::TextRules::ReadInteger(common::TextRules::TrimSpaces(text));
    return value <= 0 || value >= 256 ? kFallbackWidth : value;
}

QString ViewerRules::CutTitle(const QString& text) { return text.left(common::kFieldTitleLength); }

int ViewerRules::FieldAtPosition(const common::Settings& settings, int j) {
    for (int p = 1; p <= store::kItemFieldCount; ++p)
        if (settings.Field(p).order == j) return p;
    return 1;
}

QStringList ViewerRules::OrderRows(const common::Settings& settings) {
    QStringList rows;
    for (int j = 1; j <= store::kItemFieldCount; ++j) rows << settings.Field(FieldAtPosition(settings, j)).title;
    return rows;
}

FieldPositions ViewerRules::Positions(const FieldTitles& titles, const QStringList& rows,
                                      const FieldPositions& current) {
    FieldPositions result = current;
    std::vector<bool> taken(size_t(rows.size()), false);
    for (size_t f = 0; f < titles.size(); ++f) {
        for (int row = 0; row < rows.size(); ++row) {
            if (taken[size_t(row)] || rows[row] != titles[f]) continue;
            taken[size_t(row)] = true;
            result[f] = row + 1;
            break;
        }
    }
    return result;
}

}  // namespace appearance
