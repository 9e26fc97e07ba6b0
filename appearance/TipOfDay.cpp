#include "TipOfDay.h"

#include "TipOfDayDialog.h"
#include "UiServices.h"

namespace appearance {

void ShowTipOfDay(QWidget* owner) {
    TipOfDayDialog dialog(owner);
    common::Ui().ShowModal(dialog);
}

}  // namespace appearance
