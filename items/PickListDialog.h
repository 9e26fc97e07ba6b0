#pragma once
// The pick-list maintenance dialog: the user adds entries to one of the five
// pick lists and deletes entries from it. It starts from the item editor's
// copy of the list; Ok replaces both in-memory copies (the editor's and the
// main window's grid list) with the dialog's entries, Cancel changes
// nothing. The file follows the next time the item editor closes.

#include <QDialog>

#include "MainContext.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace items {

class ItemEditor;

class PickListDialog : public QDialog {
    Q_OBJECT

public:
    // Fills the list from the editor's list, captions the dialog after the
    // list and sets the entry box's typing limit.
    PickListDialog(ItemEditor& editor, common::MainContext& context, common::PickList list, QWidget* parent = nullptr);

    void PrepareToShow();
    void AddEntry();
    void DeleteEntry();
    void StoreList();
    void Cancel();

    int ListKind() const { return int(m_list); }
    QStringList Entries() const;

    QLineEdit* AddInfo = nullptr;
    QPushButton* AddButton = nullptr;
    QListWidget* TheList = nullptr;
    QPushButton* DeleteButton = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    ItemEditor& m_editor;
    common::MainContext& m_context;
    common::PickList m_list;
};

}  // namespace items
