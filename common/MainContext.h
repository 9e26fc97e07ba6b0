#pragma once
// What the windows of the other subsystems need from the main window: the
// item table and its two helper handles, the search state, the sort
// expression, the grid's pick lists, and the refreshes that follow a change
// of the records. The main window implements it; dialogs take it by
// reference so that none of them depends on the main window itself, and
// tests can hand them a small fake.

#include <QStringList>
#include <QWidget>
#include <functional>
#include <string>

#include "RecordLayout.h"
#include "Table.h"

namespace attachments {
class AttachmentStore;
}

namespace common {

// The five pick lists, numbered as their maintenance dialog numbers them.
enum class PickList { Brand = 1, Location = 2, Bought = 3, Category = 4, Owner = 5 };
inline constexpr int kPickListCount = 5;

class MainContext {
public:
    using RecordTest = std::function<bool(const store::RecordView&)>;

    virtual ~MainContext() = default;

    // The main window, as the owner of message boxes and dialogs.
    virtual QWidget* Window() = 0;

    // The open item table (always open shared between commands), the check
    // table used by validation and the in-use test, and the create table.
    virtual store::Table& ItemTable() = 0;
    virtual store::Table& CheckTable() = 0;
    virtual store::Table& CreateTable() = 0;

    // Add, edit or copy (1, 2, 3), shared by the main window and the editor.
    virtual int& EditorMode() = 0;

    // The search flag and the record test the item table's filter asks
    // while it is set.
    virtual bool SearchOn() const = 0;
    virtual void SetSearchTest(RecordTest test) = 0;
    // The record test of the search in force (empty when none is set).
    virtual RecordTest SearchTest() const { return {}; }
    // Sets the flag, enables End Search and shows "SEARCH ON" (and back).
    virtual void EnableEndSearch() = 0;
    virtual void DisableEndSearch() = 0;
    // Ends the search: every record again, viewer options, item count.
    virtual void DoEndSearch() = 0;

    // The sort expression ("" for physical order), rebuilt from the four
    // sort positions of the settings.
    virtual const std::string& SortExpression() const = 0;
    virtual void BuildSortString() = 0;

    // Applies the viewer settings to the grid after the table was reopened
    // or reconfigured, and shows the item count.
    virtual void SetViewerOptions() = 0;
    virtual void DisplayCount() = 0;
    // Re-reads the records the grid shows and follows the current record.
    virtual void RefreshGrid() = 0;

    // The grid's copy of a pick list (the item editor holds the master copy).
    virtual QStringList& GridPickList(PickList list) = 0;

    // The photos and documents of the item table's items; nullptr where a
    // caller has none (the windows then go without them).
    virtual attachments::AttachmentStore* Attachments() { return nullptr; }
};

}  // namespace common
