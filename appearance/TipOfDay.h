#pragma once
// The tip of the day, shown at the first activation of the main window when
// the settings ask for it, and from the Help menu.

class QWidget;

namespace appearance {

void ShowTipOfDay(QWidget* owner);

}  // namespace appearance
