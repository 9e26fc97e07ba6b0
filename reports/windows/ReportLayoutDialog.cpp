#include "ReportLayoutDialog.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <algorithm>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ReportDialogSupport.h"
#include "ReportLayoutRows.h"
#include "ReportPartDialog.h"
#include "WindowLayout.h"

namespace reports {

ReportLayoutDialog::ReportLayoutDialog(ReportDefinition& target, bool showTotals, QWidget* parent)
    : QDialog(parent), m_target(target), m_copy(target) {
    setWindowTitle("Specify Report Layout");
    auto* root = new QVBoxLayout(this);
    ReportPanel = new QLabel("Report: " + QString::fromStdString(m_copy.name).left(38), this);
    ReportPanel->setFrameShape(QFrame::Panel);
    ReportPanel->setFrameShadow(QFrame::Sunken);
    root->addWidget(ReportPanel);
    NoteLabel = new QLabel(
        "Using the left mouse button, click on the area where you would like to add or change the report layout.",
        this);
    NoteLabel->setWordWrap(true);
    root->addWidget(NoteLabel);

    const int lines = std::clamp(m_copy.lines, 0, kMaxBodyLines);
    BodyCaption = new QLabel("Report Body", this);
    BodyRows = new ReportLayoutRows(false, this);
    std::vector<const ReportLine*> body;
    for (int n = 1; n <= lines; ++n) body.push_back(&m_copy.Body(n));
    BodyRows->SetLines(body, m_copy.width);
    BodyRows->SetItemClicked([this](int row, int item) { EditItem(row + 1, item); });
    root->addWidget(BodyCaption);
    root->addWidget(BodyRows);
    BodyCaption->setVisible(lines > 0);
    BodyRows->setVisible(lines > 0);

    TotalsCaption = new QLabel("Report Totals", this);
    TotalsRows = new ReportLayoutRows(true, this);
    TotalsRows->SetLines({&m_copy.totals}, m_copy.width);
    TotalsRows->SetItemClicked([this](int, int item) { EditItem(0, item); });
    root->addWidget(TotalsCaption);
    root->addWidget(TotalsRows);
    TotalsCaption->setVisible(showTotals);
    TotalsRows->setVisible(showTotals);
    root->addStretch(1);

    AddOkCancel(*root, this, OkButton, CancelButton);
    connect(OkButton, &QPushButton::clicked, this, [this] { StoreLayout(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { Cancel(); });
}

void ReportLayoutDialog::showEvent(QShowEvent* event) {
    PrepareReportDialog(*this);
    // The rows set the width; the wrapped note takes its height from it.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const int width = std::min(sizeHint().width(), screen.width());
    resize(width, layout()->totalHeightForWidth(width));
    common::WindowLayout::Centre(*this);
    QDialog::showEvent(event);
}

void ReportLayoutDialog::EditItem(int lineNumber, int item) {
    ReportLine& line = lineNumber == 0 ? m_copy.totals : m_copy.Body(lineNumber);
    ReportPartDialog part(line, lineNumber, item, m_copy.width, this);
    common::Ui().ShowModal(part);
    BodyRows->update();
    TotalsRows->update();
}

void ReportLayoutDialog::StoreLayout() {
    m_target.body = m_copy.body;
    m_target.totals = m_copy.totals;
    accept();
}

void ReportLayoutDialog::Cancel() { reject(); }

}  // namespace reports
