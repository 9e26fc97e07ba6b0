#include "SortOrderDialog.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ExclusiveUse.h"
#include "MainContext.h"
#include "Settings.h"
#include "SortExpression.h"
#include "UiServices.h"
#include "WindowLayout.h"

namespace find {

using common::Ui;

const char* const SortOrderDialog::kInUseMessage =
    "Creating a new sort order requires exclusive use of the DBase File.  Make sure that the DBase File is not in "
    "use by another program  or that no other users are running the software or that no other copies of the "
    "software are in use.";
const char* const SortOrderDialog::kFailedMessage = "Error in implementing sort order.  New sort order not implemented.";

namespace {

const char* const kLevelCaptions[4] = {"Primary Sort", "Secondary Sort", "Third Level Sort", "Fourth Level Sort"};

void ShowEngineError(const std::exception& e) {
    Ui().Message("Error", QString::fromUtf8(e.what()), common::MessageIcon::Error);
}

}  // namespace

SortOrderDialog::SortOrderDialog(common::MainContext& context, QWidget* parent) : QDialog(parent), m_context(context) {
    setWindowTitle("Sort Order");
    setObjectName("SortOrderDialog");
    auto* layout = new QVBoxLayout(this);
    for (size_t i = 0; i < 4; ++i) {
        Frame[i] = new QGroupBox(this);
        auto* frameLayout = new QVBoxLayout(Frame[i]);
        Label[i] = new QLabel(kLevelCaptions[i], Frame[i]);
        Label[i]->setAlignment(Qt::AlignHCenter);
        ComboBox[i] = new QComboBox(Frame[i]);
        ComboBox[i]->setObjectName(QString("ComboBox%1").arg(i + 1));
        ComboBox[i]->setEditable(false);
        frameLayout->addWidget(Label[i]);
        frameLayout->addWidget(ComboBox[i]);
        layout->addWidget(Frame[i]);
    }
    auto* buttons = new QHBoxLayout;
    OkButton = new QPushButton("&Ok", this);
    CancelButton = new QPushButton("&Cancel", this);
    OkButton->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    buttons->addStretch();
    layout->addLayout(buttons);
    resize(280, 330);
    connect(OkButton, &QPushButton::clicked, this, [this] { ApplySortOrder(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { Cancel(); });
    FillFieldLists();
}

void SortOrderDialog::FillFieldLists() {
    QStringList entries{"<NONE>"};
    for (int p = 1; p <= store::kItemFieldCount; ++p) entries << common::AppSettings().Field(p).title;
    for (QComboBox* combo : ComboBox) combo->addItems(entries);
}

void SortOrderDialog::showEvent(QShowEvent* event) {
    PrepareToShow();
    QDialog::showEvent(event);
}

void SortOrderDialog::PrepareToShow() {
    common::WindowLayout::PrepareDialog(*this);
    const common::Settings& s = common::AppSettings();
    for (size_t i = 0; i < 4; ++i) {
        const int position = s.sortFields[i];
        ComboBox[i]->setCurrentIndex(position >= 0 && position <= store::kItemFieldCount ? position : 0);
    }
    const common::ColorGroup& group = s.scheme.Group(common::WindowGroup::Configure);
    common::WindowLayout::SetBackground(*this, group[common::ColorSlot::MainBackground]);
    for (QLabel* label : Label) {
        common::WindowLayout::SetBackground(*label, group[common::ColorSlot::MainBackground]);
        common::WindowLayout::SetTextColor(*label, group[common::ColorSlot::MinorTitle]);
    }
    common::WindowLayout::FinishShowing(*this, false);
}

void SortOrderDialog::ApplySortOrder() {
    common::Settings& s = common::AppSettings();
    try {
        if (ExclusiveUse::HeldElsewhere(m_context)) {
            Ui().Message("Error", kInUseMessage, common::MessageIcon::Error);
            ExclusiveUse::ReopenShared(m_context);
            return;
        }
    } catch (const std::exception& e) {
        ShowEngineError(e);
        return;
    }

    const std::array<int, 4> previous = s.sortFields;
    try {
        ExclusiveUse::OpenExclusive(m_context);
        for (size_t i = 0; i < 4; ++i) s.sortFields[i] = std::max(0, ComboBox[i]->currentIndex());
        m_context.BuildSortString();
        RebuildSortTag(m_context.ItemTable(), m_context.SortExpression());
        // A choice that is not in the file is lost at the next start; better
        // to say so now and keep the order the file holds.
        if (!common::SaveAppSettings()) throw std::runtime_error("The settings file could not be written.");
        ExclusiveUse::ReopenShared(m_context);
    } catch (const std::exception&) {
        Ui().Message("Error", kFailedMessage, common::MessageIcon::Error);
        // The grid, reports and exports follow the tag, so it goes back to
        // the order the settings hold, not the rejected one.
        s.sortFields = previous;
        m_context.BuildSortString();
        try {
            ExclusiveUse::ReopenShared(m_context);
        } catch (const std::exception& e) {
            ShowEngineError(e);
        }
        return;
    }
    accept();
}

void SortOrderDialog::Cancel() { reject(); }

}  // namespace find
