#include "HelpWindow.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "WindowLayout.h"

// The pages are compiled into this library. A static library's resources
// reach a program only when code the program links calls for them, so
// every way into the pages goes through here first.
static void InitHelpPages() { Q_INIT_RESOURCE(help); }

namespace shell {
namespace {

void EnsureHelpPages() {
    static const bool done = [] {
        InitHelpPages();
        return true;
    }();
    (void)done;
}

}  // namespace

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent), m_browser(new QTextBrowser(this)) {
    EnsureHelpPages();
    setWindowTitle("Halvenor Inventory Help");
    auto* layout = new QVBoxLayout(this);
    m_browser->setSearchPaths({":/help"});
    m_browser->setOpenLinks(true);
    layout->addWidget(m_browser);
    auto* contents = new QPushButton("&Contents", this);
    connect(contents, &QPushButton::clicked, this, [this] { ShowKeyword({}); });
    layout->addWidget(contents, 0, Qt::AlignLeft);
    resize(560, 460);
}

QString HelpWindow::PageFor(const QString& keyword) {
    EnsureHelpPages();
    QString name = keyword.trimmed().toLower();
    name.replace(' ', '-');
    if (name.isEmpty() || !QFile::exists(":/help/" + name + ".html")) name = "contents";
    return name + ".html";
}

void HelpWindow::ShowKeyword(const QString& keyword) {
    m_browser->setSource(QUrl("qrc:/help/" + PageFor(keyword)));
    // A modal dialog blocks every window but the newest modal one: help
    // asked for from such a dialog becomes modal itself, so the reader can
    // scroll and follow links, and hands the keyboard back when closed.
    // Asked for from the main window it stays beside it.
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != this) {
        const Qt::WindowModality wanted = modal ? Qt::ApplicationModal : Qt::NonModal;
        if (windowModality() != wanted) {
            hide();  // modality changes only while hidden
            setWindowModality(wanted);
        }
    }
    show();
    raise();
    activateWindow();
}

void HelpWindow::showEvent(QShowEvent* event) {
    common::WindowLayout::PrepareDialog(*this);
    common::WindowLayout::FinishShowing(*this, false);
    QDialog::showEvent(event);
}

QString HelpWindow::CurrentPage() const { return m_browser->source().fileName(); }

QString HelpWindow::PageText() const { return m_browser->toPlainText(); }

}  // namespace shell
