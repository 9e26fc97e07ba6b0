#include "SearchAndReplaceDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QVBoxLayout>

#include "ExclusiveUse.h"
#include "ItemSchema.h"
#include "MainContext.h"
#include "Settings.h"
#include "SortExpression.h"
#include "UiServices.h"
#include "WindowLayout.h"

namespace find {

using common::Ui;

const char* const SearchAndReplaceDialog::kInUseMessage =
    "Search and Replace requires exclusive use of the DBase File.  Make sure that the DBase File is not in use by "
    "another program  or that no other users are running the software or that no other copies of the software are "
    "in use.";
const char* const SearchAndReplaceDialog::kRunFailedMessage =
    "Error in running search and replace.  Search and replace will be aborted.";
const char* const SearchAndReplaceDialog::kCompleteMessage = "Global Search and Replace Complete.";

namespace {

const char* const kDateTemplate = "99/99/0000;1";
const char* const kNumberTemplate = "ccccccccc;1";

// The hourglass over the whole program and the dialog while records change.
class Hourglass {
public:
    explicit Hourglass(QWidget& window) : m_window(window) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_window.setCursor(Qt::WaitCursor);
    }
    ~Hourglass() {
        m_window.unsetCursor();
        QApplication::restoreOverrideCursor();
    }
    Hourglass(const Hourglass&) = delete;
    Hourglass& operator=(const Hourglass&) = delete;

private:
    QWidget& m_window;
};

void SetBoxColors(QWidget& widget, const QColor& background, const QColor& text) {
    QPalette pal = widget.palette();
    pal.setColor(QPalette::Base, background);
    pal.setColor(QPalette::Window, background);
    pal.setColor(QPalette::Text, text);
    pal.setColor(QPalette::WindowText, text);
    widget.setPalette(pal);
}

}  // namespace

