#pragma once
// Helpers shared by the engine tests: temporary folders, the independent
// reader and writer run through Debian's Python, and item-table set-up.

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "ItemSchema.h"
#include "Table.h"

namespace testsupport {

inline QString ScriptPath(const char* name) {
    return QStringLiteral(HALVENOR_SOURCE_DIR "/tests/store/") + QString::fromLatin1(name);
}

inline QString FixturePath(const char* name) {
    return QStringLiteral(HALVENOR_FIXTURES "/dbf/") + QString::fromLatin1(name);
}

// Runs one of the Python helpers with Debian's interpreter, which sees the
// Debian packages of the independent reader and writer.
inline QByteArray RunPython(const char* script, const QStringList& args) {
    QProcess p;
    p.start("/usr/bin/python3", QStringList{ScriptPath(script)} + args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning("%s failed: %s", script, p.readAllStandardError().constData());
        return {};
    }
    return p.readAllStandardOutput();
}

inline QJsonObject ReadWithDbfread(const QString& path, const QString& encoding = {}) {
    QStringList args{path};
    if (!encoding.isEmpty()) args << encoding;
    return QJsonDocument::fromJson(RunPython("read_dbf.py", args)).object();
}

// Opens a fresh, empty item table named name in dir.
inline void CreateItemTable(store::Table& t, const QString& dir, const std::string& name = "MASTER") {
    t.Close();
    t.SetDirectory(dir.toStdString());
    t.SetTableName(name);
    t.Create(store::ItemTableFieldDefs());
    t.Open();
}

inline void AppendItem(store::Table& t, const std::string& item, const std::string& category = {},
                       const std::string& cost = {}) {
    t.Append();
    t.SetText("Item", item);
    if (!category.empty()) t.SetText("Category", category);
    if (!cost.empty()) t.SetText("Cost", cost);
    t.Post();
}

// The main window's sort order, the tag most tests keep in step.
inline const char* kSortExpr = "Upper(Left(Category,20))+Upper(Left(Item,20))";

inline std::string UpperPadded(std::string s, size_t n) {
    s.resize(n, ' ');
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    return s;
}

// The order a reference sort gives the live records under kSortExpr.
inline std::vector<uint32_t> ReferenceOrder(store::Table& t) {
    std::vector<std::pair<std::string, uint32_t>> keys;
    const int item = t.FieldIndex("Item"), cat = t.FieldIndex("Category");
    for (uint32_t r = 0; r < t.PhysicalCount(); ++r) {
        const store::RecordView v = t.ViewOf(r);
        if (v.IsDeleted()) continue;
        keys.emplace_back(UpperPadded(std::string(v.Raw(cat)), 20) + UpperPadded(std::string(v.Raw(item)), 20), r);
    }
    std::sort(keys.begin(), keys.end());
    std::vector<uint32_t> out;
    for (const auto& k : keys) out.push_back(k.second);
    return out;
}

// The records as navigation delivers them.
inline std::vector<uint32_t> WalkOrder(store::Table& t) {
    std::vector<uint32_t> out;
    for (t.First(); !t.Eof(); t.Next()) {
        out.push_back(t.RecNo());
        if (out.size() > t.PhysicalCount()) break;
    }
    return out;
}

inline std::vector<std::string> ItemsInOrder(store::Table& t) {
    std::vector<std::string> out;
    for (t.First(); !t.Eof(); t.Next()) out.push_back(t.GetText("Item"));
    return out;
}

}  // namespace testsupport
