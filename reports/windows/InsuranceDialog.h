#pragma once
// Insurance Information: the insurance company and policy number the report
// footer may carry, the user's name under the inventory statement, and
// whether each is printed. The values are kept in the settings whenever the
// window closes, however it is closed.

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace reports {

inline constexpr int kCompanyLength = 40;
inline constexpr int kPolicyLength = 20;
inline constexpr int kYourNameLength = 30;

class InsuranceDialog : public QDialog {
    Q_OBJECT

public:
    explicit InsuranceDialog(QWidget* parent = nullptr);

    void StoreInsuranceInformation() { accept(); }

    QLineEdit* InsuranceCompany = nullptr;
    QCheckBox* PrintCompany = nullptr;
    QLineEdit* PolicyNumber = nullptr;
    QCheckBox* PrintPolicy = nullptr;
    QLineEdit* YourName = nullptr;
    QCheckBox* PrintStatement = nullptr;
    QPushButton* OkButton = nullptr;

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace reports
