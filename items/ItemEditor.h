#pragma once
// The item editor: the window in which the user types one item, either a
// new one, the current record of the item table, or a new one that starts
// as a copy of the current record. It is created once at start, shown
// modally by the main window's Add, Edit and Copy commands (which set the
// editor mode first), and reads and writes the current record itself.
//
// It also holds the master copy of the five pick lists in its combo boxes:
// they are loaded at creation, grown by every update, replaced by list
// maintenance, and written to their files whenever the window closes.

#include <QDialog>
#include <QStringList>
#include <array>
#include <functional>
#include <vector>

#include "MainContext.h"
#include "WindowLayout.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPushButton;
class QTabWidget;

namespace items {

class PhotosPage;

class ItemEditor : public QDialog {
    Q_OBJECT

public:
    // Runs the creation steps, which load the five pick lists into the
    // editor and into the main window's grid lists.
    explicit ItemEditor(common::MainContext& context, QWidget* parent = nullptr);
    ~ItemEditor() override;

    // Showing, loading, clearing and the value snapshot.
    void PrepareToShow();
    void LoadInData();
    void DoClear();
    void SaveValues();
    bool HasUnsavedChanges() const;
    // Validates, grows the pick lists and writes the record; false (with
    // the reason shown and the offending box focused) when nothing was
    // written.
    bool DoUpdate();
    void ShowItemLine();
    void CalcTotals();

    // Commands.
    void SaveItem();
    void SaveItemAndClose();
    void ClearEntries();
    void Cancel();  // "E&xit"
    void StartNewItem();
    void ShowNextItem();
    void ShowPreviousItem();
    void ClearWarrantyDate();
    void ClearPurchaseDate();
    void CutText();
    void CopyText();
    void PasteText();
    void DeleteSelectedText();
    void ShowHelp();
    // The Enter key on a control: moves along the fixed focus chain.
    void FocusNextInChain(QWidget* control);

    // Pick lists.
    void LoadAllList();
    void SaveAllLists();
    void LoadList(common::PickList list);
    void SaveList(common::PickList list);
    QComboBox* ListCombo(common::PickList list) const;
    QStringList ListEntries(common::PickList list) const;
    // Replaces the editor's entries of the list (the text in the box stays).
    void SetListEntries(common::PickList list, const QStringList& entries);
    static void AddToList(QComboBox& combo, const QString& value);
    static void AddToListGrid(QStringList& list, const QString& value);

    // The text of a date box as its template defines it.
    static QString DateText(const QLineEdit& box);

    // Controls, named as the window's design names them.
    QMenuBar* MainMenu = nullptr;
    QTabWidget* Notebook = nullptr;
    QWidget* DescriptionPage = nullptr;
    QWidget* WorthPage = nullptr;
    QWidget* WarrantyPage = nullptr;
    QWidget* OtherPage = nullptr;
    PhotosPage* PhotosTab = nullptr;

    QLineEdit* Item = nullptr;
    QComboBox* Brand = nullptr;
    QLineEdit* Model = nullptr;
    QLineEdit* Serial = nullptr;
    QLineEdit* IDMarks = nullptr;
    QLineEdit* Comments = nullptr;
    QComboBox* Category = nullptr;
    QComboBox* Location = nullptr;
    QComboBox* TheOwner = nullptr;
    QLineEdit* Quantity = nullptr;
    QLineEdit* Value = nullptr;
    QLineEdit* Cost = nullptr;
    QLineEdit* RepCost = nullptr;
    QCheckBox* Warranty = nullptr;
    QLineEdit* WarDate = nullptr;
    QLineEdit* WarNotes = nullptr;
    QLineEdit* PurchDate = nullptr;
    QComboBox* Bought = nullptr;
    std::array<QLineEdit*, 4> UserDef{};

    QPushButton* BlankWarDate = nullptr;
    QPushButton* BlankPurchDate = nullptr;

    QLabel* ItemLab = nullptr;
    QLabel* BrandLab = nullptr;
    QLabel* ModelLab = nullptr;
    QLabel* SerialLab = nullptr;
    QLabel* IDMarksLab = nullptr;
    QLabel* CommentsLab = nullptr;
    QLabel* CategoryLab = nullptr;
    QLabel* LocationLab = nullptr;
    QLabel* OwnerLab = nullptr;
    QLabel* QuantityLab = nullptr;
    QLabel* ValueLab = nullptr;
    QLabel* CostLab = nullptr;
    QLabel* RepCostLab = nullptr;
    QLabel* WarDateLab = nullptr;
    QLabel* WarNotesLab = nullptr;
    QLabel* PurchDateLab = nullptr;
    QLabel* BoughtLab = nullptr;
    std::array<QLabel*, 4> UserDefLab{};
    QLabel* TotLabel = nullptr;
    QLabel* TotValueLabel = nullptr;
    QLabel* TotCostLabel = nullptr;
    QLabel* TotRepCostLabel = nullptr;
    QLabel* WorthItem = nullptr;
    QLabel* WarrantyItem = nullptr;
    QLabel* OtherItem = nullptr;

    QPushButton* UpdateExitButton = nullptr;
    QPushButton* UpdateButton = nullptr;
    QPushButton* ClearButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* PrevButton = nullptr;
    QPushButton* NextButton = nullptr;

    // The Enter-key chain, in order.
    const std::vector<QWidget*>& FocusChain() const { return m_chain; }

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // One field of the record: its control, the text written, its page.
    struct Field {
        const char* name;
        QWidget* control;
        QWidget* page;
    };

    void BuildControls();
    void BuildMenu();
    void SetTypingLimits();
    void SetColors();
    void SetCaptions();
    void FitToContents();
    // The Photos page follows the record the editor shows: a saved one, or
    // a new one whose files wait for its first Update.
    void ShowPhotos();
    // Runs a command; a table-engine error it did not expect is shown.
    void Guard(const std::function<void()>& command);
    void Refuse(const QString& message, QWidget* page, QWidget* control);
    bool Move(bool forward);
    QString ControlText(const QWidget* control) const;
    void SetControlText(QWidget* control, const QString& text);
    QLineEdit* EditOf(QWidget* control) const;
    QWidget* ChainMember(QWidget* widget) const;
    std::vector<Field> Fields() const;

    common::MainContext& m_context;
    common::DesignLayout m_design;
    std::vector<QWidget*> m_chain;
    std::vector<std::pair<QLineEdit*, int>> m_limits;
    // The value snapshot: each field's text and the Warranty box.
    std::vector<QString> m_snapshot;
    bool m_snapshotWarranty = false;
};

}  // namespace items
