#pragma once
// What the Backup and Restore dialogs share: the panel of three options
// (the database, the pick lists, the report definitions), the Start, Cancel
// and Help buttons, a progress bar, the copy run inside the dialog (Cancel,
// Escape and the close box stop it), the main window's item table given
// back afterwards, and the messages that end a run. After a successful run
// Cancel becomes Close and the dialog stays open for another.

#include <QString>
#include <array>
#include <functional>

#include "BackupRestore.h"
#include "MainWindowSteps.h"
#include "RunDialog.h"

class QFrame;
class QLabel;
class QLayout;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

namespace common {
class MainContext;
}

namespace exchange {

class CopyDialog : public RunDialog {
    Q_OBJECT

public:
    ~CopyDialog() override;

    // The room check asks this function instead of the file system (tests).
    void SetFreeSpace(FreeSpaceFn freeSpace) { m_freeSpace = std::move(freeSpace); }

    virtual void PrepareToShow();
    void ShowHelp();
    CopyKind ChosenKind() const;

    QLabel* WhatLabel = nullptr;
    QFrame* WhatPanel = nullptr;
    QRadioButton* DatabaseOption = nullptr;
    QRadioButton* ListsOption = nullptr;
    QRadioButton* ReportsOption = nullptr;
    QLabel* ProgressLabel = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QPushButton* StartButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* HelpButton = nullptr;

protected:
    // options: the captions of the database, lists and report definitions
    // options; the first is chosen.
    CopyDialog(common::MainContext& context, MainWindowSteps steps, QWidget* parent, const QString& caption,
               const QString& heading, const std::array<QString, 3>& options, const QString& startCaption);

    void showEvent(QShowEvent* event) override;

    // A panel: its heading above its controls, in the window's colours.
    QFrame* NewPanel(QLabel*& heading, const QString& title, QLayout* content);
    // Lays the panels out above the progress bar and the buttons.
    void LayOut(const std::vector<QFrame*>& panels);
    virtual void ApplyGroupColors();

    // Runs the copy with the progress bar and Cancel; an exception comes
    // back as a failed copy with the given message.
    CopyResult RunCopy(const std::function<CopyResult(const ProgressFn&)>& copy, const char* failed);
    // Gives the main window its item table back; an engine error is shown.
    void Reopen();
    // The message that ends a run ("Notice" for success, "Error" for the
    // rest; nothing after a cancel). Success turns Cancel into Close.
    void Tell(const CopyResult& result, bool withWarnings = false);
    void Succeeded();

    common::MainContext& m_context;
    MainWindowSteps m_steps;
    FreeSpaceFn m_freeSpace;

private:
    std::vector<QLabel*> m_headings;
    std::vector<QFrame*> m_panels;
};

}  // namespace exchange
