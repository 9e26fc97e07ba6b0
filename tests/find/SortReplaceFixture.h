#pragma once
// What the sort order and search and replace tests share: a real main
// window started in temporary data and config folders, a few ways to fill
// and read its item table, and a second process that holds the table file
// the way another copy of the program would.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "AppPaths.h"
#include "ItemTable.h"
#include "Settings.h"
#include "MainWindow.h"
#include "Table.h"
#include "TableHolder.h"

namespace sortreplace {

// A child process that holds the table file like another copy of the program.
using Holder = testsupport::TableHolder;

// Points the program's data and config folders at temporary ones for the
// whole test run.
class Folders {
public:
    Folders() {
        qputenv("XDG_DATA_HOME", m_data.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
    }

    // Back to a first start: no item table, no settings file.
    static void Clear() {
        QDir data(common::AppPaths::DataDir());
        for (const QString& name : data.entryList({"MASTER.*"}, QDir::Files)) data.remove(name);
        const QString ini = common::AppPaths::SettingsFile();
        QFile::remove(ini);
        QDir(ini).removeRecursively();
        common::AppSettings() = common::Settings();
    }

private:
    QTemporaryDir m_data;
    QTemporaryDir m_config;
};

inline std::unique_ptr<shell::MainWindow> StartMain() { return std::make_unique<shell::MainWindow>(QSize(1024, 768)); }

using Item = std::map<std::string, std::string>;

inline void AddItems(shell::MainWindow& main, const std::vector<Item>& items) {
    store::Table& t = main.ItemTable();
    for (const Item& item : items) {
        t.Append();
        for (const auto& [field, value] : item) t.SetText(field, value);
        t.Post();
    }
    main.RefreshGrid();
}

// One field of the records the table delivers, in its order.
inline QStringList Delivered(store::Table& t, const char* field) {
    QStringList out;
    const int f = t.NeedField(field);
    for (uint32_t recno : t.DeliveredRecords()) out << QString::fromStdString(t.ViewOf(recno).Text(f));
    return out;
}

// One field of every record in physical order.
inline QStringList Physical(store::Table& t, const char* field) {
    QStringList out;
    const int f = t.NeedField(field);
    for (uint32_t recno = 0; recno < t.PhysicalCount(); ++recno)
        out << QString::fromStdString(t.ViewOf(recno).Text(f));
    return out;
}

// The table is back with the main window as every command must leave it.
inline bool OpenShared(store::Table& t) { return t.IsOpen() && !t.Exclusive(); }

}  // namespace sortreplace
