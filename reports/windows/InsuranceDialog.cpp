#include "InsuranceDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ReportDialogSupport.h"
#include "Settings.h"

namespace reports {

InsuranceDialog::InsuranceDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Insurance Information");
    auto* root = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    root->addLayout(grid);
    auto edit = [&](int row, const char* caption, int length, QLineEdit*& line, QCheckBox** print) {
        auto* label = new QLabel(caption, this);
        line = new QLineEdit(this);
        line->setMaxLength(length);
        line->setMinimumWidth(line->fontMetrics().averageCharWidth() * std::min(length, 32) + 12);
        label->setBuddy(line);
        grid->addWidget(label, row, 0);
        grid->addWidget(line, row, 1);
        if (print) {
            *print = new QCheckBox("Print On Report", this);
            grid->addWidget(*print, row, 2);
        }
    };
    edit(0, "Insurance Company", kCompanyLength, InsuranceCompany, &PrintCompany);
    edit(1, "Policy Number", kPolicyLength, PolicyNumber, &PrintPolicy);
    edit(2, "Your Name", kYourNameLength, YourName, nullptr);
    PrintStatement = new QCheckBox("Print Insurance Inventory Statement", this);
    grid->addWidget(PrintStatement, 3, 1, 1, 2);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    OkButton = new QPushButton("&Ok", this);
    OkButton->setDefault(true);
    row->addWidget(OkButton);
    root->addLayout(row);
    connect(OkButton, &QPushButton::clicked, this, [this] { StoreInsuranceInformation(); });

    const common::Settings& s = common::AppSettings();
    InsuranceCompany->setText(s.insuranceCompany.left(kCompanyLength));
    PrintCompany->setChecked(s.printInsuranceCompany);
    PolicyNumber->setText(s.policyNumber.left(kPolicyLength));
    PrintPolicy->setChecked(s.printPolicyNumber);
    YourName->setText(s.yourName.left(kYourNameLength));
    PrintStatement->setChecked(s.printStatement);
}

void InsuranceDialog::showEvent(QShowEvent* event) {
    PrepareReportDialog(*this);
    QDialog::showEvent(event);
}

void InsuranceDialog::done(int result) {
    common::Settings& s = common::AppSettings();
    s.insuranceCompany = InsuranceCompany->text().left(kCompanyLength);
    s.printInsuranceCompany = PrintCompany->isChecked();
    s.policyNumber = PolicyNumber->text().left(kPolicyLength);
    s.printPolicyNumber = PrintPolicy->isChecked();
    s.yourName = YourName->text().left(kYourNameLength);
    s.printStatement = PrintStatement->isChecked();
    QDialog::done(result);
}

}  // namespace reports
