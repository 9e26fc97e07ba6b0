#include "TipOfDay.h"

#include "TTipOfDay.h"
#include "UiServices.h"

namespace appearance {

void ShowTipOfDay(QWidget* owner) {
    TTipOfDay dialog(owner);
    common::Ui().ShowModal(dialog);
}

}  // namespace appearance
