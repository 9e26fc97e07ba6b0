#pragma once
// A main window reduced to what the search and locate windows ask of it:
// the item table with its record filter, the search flag and its test, and
// counters of the refreshes they request.

#include <QWidget>
#include <array>

#include "MainContext.h"
#include "Table.h"

namespace findtest {

class FakeMainContext : public common::MainContext {
public:
    FakeMainContext() {
        m_table.SetFilter([this](const store::RecordView& r) { return !m_searchOn || !m_test || m_test(r); });
    }

    QWidget* Window() override { return nullptr; }
    store::Table& ItemTable() override { return m_table; }
    store::Table& CheckTable() override { return m_check; }
    store::Table& CreateTable() override { return m_create; }
    int& EditorMode() override { return m_mode; }
    bool SearchOn() const override { return m_searchOn; }
    void SetSearchTest(RecordTest test) override { m_test = std::move(test); }
    void EnableEndSearch() override {
        m_searchOn = true;
        m_table.SetFiltered(true);
    }
    void DisableEndSearch() override {
        m_searchOn = false;
        m_table.SetFiltered(false);
    }
    void DoEndSearch() override {
        DisableEndSearch();
        ++endSearches;
        m_table.Close();
        m_table.Open();
        m_table.First();
    }
    const std::string& SortExpression() const override { return m_sort; }
    void BuildSortString() override {}
    void SetViewerOptions() override {
        ++viewerOptionsSet;
        RefreshGrid();
    }
    void DisplayCount() override {}
    void RefreshGrid() override {
        if (m_table.IsOpen()) m_table.Refresh();
        ++refreshes;
    }
    QStringList& GridPickList(common::PickList list) override { return m_lists[size_t(int(list) - 1)]; }

    int refreshes = 0;
    int endSearches = 0;
    int viewerOptionsSet = 0;  // the grid laid out afresh, not only refreshed

private:
    store::Table m_table, m_check, m_create;
    int m_mode = 1;
    bool m_searchOn = false;
    RecordTest m_test;
    std::string m_sort;
    std::array<QStringList, common::kPickListCount> m_lists;
};

}  // namespace findtest
