#pragma once
// The five pick lists and their files: which list feeds which field, the
// file each is kept in, and the file format itself. A list file holds one
// entry per line, written in list order exactly as held; on reading, each
// line counts up to 255 characters and lines that are empty or all blanks
// are passed over, so a hand-edited file with gaps still loads cleanly.
// Leading and trailing blanks of other lines are kept as they are.

#include <QString>
#include <QStringList>
#include <array>

#include "MainContext.h"

namespace items {

struct PickListInfo {
    common::PickList list;
    QString fileName;     // "BRAND.LST" ...
    QString caption;      // as the maintenance dialog names the list
    QString fieldName;    // the item-table field it feeds
    int position;         // that field's schema position
};

class PickListFile {
public:
    static constexpr int kLineLimit = 255;

    static const std::array<PickListInfo, common::kPickListCount>& All();
    static const PickListInfo& Info(common::PickList list);
    // The entry typing limit: the width of the list's field.
    static int EntryLimit(common::PickList list);
    // The list's file in the program's data folder.
    static QString PathOf(common::PickList list);

    // The entries a file's text yields under the reading rules.
    static QStringList Parse(const QString& text);
    // The file's entries; a file that cannot be read gives an empty list.
    static QStringList Read(const QString& path);
    // One line per entry, each ended by CR LF; an empty list is empty text.
    static QString Format(const QStringList& entries);
    // Replaces the file atomically; false when it could not be written.
    static bool Write(const QString& path, const QStringList& entries);

    // Appends the value, trimmed of blanks, unless it is empty or an equal
    // entry (case-sensitive) is already there. True when it was appended.
    static bool AddToList(QStringList& entries, const QString& value);
};

}  // namespace items
