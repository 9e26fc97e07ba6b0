#pragma once
// What the export and import tests share: item tables in temporary
// folders filled from field/value pairs, files written and read whole, the
// Item-like texts a table delivers, and the independent readers (Python's
// csv module and dbfread) run on our files.

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTest>
#include <map>
#include <string>
#include <vector>

#include "FileBytes.h"
#include "ItemSchema.h"
#include "Table.h"

namespace exchangetest {

using Item = std::map<std::string, std::string>;

inline void CreateItemTable(store::Table& t, const QString& dir, const char* name = "MASTER") {
    t.Close();
    t.SetDirectory(dir.toStdString());
    t.SetTableName(name);
    t.Create(store::ItemTableFieldDefs());
    t.Open();
}

inline void AddItems(store::Table& t, const std::vector<Item>& items) {
    for (const Item& item : items) {
        t.Append();
        for (const auto& [field, value] : item) t.SetText(field, value);
        t.Post();
    }
}

// One field of every record the table delivers, in its order.
inline QStringList Column(store::Table& t, const char* field) {
    QStringList out;
    const int f = t.NeedField(field);
    for (uint32_t recno : t.DeliveredRecords()) out << QString::fromStdString(t.ViewOf(recno).Text(f));
    return out;
}

using testsupport::ReadAll;
using testsupport::WriteAll;

// Runs a Python script (the system's interpreter, where python3-dbfread
// lives) and returns what it printed; fails the test when it fails.
inline QByteArray RunPython(const QString& script, const QStringList& args) {
    QProcess p;
    p.start("/usr/bin/python3", QStringList{"-c", script} + args);
    if (!p.waitForFinished(120000) || p.exitCode() != 0) {
        qWarning("python failed: %s", p.readAllStandardError().constData());
        return {};
    }
    return p.readAllStandardOutput();
}

// Every row of a delimited file as Python's csv module reads it.
inline QJsonArray CsvRows(const QString& path) {
    const QString script =
        "import csv, json, sys\n"
        "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
        "    print(json.dumps([row for row in csv.reader(f)]))\n";
    return QJsonDocument::fromJson(RunPython(script, {path})).array();
}

// Fields ([name, type, length, decimals]) and records (values as text,
// dates as YYYYMMDD) of a table as dbfread reads it.
inline QJsonObject DbfRead(const QString& path) {
    const QString script =
        "import datetime, json, sys, dbfread\n"
        "t = dbfread.DBF(sys.argv[1], char_decode_errors='strict')\n"
        "def text(v):\n"
        "    if v is None: return ''\n"
        "    if isinstance(v, datetime.date): return v.strftime('%Y%m%d')\n"
        "    return repr(v) if isinstance(v, float) else str(v)\n"
        "print(json.dumps({'fields': [[f.name, f.type, f.length, f.decimal_count] for f in t.fields],\n"
        "                  'records': [[text(v) for v in r.values()] for r in t]}))\n";
    return QJsonDocument::fromJson(RunPython(script, {path})).object();
}

inline QStringList Strings(const QJsonArray& array) {
    QStringList out;
    for (const auto& v : array) out << (v.isString() ? v.toString() : QString::number(v.toDouble()));
    return out;
}

}  // namespace exchangetest
