#include "UiServices.h"

#include "QtUiServices.h"

namespace common {
namespace {

UiServices* g_current = nullptr;

QtUiServices& DefaultServices() {
    static QtUiServices services;
    return services;
}

}  // namespace

UiServices& Ui() { return g_current ? *g_current : DefaultServices(); }

UiServices* SetUi(UiServices* services) {
    UiServices* previous = g_current;
    g_current = services;
    return previous;
}

}  // namespace common
