#include "SortExpression.h"

#include "ItemSchema.h"
#include "Table.h"

namespace find {

namespace {

bool SameTagName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = char(x - 32);
        if (y >= 'a' && y <= 'z') y = char(y - 32);
        if (x != y) return false;
    }
    return true;
}

}  // namespace

std::string BuildSortString(const std::array<int, 4>& positions) {
    std::string expr;
    for (int pos : positions) {
        if (pos < 1 || pos > store::kItemFieldCount) continue;
        const store::SchemaField& f = store::SchemaAt(pos);
        const std::string name(f.name);
        switch (f.typeCode) {
        case 1: expr += "Upper(Left(" + name + ",20))+"; break;
        case 2: expr += "STR(" + name + ",8,0)+"; break;
        case 3: expr += "STR(" + name + ",12,2)+"; break;
        case 4: expr += "DTOS(" + name + ")+"; break;
        default: break;
        }
    }
    if (!expr.empty()) expr.pop_back();
    return expr;
}

bool HasSortTag(const store::Table& table) {
    for (const std::string& name : table.IndexNames())
        if (SameTagName(name, kSortTagName)) return true;
    return false;
}

void RebuildSortTag(store::Table& table, const std::string& expression) {
    table.SetActiveIndex("");
    if (expression.empty()) return;
    if (HasSortTag(table)) table.DeleteIndex(kSortTagName);
    table.AddIndex(kSortTagName, expression);
    table.SetActiveIndex(kSortTagName);
}

void ActivateSortTag(store::Table& table, const std::string& expression) {
    if (expression.empty()) {
        table.SetActiveIndex("");
        return;
    }
    if (HasSortTag(table) && table.IndexExpression(kSortTagName) == expression)
        table.SetActiveIndex(kSortTagName);
    else
        RebuildSortTag(table, expression);
}

void OpenInSortOrder(store::Table& table, const std::string& expression, bool rebuildSortTag) {
    table.SetExclusive(false);
    table.SetReadOnly(false);
    table.SetActiveIndex("");
    table.Open();
    if (rebuildSortTag)
        RebuildSortTag(table, expression);
    else
        ActivateSortTag(table, expression);
}

}  // namespace find
