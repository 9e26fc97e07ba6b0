#include "RecordNavigator.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace shell {
namespace {

// Small drawn glyphs, so the navigator looks the same on every desktop.
QIcon Glyph(RecordNavigator::Button b) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::black);
    p.setPen(Qt::NoPen);
    auto triangle = [&](bool left, int x) {
        QPainterPath path;
        if (left) {
            path.moveTo(x + 6, 3);
            path.lineTo(x, 8);
            path.lineTo(x + 6, 13);
        } else {
            path.moveTo(x, 3);
            path.lineTo(x + 6, 8);
            path.lineTo(x, 13);
        }
        path.closeSubpath();
        p.drawPath(path);
    };
    switch (b) {
    case RecordNavigator::First: p.drawRect(3, 3, 2, 10); triangle(true, 6); break;
    case RecordNavigator::Prior: triangle(true, 5); break;
    case RecordNavigator::Next: triangle(false, 5); break;
    case RecordNavigator::Last: triangle(false, 4); p.drawRect(11, 3, 2, 10); break;
    case RecordNavigator::Insert: p.drawRect(7, 3, 2, 10); p.drawRect(3, 7, 10, 2); break;
    case RecordNavigator::Delete: p.drawRect(3, 7, 10, 2); break;
    case RecordNavigator::Edit: p.drawRect(6, 3, 4, 10); p.setBrush(Qt::white); p.drawRect(7, 4, 2, 8); break;
    case RecordNavigator::Post: {
        p.setPen(QPen(Qt::darkGreen, 2));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygon({QPoint(3, 8), QPoint(7, 12), QPoint(13, 4)}));
        break;
    }
    case RecordNavigator::Cancel:
        p.setPen(QPen(Qt::darkRed, 2));
        p.drawLine(4, 4, 12, 12);
        p.drawLine(12, 4, 4, 12);
        break;
    case RecordNavigator::Refresh:
        p.setPen(QPen(Qt::black, 2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(3, 3, 10, 10, 30 * 16, 300 * 16);
        break;
    }
    return QIcon(pm);
}

}  // namespace

RecordNavigator::RecordNavigator(QWidget* parent) : QWidget(parent) {
    static const char* const kHints[kButtonCount] = {"First record", "Prior record", "Next record", "Last record",
                                                     "Insert record", "Delete record", "Edit record", "Post edit",
                                                     "Cancel edit", "Refresh data"};
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < kButtonCount; ++i) {
        auto* button = new QToolButton(this);
        button->setIcon(Glyph(Button(i)));
        button->setToolTip(kHints[i]);
        button->setAutoRaise(false);
        // Narrower when room is short: at 640 x 480 the speed buttons and
        // the navigator share one row.
        button->setMinimumSize(18, 25);
        button->setMaximumSize(22, 25);
        button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        button->setObjectName(QString("Navigator%1").arg(i));
        connect(button, &QToolButton::clicked, this, [this, i] { emit Clicked(Button(i)); });
        layout->addWidget(button);
        m_buttons[size_t(i)] = button;
    }
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
}

void RecordNavigator::SetEditingAllowed(bool allowed) {
    for (Button b : {Insert, Edit, Post, Cancel}) m_buttons[size_t(b)]->setEnabled(allowed);
}

}  // namespace shell
