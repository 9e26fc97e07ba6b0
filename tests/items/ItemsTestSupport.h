#pragma once
// A small stand-in for the main window: a real item table in a temporary
// folder, the editor mode and the grid's pick lists, and counters for the
// refreshes the editor's callers make.

#include <QTemporaryDir>
#include <QtTest>
#include <array>

#include "ItemSchema.h"
#include "MainContext.h"
#include "Table.h"

namespace testsupport {

class FakeMain : public common::MainContext {
public:
    explicit FakeMain(const QString& dir) {
        m_table.SetDirectory(dir.toStdString());
        m_table.SetTableName("MASTER");
        m_table.Create(store::ItemTableFieldDefs());
        m_table.Open();
    }

    QWidget* Window() override { return nullptr; }
    store::Table& ItemTable() override { return m_table; }
    store::Table& CheckTable() override { return m_check; }
    store::Table& CreateTable() override { return m_create; }
    int& EditorMode() override { return m_mode; }
    bool SearchOn() const override { return false; }
    void SetSearchTest(RecordTest) override {}
    void EnableEndSearch() override {}
    void DisableEndSearch() override {}
    void DoEndSearch() override {}
    const std::string& SortExpression() const override { return m_sort; }
    void BuildSortString() override {}
    void SetViewerOptions() override {}
    void DisplayCount() override {}
    void RefreshGrid() override {}
    QStringList& GridPickList(common::PickList list) override { return m_lists[size_t(int(list) - 1)]; }

    // Appends a record with the given field texts.
    void AddRecord(const std::vector<std::pair<std::string, std::string>>& values) {
        m_table.Append();
        for (const auto& [name, text] : values) m_table.SetText(name, text);
        m_table.Post();
    }

private:
    store::Table m_table;
    store::Table m_check;
    store::Table m_create;
    int m_mode = 1;
    std::string m_sort;
    std::array<QStringList, common::kPickListCount> m_lists;
};

}  // namespace testsupport
