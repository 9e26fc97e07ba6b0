#pragma once
// dBASE key expressions, as index tags are defined by them: field names,
// string and number literals, "+" and "-", parentheses and the functions
// UPPER, LOWER, LEFT, RIGHT, SUBSTR, TRIM, LTRIM, RTRIM, STR, DTOS, DTOC and
// VAL (names in any letter case). An expression is compiled once against a
// table's record layout and then evaluated per record.

#include <cstdint>
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

// A stretch of a text key copied from a character field: its first bytes,
// maybe upper- or lower-cased (letters a to z only, as UPPER and LOWER do).
struct KeyPiece {
    enum class Case : uint8_t { Keep, Upper, Lower };
    uint32_t offset = 0;  // within the record
    uint32_t length = 0;
    Case letterCase = Case::Keep;
};

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
    // True when every key is character fields' bytes, cut and cased
    // (UPPER(LEFT(Category,20))+Item): a key is then copied from the
    // record, always CopiedKeyLength() bytes long, without evaluating.
    bool CopiesKey() const { return m_copied; }
    size_t CopiedKeyLength() const { return m_copiedLength; }
    // Writes the key of the record's bytes to out, CopiedKeyLength() of
    // them. Only for an expression that CopiesKey().
    void CopyKey(const char* record, char* out) const;

private:
    std::string m_source;
    std::unique_ptr<ExprNode> m_root;
    bool m_textKey = false;  // the value is text: keys are appended piece by piece
    bool m_copied = false;
    size_t m_copiedLength = 0;
    std::vector<KeyPiece> m_pieces;
};

}  // namespace store
