#include "SavedSearchDialogs.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "MainContext.h"
#include "SavedSearch.h"
#include "SearchWindow.h"
#include "Settings.h"
#include "Table.h"
#include "UiServices.h"
#include "WindowLayout.h"
#include "WindowLayout.h"

namespace find {

namespace {

const QString kErrorTitle = "Error";

void Tell(const QString& text) { common::Ui().Message(kErrorTitle, text, common::MessageIcon::Error); }

// Writes the settings with the list changed; puts the list back when the
// file cannot be written.
bool Commit(const std::vector<std::pair<QString, QString>>& before) {
    if (common::SaveAppSettings()) return true;
    common::AppSettings().savedSearches = before;
    Tell(saved_searches::kNotWrittenMessage);
    return false;
}

}  // namespace

// ---------------------------------------------------------------- the name

SearchNameDialog::SearchNameDialog(const QString& title, const QString& name, QWidget* parent) : QDialog(parent) {
    setWindowTitle(title);
    auto* root = new QVBoxLayout(this);
    auto* label = new QLabel("&Name of the search:", this);
    root->addWidget(label);
    m_name = new QLineEdit(name, this);
    label->setBuddy(m_name);
    m_name->setMaxLength(60);
    m_name->selectAll();
    root->addWidget(m_name);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &SearchNameDialog::Check);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    root->addWidget(buttons);
    setMinimumWidth(320);
}

QString SearchNameDialog::Name() const { return m_name->text().trimmed(); }

void SearchNameDialog::Check() {
    if (const std::string why = CheckSearchName(Name().toStdString()); !why.empty()) {
        Tell(QString::fromStdString(why));
        m_name->setFocus();
        return;
    }
    accept();
}

// ---------------------------------------------------------------- shared steps

namespace saved_searches {

const char* const kNotWrittenMessage =
    "The saved searches could not be written to the settings file; they are as they were.";

std::optional<size_t> Find(const QString& name) {
    const auto& list = common::AppSettings().savedSearches;
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].first.compare(name, Qt::CaseInsensitive) == 0) return i;
    return std::nullopt;
}

std::optional<QString> AskName(const QString& title, const QString& start, QWidget* parent,
                               std::optional<size_t> renaming) {
    SearchNameDialog dialog(title, start, parent);
    for (;;) {
        if (common::Ui().ShowModal(dialog) != QDialog::Accepted) return std::nullopt;
        const QString name = dialog.Name();
        const auto existing = Find(name);
        if (!existing || existing == renaming) return name;
        const common::Answer answer =
            common::Ui().Ask("Confirm", "A saved search is already called \"" + name + "\".  Replace it?",
                             common::Buttons::YesNo, common::Answer::No, common::MessageIcon::Question);
        if (answer == common::Answer::Yes) return name;
    }
}

bool Keep(const QString& name, const std::vector<SearchCriterion>& criteria) {
    auto& list = common::AppSettings().savedSearches;
    const auto before = list;
    const QString text = QString::fromStdString(EncodeSearch(criteria));
    if (const auto at = Find(name)) list[*at] = {name, text};
    else list.emplace_back(name, text);
    return Commit(before);
}

void Apply(common::MainContext& context, SearchWindow& window, const QString& name) {
    const auto at = Find(name);
    if (!at) return;
    store::Table& table = context.ItemTable();
    if (!table.IsOpen()) return;
    const auto& [shown, text] = common::AppSettings().savedSearches[*at];
    const DecodedSearch search = DecodeSearch(shown.toStdString(), text.toStdString(), table.Layout());
    if (!search.problem.empty()) {
        Tell(QString::fromStdString(search.problem));
        return;
    }
    window.ApplyCriteria(search.criteria);
}

}  // namespace saved_searches

// ---------------------------------------------------------------- the list

SavedSearchesDialog::SavedSearchesDialog(common::MainContext& context, SearchWindow& window, QWidget* parent)
    : QDialog(parent), m_context(context), m_window(window) {
    setWindowTitle("Saved Searches");
    auto* root = new QHBoxLayout(this);
    m_list = new QListWidget(this);
    root->addWidget(m_list, 1);
    auto* buttons = new QVBoxLayout;
    ApplyButton = new QPushButton("&Apply", this);
    RenameButton = new QPushButton("&Rename...", this);
    DeleteButton = new QPushButton("&Delete", this);
    CloseButton = new QPushButton("&Close", this);
    for (QPushButton* b : {ApplyButton, RenameButton, DeleteButton, CloseButton}) buttons->addWidget(b);
    buttons->addStretch(1);
    root->addLayout(buttons);
    connect(ApplyButton, &QPushButton::clicked, this, [this] { ApplyChosen(); });
    connect(RenameButton, &QPushButton::clicked, this, [this] { RenameChosen(); });
    connect(DeleteButton, &QPushButton::clicked, this, [this] { DeleteChosen(); });
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { ApplyChosen(); });
    Fill(0);
    resize(420, 260);
}

void SavedSearchesDialog::Fill(int current) {
    m_list->clear();
    for (const auto& [name, text] : common::AppSettings().savedSearches) m_list->addItem(name);
    if (m_list->count() > 0) m_list->setCurrentRow(std::clamp(current, 0, m_list->count() - 1));
    for (QPushButton* b : {ApplyButton, RenameButton, DeleteButton}) b->setEnabled(m_list->count() > 0);
}

QString SavedSearchesDialog::Chosen() const { return m_list->currentItem() ? m_list->currentItem()->text() : QString(); }

void SavedSearchesDialog::ApplyChosen() {
    const QString name = Chosen();
    if (name.isEmpty()) return;
    accept();
    saved_searches::Apply(m_context, m_window, name);
}

void SavedSearchesDialog::RenameChosen() {
    const QString old = Chosen();
    const auto at = saved_searches::Find(old);
    if (!at) return;
    const auto name = saved_searches::AskName("Rename Saved Search", old, this, at);
    if (!name || *name == old) return;
    auto& list = common::AppSettings().savedSearches;
    const auto before = list;
    size_t renamed = *at;
    list[renamed].first = *name;
    // A search the new name replaces goes.
    for (size_t i = list.size(); i-- > 0;) {
        if (i == renamed || list[i].first.compare(*name, Qt::CaseInsensitive) != 0) continue;
        list.erase(list.begin() + long(i));
        if (i < renamed) --renamed;
    }
    Commit(before);
    Fill(int(saved_searches::Find(*name).value_or(0)));
}

void SavedSearchesDialog::DeleteChosen() {
    const QString name = Chosen();
    const auto at = saved_searches::Find(name);
    if (!at) return;
    if (common::Ui().Ask("Confirm", "Delete the saved search \"" + name + "\"?", common::Buttons::YesNo,
                         common::Answer::No, common::MessageIcon::Question) != common::Answer::Yes)
        return;
    auto& list = common::AppSettings().savedSearches;
    const auto before = list;
    list.erase(list.begin() + long(*at));
    Commit(before);
    Fill(m_list->currentRow());
}

void SearchNameDialog::showEvent(QShowEvent* event) {
    common::WindowLayout::PrepareDialog(*this);
    QDialog::showEvent(event);
    common::WindowLayout::FinishShowing(*this, false);
}

void SavedSearchesDialog::showEvent(QShowEvent* event) {
    common::WindowLayout::PrepareDialog(*this);
    QDialog::showEvent(event);
    common::WindowLayout::FinishShowing(*this, false);
}

}  // namespace find
