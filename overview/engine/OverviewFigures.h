#pragma once
// What an inventory is worth and where, and which warranties end soon: the
// figures of the Overview, from one pass over the items given (the ones a
// search delivers, or all). Amounts count each item's Quantity times, as
// the reports total them: an empty, zero or malformed Quantity or amount
// counts as nothing, a fraction of a Quantity is dropped.
//
// No widgets: the window and the command line show the same figures.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "DateFormat.h"
#include "Table.h"

namespace overview {

enum class Amount { Cost, ReplacementCost, Value };

struct Group {
    std::string name;  // empty for the items that have none
    double amount = 0;  // of the chosen amount
    uint64_t items = 0;
    bool other = false;  // the groups past the largest ones, gathered
};

struct PurchaseYear {
    int year = 0;
    uint64_t items = 0;
    double cost = 0;
};

struct Warranty {
    uint32_t record = 0;
    std::string item, brand, location;
    store::Date date;
};

struct Figures {
    uint64_t items = 0;
    uint64_t withoutAmount = 0;  // Cost, Replacement Cost and Value all nothing
    double cost = 0, replacementCost = 0, value = 0;
    // Largest first (by amount, then name); past kMostGroups groups the
    // rest are gathered in one, marked other, at the end.
    std::vector<Group> byCategory, byLocation, byOwner;
    std::vector<PurchaseYear> byYear;  // in year order; items without a purchase date are left out
    uint64_t withoutPurchaseDate = 0;
    // By date, then record: ending from today to days ahead, and ended in
    // the kEndedDays before today. Items without a warranty date never.
    std::vector<Warranty> endingSoon, endedLately;
};

inline constexpr size_t kMostGroups = 12;
inline constexpr int kEndedDays = 30;

struct Request {
    std::vector<uint32_t> records;  // the items to count
    Amount amount = Amount::Value;  // what the groups add up
    store::Date today;
    int days = 90;  // how far ahead a warranty's end is soon
};

// Called now and then with the records done; false stops the pass.
using ProgressFn = std::function<bool(uint64_t done, uint64_t total)>;

// Empty when stopped. Precondition: the item table is open.
std::optional<Figures> ComputeFigures(store::Table& items, const Request& request, const ProgressFn& progress = {});

// The figures as comma-separated values (RFC 4180, UTF-8), one figure a
// row under "Section,Name,Items,Amount,Brand,Location,Date": the totals,
// the three groupings ("(none)" for items without, "Other" for the rest),
// the purchase years ("(no date)"), the warranties ending and ended.
// Amounts with two decimals and a point, dates as yyyy-mm-dd.
std::string FiguresCsv(const Figures& figures);
// An amount as the figures are written: two decimals and a point.
std::string TwoDecimals(double amount);
// Written whole or not at all; false with *error set.
bool WriteFiguresCsv(const Figures& figures, const std::string& path, std::string* error);

}  // namespace overview
