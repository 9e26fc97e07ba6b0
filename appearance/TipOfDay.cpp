#include "TipOfDay.h"

namespace appearance {

// The tip dialog comes with the appearance subsystem.
void ShowTipOfDay(QWidget*) {}

}  // namespace appearance
