#pragma once
// The first step of an import: the user says whether the source is a
// delimited text file, a dBASE table or a spreadsheet and picks it. The source is examined
// at once; a file that cannot be imported is refused with the reason and
// the user may pick another, otherwise the import dialog takes over. When
// it closes, this dialog closes with it.

#include <QDialog>

class QPushButton;
class QRadioButton;

namespace common {
class MainContext;
}

namespace exchange {

class ImportFormatDialog : public QDialog {
    Q_OBJECT

public:
    explicit ImportFormatDialog(common::MainContext& context, QWidget* parent = nullptr);

    void PrepareToShow();
    void ChooseSourceFile();
    void ChooseSpreadsheet();
    void Cancel();
    void done(int result) override;

    QRadioButton* TextOption = nullptr;
    QRadioButton* DbfOption = nullptr;
    QRadioButton* SheetOption = nullptr;
    QPushButton* SelectFileButton = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    common::MainContext& m_context;
};

}  // namespace exchange
