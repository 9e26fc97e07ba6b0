#include "LocateDialog.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "EngineError.h"
#include "Settings.h"
#include "UiServices.h"
#include "WindowLayout.h"

namespace find {

LocateDialog::LocateDialog(Locator& component, std::vector<Locator::FieldEntry> fields,
                           QWidget* parent)
    : QDialog(parent), m_component(component), m_fields(std::move(fields)) {
    setWindowTitle(component.caption);
    auto* root = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    root->addLayout(left, 1);

    FieldGroup = new QGroupBox("&Field To Search On", this);
    auto* fieldLayout = new QVBoxLayout(FieldGroup);
    FieldNameComboBox = new QComboBox(FieldGroup);
    FieldNameComboBox->setObjectName("FieldNameComboBox");
    FieldNameComboBox->setEditable(false);
    for (const auto& f : m_fields) FieldNameComboBox->addItem(f.label);
    FieldNameComboBox->setCurrentIndex(-1);
    fieldLayout->addWidget(FieldNameComboBox);
    left->addWidget(FieldGroup);

    TypeGroup = new QGroupBox("&Search Type", this);
    auto* typeLayout = new QVBoxLayout(TypeGroup);
    CaseSensitiveCheck = new QCheckBox("&Case-sensitive", TypeGroup);
    auto* line = new QFrame(TypeGroup);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    ExactMatchRadio = new QRadioButton("&Exact Match", TypeGroup);
    PartialBeginningRadio = new QRadioButton("&Partial Match at Beginning", TypeGroup);
    PartialAnywhereRadio = new QRadioButton("Partial Match &Anywhere", TypeGroup);
    for (QWidget* w : std::initializer_list<QWidget*>{CaseSensitiveCheck, line, ExactMatchRadio,
                                                       PartialBeginningRadio, PartialAnywhereRadio})
        typeLayout->addWidget(w);
    left->addWidget(TypeGroup);

    ValueGroup = new QGroupBox("Search &Value", this);
    auto* valueLayout = new QVBoxLayout(ValueGroup);
    SearchValue = new QLineEdit(ValueGroup);
    SearchValue->setObjectName("SearchValue");
    SearchValue->setMaxLength(255);
    valueLayout->addWidget(SearchValue);
    left->addWidget(ValueGroup);

    auto* buttons = new QVBoxLayout;
    FirstButton = new QPushButton("Fi&rst", this);
    NextButton = new QPushButton("&Next", this);
    CancelButton = new QPushButton("Cancel", this);
    for (QPushButton* b : {FirstButton, NextButton, CancelButton}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    root->addLayout(buttons);

    connect(FirstButton, &QPushButton::clicked, this, [this] { FindFirst(); });
    connect(NextButton, &QPushButton::clicked, this, [this] { FindNext(); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(FieldNameComboBox, &QComboBox::currentIndexChanged, this, [this] { StartNewValue(); });
    // Choosing from the dropped-down list (Enter or a click) goes on to the value.
    connect(FieldNameComboBox, &QComboBox::activated, this, [this] { SearchValue->setFocus(); });
    FieldNameComboBox->installEventFilter(this);
    SetDefaultNext(true);
}

void LocateDialog::showEvent(QShowEvent* event) {
    common::WindowLayout::PrepareDialog(*this);
    const common::ColorGroup& g = common::AppSettings().scheme.Group(common::WindowGroup::Configure);
    common::WindowLayout::ApplyColors(*this, g);
    for (QGroupBox* box : {FieldGroup, TypeGroup, ValueGroup}) {
        common::WindowLayout::SetBackground(*box, g[common::ColorSlot::MainBackground]);
        common::WindowLayout::SetTextColor(*box, g[common::ColorSlot::MinorTitle]);
    }
    common::WindowLayout::FinishShowing(*this, false);
    QDialog::showEvent(event);
}

bool LocateDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FieldNameComboBox) {
        if (event->type() == QEvent::FocusIn) SuspendDefaultButtons();
        else if (event->type() == QEvent::FocusOut) RestoreDefaultButton();
    }
    return QDialog::eventFilter(watched, event);
}

void LocateDialog::SetDefaultNext(bool next) {
    m_defaultNext = next;
    NextButton->setDefault(next);
    FirstButton->setDefault(!next);
}

// Enter in the field list must not start a search.
void LocateDialog::SuspendDefaultButtons() {
    NextButton->setDefault(false);
    FirstButton->setDefault(false);
}

void LocateDialog::RestoreDefaultButton() { SetDefaultNext(m_defaultNext); }

void LocateDialog::StartNewValue() {
    SearchValue->clear();
    if (!FieldNameComboBox->view()->isVisible()) SearchValue->setFocus();
}

int LocateDialog::MatchType() const {
    if (ExactMatchRadio->isChecked()) return 0;
    if (PartialAnywhereRadio->isChecked()) return 2;
    return 1;
}

void LocateDialog::SetMatchType(int type) {
    (type == 0 ? ExactMatchRadio : type == 2 ? PartialAnywhereRadio : PartialBeginningRadio)->setChecked(true);
}

QString LocateDialog::SelectedFieldName() const {
    const QString text = FieldNameComboBox->currentText();
    for (const auto& f : m_fields)
        if (f.label == text) return f.name;
    return {};
}

bool LocateDialog::SelectField(const QString& name) {
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i].name.compare(name, Qt::CaseInsensitive) == 0) {
            const QSignalBlocker block(FieldNameComboBox);
            FieldNameComboBox->setCurrentIndex(int(i));
            return true;
        }
    }
    return false;
}

void LocateDialog::Search(bool fromFirst) {
    bool found = false;
    try {
        found = m_component.FindRecord(fromFirst, m_component.Table(), SelectedFieldName(),
                                       CaseSensitiveCheck->isChecked(), MatchType(), SearchValue->text());
    } catch (const store::EngineError& e) {
        common::Ui().Message("Error", QString::fromUtf8(e.what()), common::MessageIcon::Error);
        return;
    }
    if (found) {
        accept();
        return;
    }
    if (m_component.FieldWasMissing()) return;
    common::Ui().Message("Information", fromFirst ? "No matches found" : "No more matches found",
                         common::MessageIcon::Information);
}

void LocateDialog::FindFirst() { Search(true); }

void LocateDialog::FindNext() { Search(false); }

}  // namespace find
