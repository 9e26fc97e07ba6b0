#pragma once
// User-interface services for tests: every call is recorded (kind, title,
// text) and answered from a script of expected calls, in order. A call that
// was not expected, one that differs from the script, and an expected call
// that never came are all failures, collected for the test to check with
// HALVENOR_VERIFY_UI. Nothing ever blocks: ShowModal shows the dialog
// without a modal loop, lets the test's callback drive it, and closes it.
//
// A window test:
//     common::ScriptedUiServices ui;            // installed until destroyed
//     ui.ExpectMessage("Error", "Please enter a name.");
//     NameDialog dialog;
//     dialog.StoreName();                       // handler under test
//     HALVENOR_VERIFY_UI(ui);

#include <QDialog>
#include <deque>
#include <functional>
#include <variant>
#include <vector>

#include "UiServices.h"

namespace common {

struct UiCall {
    QString kind;  // "Message", "Ask", "Beep", "OpenFile", "OpenFiles",
                   // "SaveFile", "ChooseFolder", "ChooseColor", "ChooseFont",
                   // "SetupPrinter", "ShowModal", "OpenHelp", "OpenWithDesktop"
    QString title;
    QString text;
};

class ScriptedUiServices : public UiServices {
public:
    using DriveDialog = std::function<void(QDialog&)>;

    // Installs itself with SetUi and puts the previous services back when
    // destroyed.
    ScriptedUiServices();
    ~ScriptedUiServices() override;
    ScriptedUiServices(const ScriptedUiServices&) = delete;
    ScriptedUiServices& operator=(const ScriptedUiServices&) = delete;

    // The script. A text left out is not compared.
    ScriptedUiServices& ExpectMessage(const QString& title, std::optional<QString> text = std::nullopt);
    ScriptedUiServices& ExpectAsk(const QString& title, std::optional<QString> text, Answer answer);
    ScriptedUiServices& ExpectBeep();
    // File dialogs compare the title; the answer is the chosen path or,
    // when empty, a cancel.
    ScriptedUiServices& ExpectOpenFile(const QString& title, std::optional<QString> answer);
    ScriptedUiServices& ExpectSaveFile(const QString& title, std::optional<QString> answer);
    // Several files; an empty answer is a cancel.
    ScriptedUiServices& ExpectOpenFiles(const QString& title, QStringList answer);
    ScriptedUiServices& ExpectChooseFolder(const QString& title, std::optional<QString> answer);
    ScriptedUiServices& ExpectChooseColor(std::optional<QColor> answer);
    ScriptedUiServices& ExpectChooseFont(std::optional<FontChoice> answer);
    ScriptedUiServices& ExpectSetupPrinter(bool answer);
    // The dialog with this window title is shown (its show event runs),
    // drive() acts as the user, and a dialog still open afterwards is
    // rejected. ShowModal returns the dialog's result.
    ScriptedUiServices& ExpectModal(const QString& title, DriveDialog drive);
    // The dialog is not shown at all; ShowModal returns the result.
    ScriptedUiServices& ExpectModal(const QString& title, int result);
    ScriptedUiServices& ExpectHelp(const QString& keyword);
    // The file handed to the desktop (nothing is started); answer: whether
    // a program took it.
    ScriptedUiServices& ExpectOpenWithDesktop(const QString& path, bool answer = true);

    // Beeps that are not in the script are recorded but are no failure.
    void AllowBeeps(bool allow) { m_allowBeeps = allow; }

    const std::vector<UiCall>& Calls() const { return m_calls; }
    // Titles and texts of the message boxes and questions, in order.
    QStringList Messages() const;
    // Failures so far plus every expected call that has not come.
    QStringList Failures() const;
    bool Verify() const { return Failures().isEmpty(); }
    QString Report() const;

    void Message(const QString& title, const QString& text, MessageIcon icon) override;
    Answer Ask(const QString& title, const QString& text, Buttons buttons, Answer defaultAnswer,
               MessageIcon icon) override;
    void Beep() override;
    std::optional<QString> OpenFile(const FileRequest& request) override;
    std::optional<QString> SaveFile(const FileRequest& request) override;
    QStringList OpenFiles(const FileRequest& request) override;
    std::optional<QString> ChooseFolder(const QString& title, const QString& directory) override;
    std::optional<QColor> ChooseColor(const QColor& initial) override;
    std::optional<FontChoice> ChooseFont(const FontChoice& initial, bool withEffects) override;
    bool SetupPrinter(QPrinter& printer) override;
    int ShowModal(QDialog& dialog) override;
    void OpenHelp(const QString& keyword) override;
    bool OpenWithDesktop(const QString& path) override;

private:
    using Reply = std::variant<std::monostate, Answer, std::optional<QString>, std::optional<QColor>,
                               std::optional<FontChoice>, bool, DriveDialog, int, QStringList>;
    struct Expected {
        QString kind;
        std::optional<QString> title;
        std::optional<QString> text;
        Reply reply;
    };

    ScriptedUiServices& Push(Expected e);
    // Records the call and takes the next expectation when it matches;
    // otherwise records a failure and returns nothing.
    std::optional<Expected> Take(const QString& kind, const QString& title, const QString& text);

    std::deque<Expected> m_script;
    std::vector<UiCall> m_calls;
    QStringList m_failures;
    bool m_allowBeeps = false;
    UiServices* m_previous = nullptr;
};

}  // namespace common

// Fails the running Qt test with the list of script failures.
#define HALVENOR_VERIFY_UI(ui) QVERIFY2((ui).Verify(), qPrintable((ui).Report()))
