#pragma once
// The record navigator of the main window: ten small buttons that move the
// item table's current record (first, prior, next, last), insert, delete,
// edit, post, cancel and refresh, each with its hint. It only signals; the
// main window acts, so every button goes through the same operations as the
// menus.

#include <QWidget>
#include <array>

class QToolButton;

namespace shell {

class RecordNavigator : public QWidget {
    Q_OBJECT

public:
    enum Button { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh };
    static constexpr int kButtonCount = 10;

    explicit RecordNavigator(QWidget* parent = nullptr);

    QToolButton* ButtonAt(Button b) const { return m_buttons[size_t(b)]; }
    // Insert, edit, post and cancel only work while grid editing is allowed.
    void SetEditingAllowed(bool allowed);

signals:
    void Clicked(shell::RecordNavigator::Button button);

private:
    std::array<QToolButton*, kButtonCount> m_buttons{};
};

}  // namespace shell
