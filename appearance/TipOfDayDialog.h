#pragma once
// The tip of the day: one short hint about the program's features, a button
// to read the next one, and the choice whether tips greet the user at start.
// Shown at the main window's first activation when that choice is on, and on
// demand from the Help menu.

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QLabel;
class QPushButton;

namespace appearance {

class TipOfDayDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTipCount = 24;

    explicit TipOfDayDialog(QWidget* parent = nullptr);

    // The tips, numbered 1 to 23.
    static const QStringList& Tips();

    int TipNumber() const { return m_tip; }
    void ShowTip(int number);

    // Handlers.
    void PrepareToShow();  // ticks the check box from the settings, picks a tip at random
    void ShowNextTip();
    void CloseWindow();
    // Stores the check box into the settings; runs once, however the dialog closes.
    void StoreOnClose();

    QLabel* HeadingLabel = nullptr;
    QLabel* TipLabel = nullptr;
    QCheckBox* ShowTipsCheck = nullptr;
    QPushButton* NextTipButton = nullptr;
    QPushButton* CloseButton = nullptr;

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    int m_tip = 1;
    bool m_closed = false;
};

}  // namespace appearance
