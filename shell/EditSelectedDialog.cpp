#include "EditSelectedDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "EntryRules.h"
#include "Settings.h"
#include "Table.h"
#include "TextRules.h"
#include "UiServices.h"
#include "WindowLayout.h"

namespace shell {

namespace {

constexpr int kPurchaseDatePosition = 10;
constexpr int kWarrantyPosition = 14;
constexpr int kWarrantyDatePosition = 15;
constexpr int kRowsPerColumn = 11;

}  // namespace

const char* const EditSelectedDialog::kNothingChosenMessage =
    "Choose the fields to set: tick a field and type the value it takes on every selected item.";

EditSelectedDialog::EditSelectedDialog(store::Table& table, size_t count, QWidget* parent)
    : QDialog(parent), m_table(table) {
    setWindowTitle("Edit Selected Items");
    auto* root = new QVBoxLayout(this);
    m_heading = new QLabel(count == 1 ? QString("Set these fields on the selected item:")
                                      : QString("Set these fields on the %L1 selected items:").arg(qulonglong(count)),
                           this);
    root->addWidget(m_heading);
    auto* grid = new QGridLayout;
    const common::Settings& s = common::AppSettings();
    for (int p = 1; p <= store::kItemFieldCount; ++p) {
        auto* box = new QCheckBox(s.Field(p).title, this);
        auto* edit = new QLineEdit(this);
        edit->setMaxLength(store::SchemaAt(p).width + 20);
        if (p == kWarrantyPosition) edit->setPlaceholderText("Yes or No");
        connect(edit, &QLineEdit::textEdited, box, [box] { box->setChecked(true); });
        const int row = (p - 1) % kRowsPerColumn, column = (p - 1) / kRowsPerColumn * 2;
        grid->addWidget(box, row, column);
        grid->addWidget(edit, row, column + 1);
        m_choices[size_t(p - 1)] = box;
        m_values[size_t(p - 1)] = edit;
    }
    root->addLayout(grid);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &EditSelectedDialog::Check);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    root->addWidget(buttons);
}

void EditSelectedDialog::Check() {
    std::vector<find::FieldValue> values;
    const common::Settings& s = common::AppSettings();
    // One record's bytes to try every value in: the engine refuses there
    // what it would refuse in the change.
    std::string trial(size_t(m_table.Layout().RecordLength()), ' ');
    auto refuse = [&](const QString& message, QLineEdit* edit) {
        common::Ui().Message("Error", message, common::MessageIcon::Error);
        edit->setFocus();
        edit->selectAll();
    };
    for (int p = 1; p <= store::kItemFieldCount; ++p) {
        if (!Choice(p)->isChecked()) continue;
        QLineEdit* edit = Value(p);
        // The item editor's rules, with its messages.
        QString text = common::TextRules::TrimSpaces(edit->text());
        const QString title = s.Field(p).title;
        if (const char* why = items::EntryRules::Refusal(p, text)) return refuse(QString::fromLatin1(why), edit);
        if (p == kWarrantyPosition) {
            if (text.compare("yes", Qt::CaseInsensitive) == 0) text = "Yes";
            else if (text.compare("no", Qt::CaseInsensitive) == 0) text = "No";
            else return refuse("Type Yes or No for " + title + ".", edit);
        }
        if ((p == kPurchaseDatePosition || p == kWarrantyDatePosition) && items::EntryRules::IsNoDate(text)) text.clear();
        const int field = m_table.FieldIndex(store::SchemaAt(p).name);
        if (field < 0) return refuse("The table has no field for " + title + ".", edit);
        try {
            m_table.FormatField(field, text.toStdString(), trial.data());
        } catch (const store::EngineError& e) {
            return refuse(QString::fromUtf8(e.what()), edit);
        }
        values.push_back({field, text.toStdString()});
    }
    if (values.empty()) {
        common::Ui().Message("Error", kNothingChosenMessage, common::MessageIcon::Error);
        return;
    }
    m_result = std::move(values);
    accept();
}

void EditSelectedDialog::showEvent(QShowEvent* event) {
    common::WindowLayout::PrepareDialog(*this);
    QDialog::showEvent(event);
    common::WindowLayout::FinishShowing(*this, false);
}

}  // namespace shell
