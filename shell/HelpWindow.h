#pragma once
// The program's help: one HTML page per help keyword and a contents page,
// built into the program, shown in a window of their own beside the main
// window.

#include <QDialog>

class QTextBrowser;

namespace shell {

class HelpWindow : public QDialog {
    Q_OBJECT

public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // An empty keyword, or one without a page, opens the contents. Asked
    // for while a modal dialog is open, the help window is modal too, so
    // that it takes the keyboard and the mouse.
    void ShowKeyword(const QString& keyword);
    QString CurrentPage() const;
    // The text of the page on display, as the reader sees it.
    QString PageText() const;
    static QString PageFor(const QString& keyword);

protected:
    // Sized and lettered for the window-size factor at every showing, as
    // the dialogs are; a page asked for while it is on show keeps the size
    // and place the reader gave it.
    void showEvent(QShowEvent* event) override;

private:
    QTextBrowser* m_browser;
};

}  // namespace shell
