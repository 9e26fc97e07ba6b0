#include "ExclusiveUse.h"

#include <exception>

#include "FileSystem.h"
#include "ItemTable.h"
#include "MainContext.h"
#include "SortExpression.h"

namespace find {

bool ExclusiveUse::HeldElsewhere(common::MainContext& context) {
    store::Table& table = context.ItemTable();
    table.Close();
    // A file another program removed is in no one's use: opening it again
    // says what happened, in the engine's words.
    if (!files::Exists(table.DataFilePath())) ReopenShared(context);
    return store::DBaseInUse(context.CheckTable(), table.DataFilePath());
}

void ExclusiveUse::OpenExclusive(common::MainContext& context) {
    store::Table& table = context.ItemTable();
    table.Close();
    table.SetExclusive(true);
    table.SetActiveIndex("");
    try {
        table.Open();
    } catch (...) {
        table.SetExclusive(false);
        throw;
    }
}

void ExclusiveUse::ReopenShared(common::MainContext& context) {
    store::Table& table = context.ItemTable();
    table.Close();
    table.SetExclusive(false);
    table.SetActiveIndex("");
    table.Open();
    std::exception_ptr tagFailure;
    try {
        ActivateSortTag(table, context.SortExpression());
    } catch (...) {
        tagFailure = std::current_exception();
        table.SetActiveIndex("");
    }
    table.SetFiltered(context.SearchOn());
    table.First();
    context.SetViewerOptions();
    if (tagFailure) std::rethrow_exception(tagFailure);
}

}  // namespace find
