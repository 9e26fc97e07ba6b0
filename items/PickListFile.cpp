#include "PickListFile.h"

#include "AppPaths.h"
#include "ItemSchema.h"
#include "TextFile.h"
#include "TextRules.h"

namespace items {

using common::PickList;

const std::array<PickListInfo, common::kPickListCount>& PickListFile::All() {
    static const std::array<PickListInfo, common::kPickListCount> lists = {{
        {PickList::Brand, "BRAND.LST", "Brand", "Brand", 2},
        {PickList::Location, "LOCATION.LST", "Location", "Location", 5},
        {PickList::Bought, "BOUGHT.LST", "Purchased From", "BoughtFrom", 7},
        {PickList::Category, "CATEGORY.LST", "Category", "Category", 12},
        {PickList::Owner, "OWNER.LST", "Owner", "Owner", 17},
    }};
    return lists;
}

const PickListInfo& PickListFile::Info(PickList list) { return All()[size_t(int(list) - 1)]; }

int PickListFile::EntryLimit(PickList list) { return store::SchemaAt(Info(list).position).width; }

QString PickListFile::PathOf(PickList list) {
    return common::AppPaths::Join(common::AppPaths::DataDir(), Info(list).fileName);
}

QStringList PickListFile::Parse(const QString& text) {
    QStringList entries;
    qsizetype start = 0;
    const qsizetype n = text.size();
    while (start < n) {
        qsizetype end = start;
        while (end < n && text[end] != u'\r' && text[end] != u'\n') ++end;
        const QString line = text.mid(start, std::min<qsizetype>(end - start, kLineLimit));
        bool blank = true;
        for (QChar c : line) blank = blank && c == u' ';
        if (!blank) entries << line;
        // CR LF, a lone LF and a lone CR all end a line.
        if (end < n && text[end] == u'\r' && end + 1 < n && text[end + 1] == u'\n') ++end;
        start = end + 1;
    }
    return entries;
}

QStringList PickListFile::Read(const QString& path) {
    const auto text = common::TextFile::Read(path);
    return text ? Parse(*text) : QStringList();
}

QString PickListFile::Format(const QStringList& entries) {
    QString text;
    for (const QString& e : entries) text += e + QStringLiteral("\r\n");
    return text;
}

bool PickListFile::Write(const QString& path, const QStringList& entries) {
    return common::TextFile::Write(path, Format(entries));
}

bool PickListFile::AddToList(QStringList& entries, const QString& value) {
    const QString trimmed = common::TextRules::TrimSpaces(value);
    if (trimmed.isEmpty() || entries.contains(trimmed, Qt::CaseSensitive)) return false;
    entries << trimmed;
    return true;
}

}  // namespace items
