#pragma once
// The user-interface services on Qt's own dialogs. File dialogs widen each
// extension pattern so it matches in either letter case, as file names on
// the old platform did.

#include <functional>

#include "UiServices.h"

namespace common {

class QtUiServices : public UiServices {
public:
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

    // The help window belongs to the program shell; it registers itself here.
    void SetHelpHandler(std::function<void(const QString&)> handler) { m_help = std::move(handler); }

    // "Database Files (*.DBF)|*.DBF" as Qt name filters, each pattern
    // matching both letter cases ("*.[dD][bB][fF]").
    static QStringList NameFilters(const QString& filter);
    // The file name with the default extension added when it has none.
    static QString WithDefaultExtension(const QString& path, const QString& extension);

private:
    std::function<void(const QString&)> m_help;
};

}  // namespace common
