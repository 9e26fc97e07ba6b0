#include "HelpWindow.h"

#include <QFile>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace shell {

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent), m_browser(new QTextBrowser(this)) {
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
    QString name = keyword.trimmed().toLower();
    name.replace(' ', '-');
    if (name.isEmpty() || !QFile::exists(":/help/" + name + ".html")) name = "contents";
    return name + ".html";
}

void HelpWindow::ShowKeyword(const QString& keyword) {
    m_browser->setSource(QUrl("qrc:/help/" + PageFor(keyword)));
    show();
    raise();
}

QString HelpWindow::CurrentPage() const { return m_browser->source().fileName(); }

}  // namespace shell
