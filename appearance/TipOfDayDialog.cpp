#include "TipOfDayDialog.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QVBoxLayout>

#include "Settings.h"
#include "WindowLayout.h"

namespace appearance {
namespace {

// A small light bulb beside the heading.
QPixmap BulbPicture() {
    QPixmap pm(40, 48);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(120, 100, 0), 1.5));
    p.setBrush(QColor(255, 230, 80));
    p.drawEllipse(QRectF(6, 2, 28, 28));
    p.setBrush(QColor(160, 160, 160));
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.drawRect(QRectF(13, 30, 14, 10));
    p.drawLine(QPointF(13, 33), QPointF(27, 33));
    p.drawLine(QPointF(13, 36), QPointF(27, 36));
    p.setBrush(QColor(60, 60, 60));
    p.drawRect(QRectF(16, 40, 8, 4));
    p.setPen(QPen(QColor(255, 255, 255), 2));
    p.drawArc(QRectF(11, 7, 14, 14), 100 * 16, 70 * 16);
    return pm;
}

}  // namespace

TipOfDayDialog::TipOfDayDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Tip of the Day");
    auto* root = new QVBoxLayout(this);

    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setAutoFillBackground(true);
    QPalette white = panel->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    panel->setPalette(white);
    auto* panelLayout = new QHBoxLayout(panel);
    auto* picture = new QLabel(panel);
    picture->setPixmap(BulbPicture());
    picture->setAlignment(Qt::AlignTop);
    panelLayout->addWidget(picture, 0, Qt::AlignTop);
    auto* text = new QVBoxLayout;
    HeadingLabel = new QLabel("Did you know?", panel);
    QFont heading = HeadingLabel->font();
    heading.setBold(true);
    heading.setPointSize(14);
    HeadingLabel->setFont(heading);
    TipLabel = new QLabel(panel);
    TipLabel->setWordWrap(true);
    TipLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    TipLabel->setFixedSize(300, 90);
    text->addWidget(HeadingLabel);
    text->addWidget(TipLabel, 1);
    panelLayout->addLayout(text, 1);
    root->addWidget(panel);

    auto* bottom = new QHBoxLayout;
    ShowTipsCheck = new QCheckBox("&Show Tips at Startup", this);
    NextTipButton = new QPushButton("&Next Tip", this);
    CloseButton = new QPushButton("&Close", this);
    CloseButton->setDefault(true);
    bottom->addWidget(ShowTipsCheck);
    bottom->addStretch(1);
    bottom->addWidget(NextTipButton);
    bottom->addWidget(CloseButton);
    root->addLayout(bottom);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    connect(NextTipButton, &QPushButton::clicked, this, [this] { ShowNextTip(); });
    connect(CloseButton, &QPushButton::clicked, this, [this] { CloseWindow(); });
    ShowTipsCheck->setChecked(common::AppSettings().showTips);
    ShowTip(1);
}

const QStringList& TipOfDayDialog::Tips() {
    static const QStringList kTips = {
        "You can rename database fields to your liking.",
        "You can edit data directly on the Main Window Viewer.",
        "You can choose to see only those database fields you desire in the Main Window Viewer.",
        "You can choose the order in which the database fields appear in the Main Window Viewer.",
        "You can select the font for edit boxes allowing for support of foreign language input.",
        "You can do a global search and replace on any database field.",
        "You can select numeric and currency formats for reports to either match your Windows setup or to be a U.S. "
        "format.",
        "You can choose from among several date formats to be used through out the program.",
        "You can sort your data by any database field and go four levels deep.",
        "You can maintain multiple databases and Halvenor will display the last five used in the menu for easy "
        "retrieval.",
        "You can easily import data from ASCII Delimited or DBase compatible files.",
        "You can export data to ASCII Delimited or DBase compatible files and choose which database fields to export "
        "and the order.",
        "When exporting data, you can limit the data to export by first doing a search.",
        "When printing a report, you can limit the data to print by first doing a search.",
        "You can preview reports, print reports to a text file or send them directly to the printer.",
        "You can design and build as many of your own report layouts as you like.",
        "You can choose to have speed buttons or large lettered buttons on the main window for quick program "
        "functions.",
        "You can choose among popular screen sizes allowing program windows to appear the size you prefer.",
        "You can choose the font style for text input, labels and buttons allowing for a more personal appearance.",
        "You can narrow the data that is displayed in the Main Window Viewer to just the result of a search.",
        "Logical OR searches can be performed: Find all records where the item = xxxx OR where the item = yyyy.",
        "User defined reports allow for Title Lines, Font Selection, Margin Settings, Page Numbers, Date On Pages and "
        "More.",
        "User defined reports allow for Column Headers, Vertical and Horizontal lines, Grouping of Data, Totals and "
        "More.",
        "The Overview (Ctrl+Shift+O) charts what your items are worth by category, location and owner, and lists warranties ending soon.",
    };
    return kTips;
}

void TipOfDayDialog::ShowTip(int number) {
    if (number < 1 || number > kTipCount) return;
    m_tip = number;
    TipLabel->setText(Tips()[number - 1]);
}

void TipOfDayDialog::PrepareToShow() {
    ShowTipsCheck->setChecked(common::AppSettings().showTips);
    // QRandomGenerator::global() is seeded by the system, which serves as the clock seed does.
    ShowTip(int(QRandomGenerator::global()->bounded(1, kTipCount + 1)));
}

void TipOfDayDialog::showEvent(QShowEvent* event) {
    PrepareToShow();
    common::WindowLayout::PrepareDialog(*this);
    // The heading stays bold whatever the shared label font is.
    QFont heading = HeadingLabel->font();
    heading.setBold(true);
    HeadingLabel->setFont(heading);
    common::WindowLayout::FinishShowing(*this, false);
    QDialog::showEvent(event);
}

void TipOfDayDialog::ShowNextTip() { ShowTip(m_tip % kTipCount + 1); }

void TipOfDayDialog::CloseWindow() { accept(); }

void TipOfDayDialog::done(int result) {
    StoreOnClose();
    QDialog::done(result);
}

void TipOfDayDialog::StoreOnClose() {
    if (m_closed) return;
    m_closed = true;
    common::AppSettings().showTips = ShowTipsCheck->isChecked();
}

}  // namespace appearance
