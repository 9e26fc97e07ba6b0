#pragma once
// Page Printing: the first and last page of a recorded report to print.
// "&Print" accepts the range only when both pages lie within the report and
// the last is not before the first; otherwise it says which page is wrong,
// puts the focus on it and stays open.

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace reports {

class PageRangeDialog : public QDialog {
    Q_OBJECT

public:
    PageRangeDialog(int pageCount, QWidget* parent = nullptr);

    void PrintRange();
    void Cancel() { reject(); }

    // The accepted range.
    int FirstPage() const { return m_first; }
    int LastPage() const { return m_last; }

    QLineEdit* StartingPage = nullptr;
    QLineEdit* EndingPage = nullptr;
    QPushButton* PrintButton = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    int m_pageCount;
    int m_first = 0;
    int m_last = 0;
};

}  // namespace reports
