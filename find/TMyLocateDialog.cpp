#include "TMyLocateDialog.h"

#include "MainContext.h"

namespace find {

TMyLocateDialog::TMyLocateDialog(common::MainContext& context) : m_context(context) {}

// The locate dialog and its search arrive with the locate feature.
bool TMyLocateDialog::DoFind() { return false; }

bool TMyLocateDialog::DoFindNext() { return false; }

}  // namespace find
