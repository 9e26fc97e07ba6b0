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
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "AppPaths.h"
#include "ItemTable.h"
#include "Settings.h"
#include "TMain.h"
#include "Table.h"

namespace sortreplace {

// A child process that opens the table shared and keeps it open until the
// holder is destroyed.
class Holder {
public:
    explicit Holder(const std::string& path) {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            char c = 1;
            try {
                store::Table t;
                store::PointAt(t, path);
                t.Open();
                (void)!::write(ready[1], &c, 1);
                (void)!::read(release[0], &c, 1);
            } catch (...) {
                c = 0;
                (void)!::write(ready[1], &c, 1);
            }
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        m_release = release[1];
        char c = 0;
        m_holding = ::read(ready[0], &c, 1) == 1 && c == 1;
        ::close(ready[0]);
    }
    ~Holder() {
        ::close(m_release);
        int status = 0;
        if (m_pid > 0) ::waitpid(m_pid, &status, 0);
    }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;
    bool Holding() const { return m_holding; }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_holding = false;
};

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

inline std::unique_ptr<shell::TMain> StartMain() { return std::make_unique<shell::TMain>(QSize(1024, 768)); }

using Item = std::map<std::string, std::string>;

inline void AddItems(shell::TMain& main, const std::vector<Item>& items) {
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
