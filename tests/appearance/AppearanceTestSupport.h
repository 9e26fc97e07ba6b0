#pragma once
// What the appearance tests share: temporary data and config folders so the
// main window's start-up never touches the real home, and a quick way to put
// items into the item table.

#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "ScriptedUiServices.h"
#include "Settings.h"
#include "MainWindow.h"

namespace appearance_test {

class MainWindowFixture {
public:
    // Call from initTestCase, before anything reads the program's folders.
    void Start() {
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", m_home.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", m_home.filePath("data").toUtf8());
        common::ScriptedUiServices quiet;  // start-up must ask nothing
        quiet.AllowBeeps(true);
        m_main = std::make_unique<shell::MainWindow>(QSize(1024, 768));
        QVERIFY(m_main->Created());
        QVERIFY(m_main->ItemTable().IsOpen());
        HALVENOR_VERIFY_UI(quiet);
    }

    shell::MainWindow& Main() { return *m_main; }

    // Fresh default settings applied to the grid, and an empty table.
    void Reset() {
        common::AppSettings() = common::Settings();
        store::Table& t = m_main->ItemTable();
        while (t.RecordCount() > 0) {
            t.First();
            t.Delete();
        }
        m_main->SetViewerOptions();
    }

    uint32_t AddItem(const QString& item, const QString& cost = "10", const QString& brand = "Acme") {
        store::Table& t = m_main->ItemTable();
        t.Append();
        t.SetText("Item", item.toStdString());
        t.SetText("Brand", brand.toStdString());
        t.SetText("Cost", cost.toStdString());
        t.SetText("Quantity", "1");
        t.SetText("Warranty", "No");
        t.Post();
        const uint32_t recno = t.RecNo();
        m_main->RefreshGrid();
        return recno;
    }

    void Finish() { m_main.reset(); }

private:
    QTemporaryDir m_home;
    std::unique_ptr<shell::MainWindow> m_main;
};

}  // namespace appearance_test
