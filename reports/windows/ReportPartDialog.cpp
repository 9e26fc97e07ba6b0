#include "ReportPartDialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ItemSchema.h"
#include "ReportDialogSupport.h"
#include "Settings.h"

namespace reports {

using common::MessageIcon;

ReportPartDialog::ReportPartDialog(ReportLine& line, int lineNumber, int item, int reportWidth, QWidget* parent)
    : QDialog(parent), m_line(line), m_lineNumber(lineNumber), m_item(item), m_reportWidth(reportWidth) {
    setWindowTitle("Select Report Part");
    auto* root = new QVBoxLayout(this);

    auto* partBox = new QGroupBox("Selected Part", this);
    auto* partLayout = new QHBoxLayout(partBox);
    PartLabel = new QLabel(partBox);
    PartLabel->setFrameShape(QFrame::Panel);
    PartLabel->setFrameShadow(QFrame::Sunken);
    PartLabel->setAlignment(Qt::AlignCenter);
    PartLabel->setText(Totals() ? QString("Totals Line, Item %1").arg(item)
                                : QString("Line %1, Item %2").arg(lineNumber).arg(item));
    partLayout->addWidget(PartLabel);
    root->addWidget(partBox);

    auto* middle = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    auto* kindBox = new QGroupBox("Type", this);
    auto* kindLayout = new QVBoxLayout(kindBox);
    FillerRadio = new QRadioButton("Filler (empty space)", kindBox);
    LabelRadio = new QRadioButton("Label (constant value)", kindBox);
    FieldRadio = new QRadioButton("Field (database value)", kindBox);
    for (QRadioButton* r : {FillerRadio, LabelRadio, FieldRadio}) {
        kindLayout->addWidget(r);
        connect(r, &QRadioButton::clicked, this, [this] { EnableChosenKind(); });
    }
    left->addWidget(kindBox);
    auto* entries = new QGridLayout;
    WidthEdit = new QLineEdit(this);
    WidthEdit->setMaxLength(3);
    WidthEdit->setMaximumWidth(60);
    LabelEdit = new QLineEdit(this);
    LabelEdit->setMaxLength(kLabelCapacity);
    entries->addWidget(new QLabel("Width", this), 0, 0);
    entries->addWidget(WidthEdit, 0, 1, Qt::AlignLeft);
    entries->addWidget(new QLabel("Label Name", this), 1, 0);
    entries->addWidget(LabelEdit, 1, 1);
    left->addLayout(entries);
    left->addStretch(1);
    middle->addLayout(left, 3);

    auto* listBox = new QVBoxLayout;
    listBox->addWidget(new QLabel("Fields", this));
    FieldList = new QListWidget(this);
    if (Totals()) {
        for (int row = 0; row < kTotalsCount; ++row) FieldList->addItem(EntryName(row));
    } else {
        for (int p = 1; p <= store::kItemFieldCount; ++p) FieldList->addItem(common::AppSettings().Field(p).title);
    }
    listBox->addWidget(FieldList);
    middle->addLayout(listBox, 2);
    root->addLayout(middle);

    AddOkCancel(*root, this, OkButton, CancelButton);
    connect(OkButton, &QPushButton::clicked, this, [this] { StorePart(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { Cancel(); });

    // The item as it stands.
    const ReportItem& current = m_line[size_t(item - 1)];
    if (current.IsFiller()) {
        FillerRadio->setChecked(true);
    } else if (current.IsLabel()) {
        LabelRadio->setChecked(true);
        LabelEdit->setText(QString::fromStdString(current.label));
    } else {
        FieldRadio->setChecked(true);
        for (int row = 0; row < FieldList->count(); ++row)
            if (EntryName(row).toStdString() == current.text) FieldList->setCurrentRow(row);
    }
    WidthEdit->setText(QString::number(current.width));
    EnableChosenKind();
}

QString ReportPartDialog::EntryName(int row) const {
    const std::string_view name = Totals() ? TotalsName(row + 1) : store::SchemaAt(row + 1).name;
    return QString::fromUtf8(name.data(), int(name.size()));
}

void ReportPartDialog::showEvent(QShowEvent* event) {
    PrepareReportDialog(*this);
    QDialog::showEvent(event);
}

void ReportPartDialog::EnableChosenKind() {
    LabelEdit->setEnabled(LabelRadio->isChecked());
    FieldList->setEnabled(FieldRadio->isChecked());
}

void ReportPartDialog::StorePart() {
    bool ok = false;
    const int width = WidthEdit->text().trimmed().toInt(&ok);
    if (!ok) {
        Refuse("Error", "Invalid width entered.  Please correct.", MessageIcon::Warning, WidthEdit);
        return;
    }
    const QList<QListWidgetItem*> chosen = FieldList->selectedItems();
    const int row = chosen.isEmpty() ? -1 : FieldList->row(chosen.first());
    if (FieldRadio->isChecked() && row < 0) {
        Refuse("Error", "No field has been selected.  Please choose one.", MessageIcon::Warning, FieldList);
        return;
    }
    const QString label = LabelEdit->text().trimmed().left(kLabelCapacity);
    if (LabelRadio->isChecked() && !CheckStorable(label, "The label", LabelEdit)) return;

    ReportLine line = m_line;
    ReportItem& item = line[size_t(m_item - 1)];
    item.width = width;
    NormaliseLine(line, m_reportWidth);
    item.label.clear();
    if (FillerRadio->isChecked()) {
        item.text = std::string(kFiller);
    } else if (LabelRadio->isChecked()) {
        item.text = std::string(kLabel);
        item.label = label.toStdString();
    } else {
        item.text = EntryName(row).toStdString();
        item.number = row + 1;
    }
    m_line = line;
    accept();
}

void ReportPartDialog::Cancel() { reject(); }

}  // namespace reports