SearchAndReplaceDialog::SearchAndReplaceDialog(common::MainContext& context, QWidget* parent)
    : QDialog(parent), m_context(context) {
    setWindowTitle("Search and Replace");
    setObjectName("SearchAndReplaceDialog");

    FieldLabel = new QLabel("Field ", this);
    FieldCombo = new QComboBox(this);
    FieldCombo->setEditable(false);
    FieldCombo->setMaxVisibleItems(15);
    // Without this the style shows every entry at once and ignores the limit.
    FieldCombo->setStyleSheet("QComboBox { combobox-popup: 0; }");
    for (int p = 1; p <= store::kItemFieldCount; ++p) FieldCombo->addItem(common::AppSettings().Field(p).title);
    FieldCombo->setCurrentIndex(-1);
    SearchLabel = new QLabel("Text To Search For", this);
    SearchEdit = new QLineEdit(this);
    ReplaceLabel = new QLabel("Replacement Text", this);
    ReplaceEdit = new QLineEdit(this);
    ConfirmCheck = new QCheckBox("Confirm Before Replacing", this);
    ConfirmCheck->setChecked(false);
    ProcessedLabel = new QLabel("Processed", this);
    FoundLabel = new QLabel("Found", this);
    ChangedLabel = new QLabel("Changed", this);
    ProcessedCount = new QLabel("0", this);
    FoundCount = new QLabel("0", this);
    ChangedCount = new QLabel("0", this);
    StartButton = new QPushButton("&Start Search", this);
    CancelButton = new QPushButton("&Cancel", this);

    auto* layout = new QVBoxLayout(this);
    auto* form = new QGridLayout;
    form->addWidget(FieldLabel, 0, 0);
    form->addWidget(FieldCombo, 0, 1);
    form->addWidget(SearchLabel, 1, 0);
    form->addWidget(SearchEdit, 1, 1);
    form->addWidget(ReplaceLabel, 2, 0);
    form->addWidget(ReplaceEdit, 2, 1);
    form->addWidget(ConfirmCheck, 3, 1);
    form->setColumnStretch(1, 1);
    layout->addLayout(form);
    // The counters sit under their captions in three equal columns.
    auto* counters = new QGridLayout;
    const std::array<QLabel*, 3> captions{ProcessedLabel, FoundLabel, ChangedLabel};
    const std::array<QLabel*, 3> values{ProcessedCount, FoundCount, ChangedCount};
    for (int i = 0; i < 3; ++i) {
        captions[size_t(i)]->setAlignment(Qt::AlignHCenter);
        values[size_t(i)]->setAlignment(Qt::AlignHCenter);
        counters->addWidget(captions[size_t(i)], 0, i);
        counters->addWidget(values[size_t(i)], 1, i);
        counters->setColumnStretch(i, 1);
    }
    layout->addSpacing(8);
    layout->addLayout(counters);
    layout->addSpacing(8);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(StartButton);
    buttons->addWidget(CancelButton);
    buttons->addStretch();
    layout->addLayout(buttons);
    StartButton->setDefault(true);
    // The designed width; as tall as the controls need, so no empty band
    // opens above the buttons.
    setFixedSize(380, layout->sizeHint().height());
    SearchEdit->installEventFilter(this);
    ReplaceEdit->installEventFilter(this);

    connect(FieldCombo, &QComboBox::currentIndexChanged, this, [this](int index) { ChooseField(index); });
    connect(StartButton, &QPushButton::clicked, this, [this] { StartReplacing(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { Cancel(); });
}

bool SearchAndReplaceDialog::eventFilter(QObject* watched, QEvent* event) {
    // A click into an empty date or number box would leave the cursor after
    // the last position of the mask, where nothing can be typed.
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (edit && m_template && (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::FocusIn)) {
        // After the box has handled the event itself, which places the cursor.
        if (BoxText(*edit).remove(QRegularExpression("[/.\\- ]")).isEmpty())
            QTimer::singleShot(0, edit, [edit] { edit->setCursorPosition(0); });
    }
    return QDialog::eventFilter(watched, event);
}

void SearchAndReplaceDialog::showEvent(QShowEvent* event) {
    PrepareToShow();
    QDialog::showEvent(event);
}

void SearchAndReplaceDialog::PrepareToShow() {
    common::WindowLayout::PrepareDialog(*this);
    const common::ColorGroup& group = common::AppSettings().scheme.Group(common::WindowGroup::Configure);
    common::WindowLayout::SetBackground(*this, group[common::ColorSlot::MainBackground]);
    for (QLabel* label : {FieldLabel, SearchLabel, ReplaceLabel, ProcessedLabel, FoundLabel, ChangedLabel,
                          ProcessedCount, FoundCount, ChangedCount})
        common::WindowLayout::SetTextColor(*label, group[common::ColorSlot::MajorTitle]);
    SetBoxColors(*ConfirmCheck, group[common::ColorSlot::CheckBackground], group[common::ColorSlot::CheckText]);
    ConfirmCheck->setAutoFillBackground(true);
    for (QLineEdit* edit : {SearchEdit, ReplaceEdit})
        SetBoxColors(*edit, group[common::ColorSlot::EditBackground], group[common::ColorSlot::EditText]);
    common::WindowLayout::FinishShowing(*this, false);
}

void SearchAndReplaceDialog::ChooseField(int index) {
    SearchEdit->clear();
    ReplaceEdit->clear();
    m_template.reset();
    const int position = index + 1;
    for (QLineEdit* edit : {SearchEdit, ReplaceEdit}) {
        edit->setInputMask(QString());
        edit->setMaxLength(32767);
    }
    if (position < 1 || position > store::kItemFieldCount) return;
    const store::SchemaField& field = store::SchemaAt(position);
    if (field.kind == 'C') {
        for (QLineEdit* edit : {SearchEdit, ReplaceEdit}) edit->setMaxLength(field.width);
        return;
    }
    m_template.emplace(field.kind == 'D' ? kDateTemplate : kNumberTemplate);
    for (QLineEdit* edit : {SearchEdit, ReplaceEdit}) {
        m_template->Apply(*edit);
        edit->clear();
    }
}

QString SearchAndReplaceDialog::BoxText(const QLineEdit& edit) const {
    return m_template ? m_template->Text(edit) : edit.text();
}

QString SearchAndReplaceDialog::SearchText() const { return BoxText(*SearchEdit); }
QString SearchAndReplaceDialog::ReplacementText() const { return BoxText(*ReplaceEdit); }

void SearchAndReplaceDialog::Cancel() { reject(); }

void SearchAndReplaceDialog::StartReplacing() {
    // Nothing may leave a handler run from the dialog's event loop.
    try {
        Run();
    } catch (const std::exception& e) {
        Ui().Message("Error", QString::fromUtf8(e.what()), common::MessageIcon::Error);
    }
}

void SearchAndReplaceDialog::Refuse(const GlobalReplace::Refusal& refusal) {
    Ui().Message("Error", QString::fromUtf8(refusal.message), common::MessageIcon::Error);
    switch (refusal.focus) {
    case GlobalReplace::Focus::FieldList: FieldCombo->setFocus(); break;
    case GlobalReplace::Focus::SearchBox: SearchEdit->setFocus(); break;
    case GlobalReplace::Focus::ReplacementBox: ReplaceEdit->setFocus(); break;
    }
}

void SearchAndReplaceDialog::DrawCounters(const GlobalReplace::Counters& count, bool always) {
    // The counters move with every record; drawn often enough to be seen
    // moving, not at every change (a run over a million records would
    // spend its time painting).
    if (!always && m_sinceDrawn.isValid() && m_sinceDrawn.elapsed() < 40) return;
    ProcessedCount->setText(QString::number(count.processed));
    FoundCount->setText(QString::number(count.found));
    ChangedCount->setText(QString::number(count.changed));
    for (QLabel* label : {ProcessedCount, FoundCount, ChangedCount}) label->repaint();
    m_sinceDrawn.start();
}

void SearchAndReplaceDialog::Run() {
    store::Table& table = m_context.ItemTable();
    if (ExclusiveUse::HeldElsewhere(m_context)) {
        Ui().Message("Error", kInUseMessage, common::MessageIcon::Error);
        ExclusiveUse::ReopenShared(m_context);
        return;
    }
    if (const auto refusal = m_replace.Prepare(FieldCombo->currentIndex() + 1, SearchText().toStdString(),
                                               ReplacementText().toStdString())) {
        Refuse(*refusal);
        ExclusiveUse::ReopenShared(m_context);
        return;
    }

    DrawCounters({}, true);
    std::optional<Hourglass> hourglass(std::in_place, *this);
    try {
        ExclusiveUse::OpenExclusive(m_context);
        table.SetActiveIndex("");
        if (HasSortTag(table)) table.DeleteIndex(kSortTagName);
    } catch (const std::exception&) {
        hourglass.reset();
        Ui().Message("Error", kRunFailedMessage, common::MessageIcon::Error);
        ExclusiveUse::ReopenShared(m_context);
        return;
    }

    bool searchEnded = false;
    std::optional<QString> failure;
    try {
        m_context.SetViewerOptions();
        if (m_context.SearchOn()) {
            searchEnded = true;
            m_context.DoEndSearch();
        }
        const bool confirm = ConfirmCheck->isChecked();
        m_replace.Run(
            table,
            confirm ? GlobalReplace::Confirm([](const std::string& item) {
                // The question wants the ordinary pointer, not the hourglass.
                QApplication::setOverrideCursor(Qt::ArrowCursor);
                const common::Answer answer =
                    Ui().Ask("Confirm", "Item = \"" + QString::fromStdString(item) + "\".  Change this record?",
                             common::Buttons::YesNo, common::Answer::No);
                QApplication::restoreOverrideCursor();
                return answer == common::Answer::Yes;
            })
                    : GlobalReplace::Confirm(),
            [this](const GlobalReplace::Counters& count) { DrawCounters(count, false); });
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    }
    DrawCounters(m_replace.Count(), true);
    if (searchEnded) m_context.EnableEndSearch();
    hourglass.reset();
    try {
        RebuildSortTag(table, m_context.SortExpression());
    } catch (const std::exception&) {
        // Reopening shared tries the tag again and reports what still fails.
    }
    ExclusiveUse::ReopenShared(m_context);

    if (failure) {
        Ui().Message("Error",
                     *failure + QString("  Search and replace was stopped with %1 records changed.")
                                    .arg(m_replace.Count().changed),
                     common::MessageIcon::Error);
        return;
    }
    Ui().Message("Finished", kCompleteMessage, common::MessageIcon::Information);
    accept();
}

}  // namespace find
