#include "DateFormats.h"

namespace common {

const std::array<DateFormatChoice, 12>& DateFormats::Choices() {
    static const std::array<DateFormatChoice, 12> kChoices = {{
        {1, "mm/dd/yy", '/', "m/d/y"},
        {2, "mm-dd-yy", '-', "m/d/y"},
        {3, "mm.dd.yy", '.', "m/d/y"},
        {4, "dd/mm/yy", '/', "d/m/y"},
        {5, "dd-mm-yy", '-', "d/m/y"},
        {6, "dd.mm.yy", '.', "d/m/y"},
        {7, "mm/dd/yyyy", '/', "m/d/yyyy"},
        {8, "mm-dd-yyyy", '-', "m/d/yyyy"},
        {9, "mm.dd.yyyy", '.', "m/d/yyyy"},
        {10, "dd/mm/yyyy", '/', "d/m/yyyy"},
        {11, "dd-mm-yyyy", '-', "d/m/yyyy"},
        {12, "dd.mm.yyyy", '.', "d/m/yyyy"},
    }};
    return kChoices;
}

const DateFormatChoice& DateFormats::Choice(int number) {
    if (number < 1 || number > 12) number = 1;
    return Choices()[size_t(number - 1)];
}

store::DateFormat DateFormats::FormatFor(int number) {
    const DateFormatChoice& c = Choice(number);
    return store::DateFormat::FromPattern(c.shortFormat, c.separator);
}

bool DateFormats::Apply(int number) {
    if (number < 1 || number > 12) return false;
    store::SetCurrentDateFormat(FormatFor(number));
    return true;
}

QString DateFormats::Show(const store::Date& date) {
    return QString::fromStdString(store::CurrentDateFormat().Format(date));
}

std::optional<store::Date> DateFormats::Parse(const QString& text) {
    return store::CurrentDateFormat().Parse(text.toStdString());
}

}  // namespace common
