#pragma once
// Every message box, question, beep, file, folder, colour, font and printer
// dialog, modal window and help request goes through this interface. The
// program installs the Qt implementation; tests install ScriptedUiServices,
// which answers from a script and never blocks, so that windows can be
// driven by calling their handlers.

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <optional>

class QDialog;
class QPrinter;

namespace common {

enum class MessageIcon { None, Information, Warning, Error, Question };

enum class Answer { None, Ok, Cancel, Yes, No };

enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };

// A file dialog as the windows describe it. The filter is written
// "Description (*.EXT)|*.EXT" with further pairs after "|"; extension
// patterns match files in either letter case.
struct FileRequest {
    QString title;
    QString directory;
    QString fileName;
    QString filter;
    QString defaultExtension;  // added to a name typed without one
    bool mustExist = false;    // open: the file must exist
    bool askOverwrite = false; // save: ask before replacing a file
};

struct FontChoice {
    QFont font;
    QColor color;  // kept as given when the dialog offers no colour
};

class UiServices {
public:
    virtual ~UiServices() = default;

    // A message box with an OK button.
    virtual void Message(const QString& title, const QString& text, MessageIcon icon) = 0;
    virtual Answer Ask(const QString& title, const QString& text, Buttons buttons, Answer defaultAnswer,
                       MessageIcon icon = MessageIcon::Question) = 0;
    virtual void Beep() = 0;

    // Empty optional when cancelled.
    virtual std::optional<QString> OpenFile(const FileRequest& request) = 0;
    virtual std::optional<QString> SaveFile(const FileRequest& request) = 0;
    virtual std::optional<QString> ChooseFolder(const QString& title, const QString& directory) = 0;
    virtual std::optional<QColor> ChooseColor(const QColor& initial) = 0;
    // withEffects offers underline, strikeout and colour as well. A
    // typeface left as it was comes back as it was given.
    virtual std::optional<FontChoice> ChooseFont(const FontChoice& initial, bool withEffects) = 0;
    // False when cancelled or when no printer exists.
    virtual bool SetupPrinter(QPrinter& printer) = 0;

    // Runs the dialog modally and returns its result (QDialog::Accepted or
    // Rejected, or a value given to done()).
    virtual int ShowModal(QDialog& dialog) = 0;

    // Opens the help at a keyword; an empty keyword opens the contents.
    virtual void OpenHelp(const QString& keyword) = 0;
};

// The services in use. Until SetUi is called this is a Qt implementation.
UiServices& Ui();
// Installs services (not owned) and returns the previous ones; nullptr
// restores the Qt implementation.
UiServices* SetUi(UiServices* services);

}  // namespace common
