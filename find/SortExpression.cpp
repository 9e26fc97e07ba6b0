#include "SortExpression.h"

#include "ItemSchema.h"

namespace find {

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

}  // namespace find
