#include "DefaultReports.h"

#include <initializer_list>

#include "ItemSchema.h"

namespace reports {
namespace {

// One item as the default reports spell it.
ReportItem F(int width) {
    ReportItem item;
    item.width = width;
    return item;
}

ReportItem L(const char* label, int width) {
    ReportItem item;
    item.text = std::string(kLabel);
    item.label = label;
    item.width = width;
    return item;
}

// A field of the item table, by its schema name.
ReportItem D(const char* field, int width) {
    ReportItem item;
    item.text = field;
    item.number = store::SchemaPosition(field);
    item.width = width;
    return item;
}

// A total, by its name.
ReportItem T(const char* total, int width) {
    ReportItem item;
    item.text = total;
    item.number = TotalsNumber(total);
    item.width = width;
    return item;
}

ReportLine Line(std::initializer_list<ReportItem> items) {
    ReportLine line;
    size_t i = 0;
    for (const ReportItem& item : items) line[i++] = item;
    return line;
}

const ReportLine& EmptyLine() {
    static const ReportLine line = Line({F(150)});
    return line;
}

ReportDefinition Default(const char* name, int width, bool columnHeaders, bool gridLines,
                         std::initializer_list<ReportLine> lines) {
    ReportDefinition d;
    d.name = name;
    d.width = width;
    for (ReportFont& f : d.fonts) {
        f = ReportFont{};
        f.name = "Arial";
        f.size = width == 90 ? 10 : 8;
    }
    d.columnHeaders = columnHeaders;
    d.pageNumbers = true;
    d.landscape = false;
    d.dateOnPages = true;
    d.useTotals = true;
    d.lines = int(lines.size());
    d.totals = Line({L("Cost:", 10), F(1), T("Cost", 12), L("Replacement Cost:", 19), F(1),
                     T("Replacement Cost", 12), L("Value:", 8), F(1), T("Value", 12), F(60)});
    d.verticalLines = gridLines;
    d.horizontalLines = gridLines;
    d.body.fill(EmptyLine());
    size_t n = 0;
    for (const ReportLine& line : lines) d.body[n++] = line;
    d.groupLevel1 = true;
    d.groupLevel2 = false;
    return d;
}

}  // namespace

std::vector<ReportDefinition> DefaultReportDefinitions() {
    const ReportLine itemLocationCategory = Line({L("Item:", 5), F(1), D("Item", 40), L("Location:", 11), F(1),
                                                  D("Location", 30), L("Category:", 11), F(1), D("Category", 20)});
    const ReportLine brandModelCost =
        Line({L("Brand:", 6), F(1), D("Brand", 20), L("Model:", 8), F(1), D("Model", 15), L("Serial:", 9), F(1),
              D("Serial", 14), L("Cost:", 7), F(1), D("Cost", 12), L("Rep Cost:", 11), F(1), D("RepCost", 12)});
    const ReportLine description = Line({L("Desc:", 5), F(1), D("Descriptio", 110)});

    std::vector<ReportDefinition> all;
    all.push_back(Default("Short Narrow Report", 90, true, true,
                          {Line({D("Item", 32), D("Location", 17), D("Cost", 14), D("RepCost", 14),
                                 D("Quantity", 13)})}));
    all.push_back(Default("Short Wide Report", 120, true, true,
                          {Line({D("Item", 26), D("Brand", 12), D("Model", 12), D("Serial", 12), D("Location", 17),
                                 D("Cost", 14), D("RepCost", 14), D("Quantity", 13)})}));
    all.push_back(Default("Medium Report", 120, false, false, {itemLocationCategory, brandModelCost}));
    all.push_back(Default("Medium Large Report", 120, false, false,
                          {itemLocationCategory, brandModelCost, description, EmptyLine()}));
    all.push_back(Default(
        "Full Report", 120, false, false,
        {itemLocationCategory,
         Line({L("Brand:", 6), F(1), D("Brand", 20), L("Model:", 8), F(1), D("Model", 15), L("Serial:", 9), F(1),
               D("Serial", 20), L("Owner:", 8), F(1), D("Owner", 30)}),
         description,
         Line({L("Cost:", 5), F(1), D("Cost", 13), L("Rep. Cost:", 11), F(1), D("RepCost", 13), L("Value:", 8), F(1),
               D("Value", 13), L("Purch From:", 13), F(1), D("BoughtFrom", 40)}),
         Line({L("Purch Date:", 11), F(1), D("PurchDate", 11), L("Warranty:", 12), F(1), D("Warranty", 3),
               L("Expiration Date:", 19), F(1), D("WarDate", 11), L("Warranty Notes:", 18), F(1),
               D("WarNotes", 30)}),
         Line({L("ID Marks:", 9), F(1), D("IDMarks", 60), L("Quantity:", 11), F(1), D("Quantity", 10)}),
         EmptyLine()}));
    ReportDefinition warranty = Default("Warranty Report", 120, true, false,
                                        {Line({D("Item", 30), F(2), D("Location", 15), F(2), D("PurchDate", 11), F(2),
                                               D("Warranty", 3), F(2), D("WarDate", 11), F(2), D("WarNotes", 30)})});
    warranty.useTotals = false;
    warranty.totals = EmptyLine();
    all.push_back(warranty);
    all.push_back(Default("Location & Owner Report", 90, true, true,
                          {Line({D("Item", 33), D("Location", 30), D("Owner", 27)})}));
    all.push_back(Default("Statistics/Summary Report", 120, false, false, {}));
    return all;
}

}  // namespace reports
