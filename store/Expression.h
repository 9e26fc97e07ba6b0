#pragma once
// dBASE key expressions, as index tags are defined by them: field names,
// string and number literals, "+" and "-", parentheses and the functions
// UPPER, LOWER, LEFT, RIGHT, SUBSTR, TRIM, LTRIM, RTRIM, STR, DTOS, DTOC and
// VAL (names in any letter case). An expression is compiled once against a
// table's record layout and then evaluated per record.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "RecordLayout.h"

namespace store {

struct ExprValue {
    enum class Type { String, Number, Date, Logical };
    Type type = Type::String;
    std::string text;      // String: bytes in the table's code page
    double number = 0;     // Number
    long day = 0;          // Date: day number
    bool blankDate = true; // Date: no date
    bool logical = false;  // Logical
};

class ExprNode;

class Expression {
public:
    // Throws EngineError with a clear message on a syntax error, an unknown
    // field or function, or arguments of the wrong kind.
    Expression(std::string_view source, const RecordLayout& layout);
    ~Expression();
    Expression(Expression&&) noexcept;
    Expression& operator=(Expression&&) noexcept;

    const std::string& Source() const { return m_source; }
    ExprValue Evaluate(const RecordView& record) const;
    // The fields the expression reads, by index, each once.
    std::vector<int> Fields() const;
    // The index key of a record: bytes that compare with memcmp in the
    // order dBASE gives the expression's values (strings by code-page
    // bytes, numbers by value, dates by DTOS).
    void Key(const RecordView& record, std::string& out) const;

private:
    std::string m_source;
    std::unique_ptr<ExprNode> m_root;
    bool m_textKey = false;  // the value is text: keys are appended piece by piece
};

}  // namespace store
