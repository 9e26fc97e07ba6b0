#include "Expression.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "EngineError.h"

namespace store {

using V = ExprValue;

class ExprNode {
public:
    virtual ~ExprNode() = default;
    virtual V Eval(const RecordView& r) const = 0;
    // For a node whose value is text: appends the text to out, as Eval's
    // text would be, without a value of its own in between. Index keys are
    // built this way for every record the index orders.
    virtual void AppendText(const RecordView& r, std::string& out) const { out += Eval(r).text; }
    // Adds the fields this node reads.
    virtual void Fields(std::vector<int>& out) const { (void)out; }
    // The value when it is the same for every record, else null.
    virtual const V* Constant() const { return nullptr; }
    // AppendText, of which only the first n bytes are kept.
    virtual void AppendPrefix(const RecordView& r, std::string& out, size_t n) const {
        const size_t start = out.size();
        AppendText(r, out);
        if (out.size() - start > n) out.resize(start + n);
    }
    // The node's text as pieces of the record, when it is nothing else.
    virtual bool Pieces(const RecordLayout& layout, std::vector<KeyPiece>& out) const {
        (void)layout;
        (void)out;
        return false;
    }
};

namespace {

// Bounds that keep parsing and evaluation well within the stack: an index
// file may hold any expression, and a deep one must be an error, not a
// crash at every start.
constexpr size_t kMaxLength = 1024;
constexpr int kMaxDepth = 64;

// A number as an int within [lo, hi]; what is not a number counts as lo.
int ClampToInt(double v, int lo, int hi) {
    if (!(v >= lo)) return lo;
    if (v > hi) return hi;
    return int(v);
}

const long kFirstDay = Date{1, 1, 1}.DayNumber();
const long kLastDay = Date{9999, 12, 31}.DayNumber();

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    return s;
}

const char* TypeName(V::Type t) {
    switch (t) {
    case V::Type::String: return "text";
    case V::Type::Number: return "a number";
    case V::Type::Date: return "a date";
    case V::Type::Logical: return "a logical value";
    }
    return "?";
}

class Literal : public ExprNode {
public:
    explicit Literal(V v) : m_v(std::move(v)) {}
    V Eval(const RecordView&) const override { return m_v; }
    void AppendText(const RecordView&, std::string& out) const override { out += m_v.text; }
    const V* Constant() const override { return &m_v; }
private:
    V m_v;
};

class FieldRef : public ExprNode {
public:
    FieldRef(int index, FieldKind kind) : m_index(index), m_kind(kind) {}
    V Eval(const RecordView& r) const override {
        V v;
        switch (m_kind) {
        case FieldKind::Integer:
        case FieldKind::Float:
            v.type = V::Type::Number;
            v.number = r.Number(m_index);
            break;
        case FieldKind::Date: {
            v.type = V::Type::Date;
            const auto d = r.DateValue(m_index);
            v.blankDate = !d;
            if (d) v.day = d->DayNumber();
            break;
        }
        case FieldKind::Logical:
            v.type = V::Type::Logical;
            v.logical = r.Text(m_index) == "T";
            break;
        case FieldKind::Memo:
            v.type = V::Type::String;
            break;
        default:
            v.type = V::Type::String;
            v.text.assign(r.Raw(m_index));
            break;
        }
        return v;
    }
    void AppendText(const RecordView& r, std::string& out) const override {
        if (m_kind != FieldKind::Memo) out.append(r.Raw(m_index));
    }
    void AppendPrefix(const RecordView& r, std::string& out, size_t n) const override {
        if (m_kind != FieldKind::Memo) out.append(r.Raw(m_index).substr(0, n));
    }
    void Fields(std::vector<int>& out) const override { out.push_back(m_index); }
    bool Pieces(const RecordLayout& layout, std::vector<KeyPiece>& out) const override {
        if (m_kind != FieldKind::String) return false;
        out.push_back({uint32_t(layout.Offset(m_index)), uint32_t(layout.Field(m_index).length), KeyPiece::Case::Keep});
        return true;
    }
private:
    int m_index;
    FieldKind m_kind;
};

class Binary : public ExprNode {
public:
    Binary(char op, std::unique_ptr<ExprNode> a, std::unique_ptr<ExprNode> b)
        : m_op(op), m_a(std::move(a)), m_b(std::move(b)) {}
    V Eval(const RecordView& r) const override {
        V a = m_a->Eval(r);
        const V b = m_b->Eval(r);
        if (a.type == V::Type::String && b.type == V::Type::String) {
            if (m_op == '+') {
                a.text += b.text;
            } else {
                // dBASE "-": trailing blanks of the left side move to the end.
                size_t end = a.text.size();
                while (end > 0 && a.text[end - 1] == ' ') --end;
                const size_t blanks = a.text.size() - end;
                a.text.resize(end);
                a.text += b.text;
                a.text.append(blanks, ' ');
            }
            return a;
        }
        if (a.type == V::Type::Number && b.type == V::Type::Number) {
            a.number = m_op == '+' ? a.number + b.number : a.number - b.number;
            return a;
        }
        if (a.type == V::Type::Date && b.type == V::Type::Number) {
            if (!a.blankDate) {
                const double day = double(a.day) + (m_op == '+' ? b.number : -b.number);
                if (!(day >= double(kFirstDay) && day <= double(kLastDay)))
                    throw EngineError("The date arithmetic leaves the years 1 to 9999.");
                a.day = long(day);
            }
            return a;
        }
        if (a.type == V::Type::Date && b.type == V::Type::Date && m_op == '-') {
            V n;
            n.type = V::Type::Number;
            n.number = (a.blankDate || b.blankDate) ? 0 : double(a.day - b.day);
            return n;
        }
        throw EngineError(std::string("Operator ") + m_op + " cannot join " + TypeName(a.type) + " and " +
                          TypeName(b.type) + ".");
    }
    // Only ever asked of text joined to text.
    void AppendText(const RecordView& r, std::string& out) const override {
        const size_t start = out.size();
        m_a->AppendText(r, out);
        size_t blanks = 0;
        if (m_op == '-') {
            while (out.size() > start && out.back() == ' ') {
                out.pop_back();
                ++blanks;
            }
        }
        m_b->AppendText(r, out);
        out.append(blanks, ' ');
    }
    void Fields(std::vector<int>& out) const override {
        m_a->Fields(out);
        m_b->Fields(out);
    }
    bool Pieces(const RecordLayout& layout, std::vector<KeyPiece>& out) const override {
        return m_op == '+' && m_a->Pieces(layout, out) && m_b->Pieces(layout, out);
    }
private:
    char m_op;
    std::unique_ptr<ExprNode> m_a, m_b;
};

std::string StrOf(double n, int len, int dec) {
    if (len < 1) len = 1;
    if (len > 255) len = 255;
    if (dec < 0) dec = 0;
    if (dec > len) dec = len;
    char buf[512];
    std::snprintf(buf, sizeof buf, "%*.*f", len, dec, n);
    std::string s(buf);
    if (int(s.size()) > len) return std::string(size_t(len), '*');
    return s;
}

class Function : public ExprNode {
public:
    Function(std::string name, std::vector<std::unique_ptr<ExprNode>> args)
        : m_name(std::move(name)), m_op(OpOf(m_name)), m_args(std::move(args)) {}

    // Runs for every key of every record an index orders: the function is
    // known by number and its arguments live on the stack.
    V Eval(const RecordView& r) const override {
        V a[kMaxArgs];
        const size_t count = std::min(m_args.size(), kMaxArgs);
        for (size_t i = 0; i < count; ++i) a[i] = m_args[i]->Eval(r);
        V out;
        switch (m_op) {
        case Op::Upper:
        case Op::Lower:
            out = std::move(Need(a, 0, V::Type::String));
            for (char& c : out.text) {
                if (m_op == Op::Upper && c >= 'a' && c <= 'z') c = char(c - 32);
                if (m_op == Op::Lower && c >= 'A' && c <= 'Z') c = char(c + 32);
            }
            break;
        case Op::Left:
        case Op::Right: {
            out = std::move(Need(a, 0, V::Type::String));
            const size_t n = size_t(ClampToInt(Need(a, 1, V::Type::Number).number, 0, 65535));
            if (n < out.text.size()) {
                if (m_op == Op::Left) out.text.resize(n);
                else out.text.erase(0, out.text.size() - n);
            }
            break;
        }
        case Op::Substr: {
            out = std::move(Need(a, 0, V::Type::String));
            const int start = ClampToInt(Need(a, 1, V::Type::Number).number, 1, 65536);
            size_t len = std::string::npos;
            if (count > 2) len = size_t(ClampToInt(Need(a, 2, V::Type::Number).number, 0, 65535));
            if (size_t(start - 1) < out.text.size()) {
                out.text.erase(0, size_t(start - 1));
                if (len < out.text.size()) out.text.resize(len);
            } else {
                out.text.clear();
            }
            break;
        }
        case Op::Trim:
            out = std::move(Need(a, 0, V::Type::String));
            while (!out.text.empty() && out.text.back() == ' ') out.text.pop_back();
            break;
        case Op::LTrim: {
            out = std::move(Need(a, 0, V::Type::String));
            size_t i = 0;
            while (i < out.text.size() && out.text[i] == ' ') ++i;
            out.text.erase(0, i);
            break;
        }
        case Op::Str: {
            const double n = Need(a, 0, V::Type::Number).number;
            const int len = count > 1 ? ClampToInt(Need(a, 1, V::Type::Number).number, 1, 255) : 10;
            const int dec = count > 2 ? ClampToInt(Need(a, 2, V::Type::Number).number, 0, 255) : 0;
            out.type = V::Type::String;
            out.text = StrOf(n, len, dec);
            break;
        }
        case Op::Dtos:
        case Op::Dtoc: {
            const V& d = Need(a, 0, V::Type::Date);
            out.type = V::Type::String;
            if (d.blankDate) {
                const size_t width = m_op == Op::Dtos ? 8 : CurrentDateFormat().FormatPadded(Date{2000, 1, 1}).size();
                out.text = std::string(width, ' ');
            } else {
                const Date date = Date::FromDayNumber(d.day);
                out.text = m_op == Op::Dtos ? date.ToStorage() : CurrentDateFormat().FormatPadded(date);
            }
            break;
        }
        case Op::Val: {
            const V& s = Need(a, 0, V::Type::String);
            out.type = V::Type::Number;
            out.number = std::strtod(s.text.c_str(), nullptr);
            if (!std::isfinite(out.number)) out.number = 0;
            break;
        }
        }
        return out;
    }

    void AppendText(const RecordView& r, std::string& out) const override {
        const size_t start = out.size();
        switch (m_op) {
        case Op::Upper:
        case Op::Lower:
            m_args[0]->AppendText(r, out);
            for (size_t i = start; i < out.size(); ++i) {
                char& c = out[i];
                if (m_op == Op::Upper && c >= 'a' && c <= 'z') c = char(c - 32);
                if (m_op == Op::Lower && c >= 'A' && c <= 'Z') c = char(c + 32);
            }
            return;
        case Op::Left: {
            const size_t n = size_t(ClampToInt(NumberArgument(r, 1), 0, 65535));
            m_args[0]->AppendPrefix(r, out, n);
            return;
        }
        case Op::Right: {
            m_args[0]->AppendText(r, out);
            const size_t n = size_t(ClampToInt(NumberArgument(r, 1), 0, 65535));
            const size_t length = out.size() - start;
            if (n < length) {
                if (m_op == Op::Left) out.resize(start + n);
                else out.erase(start, length - n);
            }
            return;
        }
        case Op::Substr: {
            m_args[0]->AppendText(r, out);
            const size_t from = size_t(ClampToInt(NumberArgument(r, 1), 1, 65536) - 1);
            size_t len = std::string::npos;
            if (m_args.size() > 2) len = size_t(ClampToInt(NumberArgument(r, 2), 0, 65535));
            if (from < out.size() - start) {
                out.erase(start, from);
                if (len < out.size() - start) out.resize(start + len);
            } else {
                out.resize(start);
            }
            return;
        }
        case Op::Trim:
            m_args[0]->AppendText(r, out);
            while (out.size() > start && out.back() == ' ') out.pop_back();
            return;
        case Op::LTrim: {
            m_args[0]->AppendText(r, out);
            size_t i = start;
            while (i < out.size() && out[i] == ' ') ++i;
            out.erase(start, i - start);
            return;
        }
        default:
            out += Eval(r).text;
            return;
        }
    }
    void Fields(std::vector<int>& out) const override {
        for (const auto& a : m_args) a->Fields(out);
    }
    bool Pieces(const RecordLayout& layout, std::vector<KeyPiece>& out) const override {
        const size_t first = out.size();
        switch (m_op) {
        case Op::Upper:
        case Op::Lower:
            if (!m_args[0]->Pieces(layout, out)) return false;
            for (size_t i = first; i < out.size(); ++i)
                out[i].letterCase = m_op == Op::Upper ? KeyPiece::Case::Upper : KeyPiece::Case::Lower;
            return true;
        case Op::Left: {
            const V* c = m_args[1]->Constant();
            if (!c || c->type != V::Type::Number || !m_args[0]->Pieces(layout, out)) return false;
            size_t left = size_t(ClampToInt(c->number, 0, 65535));
            size_t i = first;
            for (; i < out.size() && left > 0; ++i) {
                out[i].length = uint32_t(std::min<size_t>(out[i].length, left));
                left -= out[i].length;
            }
            out.resize(i);
            return true;
        }
        default:
            return false;
        }
    }

    static int MinArgs(const std::string& f) {
        if (f == "LEFT" || f == "RIGHT" || f == "SUBSTR") return 2;
        return 1;
    }
    static int MaxArgs(const std::string& f) {
        if (f == "LEFT" || f == "RIGHT") return 2;
        if (f == "SUBSTR" || f == "STR") return 3;
        return 1;
    }
    static bool Known(const std::string& f) {
        static const char* kNames[] = {"UPPER", "LOWER", "LEFT", "RIGHT", "SUBSTR", "TRIM", "LTRIM",
                                       "RTRIM", "STR", "DTOS", "DTOC", "VAL"};
        for (const char* n : kNames)
            if (f == n) return true;
        return false;
    }

private:
    static constexpr size_t kMaxArgs = 3;
    enum class Op { Upper, Lower, Left, Right, Substr, Trim, LTrim, Str, Dtos, Dtoc, Val };

    static Op OpOf(const std::string& f) {
        if (f == "UPPER") return Op::Upper;
        if (f == "LOWER") return Op::Lower;
        if (f == "LEFT") return Op::Left;
        if (f == "RIGHT") return Op::Right;
        if (f == "SUBSTR") return Op::Substr;
        if (f == "TRIM" || f == "RTRIM") return Op::Trim;
        if (f == "LTRIM") return Op::LTrim;
        if (f == "STR") return Op::Str;
        if (f == "DTOS") return Op::Dtos;
        if (f == "DTOC") return Op::Dtoc;
        return Op::Val;
    }

    double NumberArgument(const RecordView& r, size_t i) const {
        // A length or place written as a number is read once, not per record.
        if (const V* c = m_args[i]->Constant(); c && c->type == V::Type::Number) return c->number;
        V v = m_args[i]->Eval(r);
        return Checked(v, i, V::Type::Number).number;
    }

    V& Need(V* a, size_t i, V::Type t) const { return Checked(a[i], i, t); }

    V& Checked(V& v, size_t i, V::Type t) const {
        if (v.type != t)
            throw EngineError("Function " + m_name + " expects " + TypeName(t) + " as argument " +
                              std::to_string(i + 1) + ", not " + TypeName(v.type) + ".");
        return v;
    }

    std::string m_name;
    Op m_op;
    std::vector<std::unique_ptr<ExprNode>> m_args;
};

class Parser {
public:
    Parser(std::string_view src, const RecordLayout& layout) : m_src(src), m_layout(layout) {}

    std::unique_ptr<ExprNode> Parse() {
        if (m_src.size() > kMaxLength)
            throw EngineError("Invalid index expression \"" + std::string(m_src.substr(0, 40)) + "...\": it is " +
                              std::to_string(m_src.size()) + " characters long; at most " +
                              std::to_string(kMaxLength) + " are allowed.");
        SkipBlanks();
        if (m_pos >= m_src.size()) Fail("the expression is empty");
        auto node = ParseSum();
        SkipBlanks();
        if (m_pos < m_src.size()) Fail("unexpected \"" + std::string(1, m_src[m_pos]) + "\"");
        return node;
    }

private:
    [[noreturn]] void Fail(const std::string& why) const {
        const std::string shown = m_src.size() > 80 ? std::string(m_src.substr(0, 60)) + "..." : std::string(m_src);
        throw EngineError("Invalid index expression \"" + shown + "\": " + why + ".");
    }

    void SkipBlanks() {
        while (m_pos < m_src.size() && (m_src[m_pos] == ' ' || m_src[m_pos] == '\t')) ++m_pos;
    }

    std::unique_ptr<ExprNode> ParseSum() {
        auto left = ParseTerm();
        for (;;) {
            SkipBlanks();
            if (m_pos < m_src.size() && (m_src[m_pos] == '+' || m_src[m_pos] == '-')) {
                const char op = m_src[m_pos++];
                auto right = ParseTerm();
                left = std::make_unique<Binary>(op, std::move(left), std::move(right));
            } else {
                return left;
            }
        }
    }

    // Counts the nesting of parentheses and function calls.
    struct Deeper {
        explicit Deeper(Parser& p) : m_p(p) {
            if (++m_p.m_depth > kMaxDepth)
                m_p.Fail("it nests parentheses and functions more than " + std::to_string(kMaxDepth) + " deep");
        }
        ~Deeper() { --m_p.m_depth; }
        Parser& m_p;
    };

    std::unique_ptr<ExprNode> ParseTerm() {
        const Deeper deeper(*this);
        SkipBlanks();
        if (m_pos >= m_src.size()) Fail("the expression ends too early");
        const char c = m_src[m_pos];
        if (c == '(') {
            ++m_pos;
            auto inner = ParseSum();
            SkipBlanks();
            if (m_pos >= m_src.size() || m_src[m_pos] != ')') Fail("a \")\" is missing");
            ++m_pos;
            return inner;
        }
        if (c == '"' || c == '\'' || c == '[') {
            const char close = c == '[' ? ']' : c;
            const size_t end = m_src.find(close, m_pos + 1);
            if (end == std::string_view::npos) Fail("a text literal is not closed");
            V v;
            v.text = std::string(m_src.substr(m_pos + 1, end - m_pos - 1));
            m_pos = end + 1;
            return std::make_unique<Literal>(v);
        }
        if ((c >= '0' && c <= '9') || c == '.') {
            const size_t start = m_pos;
            while (m_pos < m_src.size() && ((m_src[m_pos] >= '0' && m_src[m_pos] <= '9') || m_src[m_pos] == '.'))
                ++m_pos;
            const auto n = ParseNumber(m_src.substr(start, m_pos - start));
            if (!n) Fail("\"" + std::string(m_src.substr(start, m_pos - start)) + "\" is not a number");
            V v;
            v.type = V::Type::Number;
            v.number = *n;
            return std::make_unique<Literal>(v);
        }
        if (IsNameStart(c)) {
            const size_t start = m_pos;
            while (m_pos < m_src.size() && IsNameChar(m_src[m_pos])) ++m_pos;
            const std::string name(m_src.substr(start, m_pos - start));
            SkipBlanks();
            if (m_pos < m_src.size() && m_src[m_pos] == '(') {
                ++m_pos;
                const std::string fn = Upper(name);
                if (!Function::Known(fn)) Fail("unknown function " + name);
                std::vector<std::unique_ptr<ExprNode>> args;
                SkipBlanks();
                if (m_pos < m_src.size() && m_src[m_pos] == ')') {
                    ++m_pos;
                } else {
                    for (;;) {
                        args.push_back(ParseSum());
                        SkipBlanks();
                        if (m_pos < m_src.size() && m_src[m_pos] == ',') { ++m_pos; continue; }
                        if (m_pos < m_src.size() && m_src[m_pos] == ')') { ++m_pos; break; }
                        Fail("a \")\" is missing after the arguments of " + name);
                    }
                }
                if (int(args.size()) < Function::MinArgs(fn) || int(args.size()) > Function::MaxArgs(fn))
                    Fail("wrong number of arguments for " + name);
                return std::make_unique<Function>(fn, std::move(args));
            }
            const int index = m_layout.FieldIndex(name);
            if (index < 0) Fail("the table has no field " + name);
            return std::make_unique<FieldRef>(index, m_layout.Field(index).Kind());
        }
        Fail("unexpected \"" + std::string(1, c) + "\"");
    }

    static bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
    static bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9'); }

    std::string_view m_src;
    const RecordLayout& m_layout;
    size_t m_pos = 0;
    int m_depth = 0;
};

// Checks the expression's kinds once, on a blank record, so that a type
// error shows when the tag is defined and not while records are read.
V::Type CheckOnBlankRecord(const ExprNode& root, const RecordLayout& layout) {
    std::vector<char> blank(size_t(layout.RecordLength()), ' ');
    for (int i = 0; i < layout.FieldCount(); ++i) {
        const FieldDef& f = layout.Field(i);
        if (f.type == 'I' || f.type == 'Y' || f.type == 'O' || f.type == 'B' || f.type == 'T' || f.type == '+')
            std::memset(blank.data() + layout.Offset(i), 0, size_t(f.length));
    }
    return root.Eval(RecordView(blank.data(), layout)).type;
}

}  // namespace

Expression::Expression(std::string_view source, const RecordLayout& layout) : m_source(source) {
    m_root = Parser(source, layout).Parse();
    try {
        m_textKey = CheckOnBlankRecord(*m_root, layout) == V::Type::String;
        m_copied = m_textKey && m_root->Pieces(layout, m_pieces);
        if (!m_copied) m_pieces.clear();
        for (const KeyPiece& p : m_pieces) m_copiedLength += p.length;
    } catch (const EngineError& e) {
        throw EngineError("Invalid index expression \"" + m_source + "\": " + e.what());
    }
}

Expression::~Expression() = default;
Expression::Expression(Expression&&) noexcept = default;
Expression& Expression::operator=(Expression&&) noexcept = default;

ExprValue Expression::Evaluate(const RecordView& record) const { return m_root->Eval(record); }

std::vector<int> Expression::Fields() const {
    std::vector<int> out;
    m_root->Fields(out);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

namespace {

// Flips the letter case of the bytes of w that lie in first..last (ASCII
// letters), eight at a time: no byte's sum carries into the next.
uint64_t FlipCaseWithin(uint64_t w, unsigned char first, unsigned char last) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL;
    const uint64_t low7 = w & ~kHigh;
    const uint64_t atLeastFirst = low7 + kOnes * (0x80u - first);
    const uint64_t pastLast = low7 + kOnes * (0x80u - last - 1u);
    const uint64_t inRange = atLeastFirst & ~pastLast & ~w & kHigh;
    return w ^ (inRange >> 2);
}

uint64_t Load8(const char* at) {
    uint64_t w;
    std::memcpy(&w, at, 8);
    return w;
}

void Store8(char* at, uint64_t w) { std::memcpy(at, &w, 8); }

// Copies length bytes, flipping the case of those in first..last; eight at a
// time, the last eight overlapping the ones before.
void CopyFlipped(const char* from, char* out, size_t length, unsigned char first, unsigned char last) {
    if (length < 8) {
        for (size_t i = 0; i < length; ++i) {
            const auto c = static_cast<unsigned char>(from[i]);
            out[i] = char(c >= first && c <= last ? c ^ 0x20 : c);
        }
        return;
    }
    size_t i = 0;
    for (; i + 8 <= length; i += 8) Store8(out + i, FlipCaseWithin(Load8(from + i), first, last));
    if (i < length) Store8(out + length - 8, FlipCaseWithin(Load8(from + length - 8), first, last));
}

}  // namespace

void Expression::CopyKey(const char* record, char* out) const {
    for (const KeyPiece& p : m_pieces) {
        const char* from = record + p.offset;
        switch (p.letterCase) {
        case KeyPiece::Case::Keep: std::memcpy(out, from, p.length); break;
        case KeyPiece::Case::Upper: CopyFlipped(from, out, p.length, 'a', 'z'); break;
        case KeyPiece::Case::Lower: CopyFlipped(from, out, p.length, 'A', 'Z'); break;
        }
        out += p.length;
    }
}

void Expression::Key(const RecordView& record, std::string& out) const {
    if (m_copied) {
        out.resize(m_copiedLength);
        CopyKey(record.Data(), out.data());
        return;
    }
    if (m_textKey) {
        out.clear();
        m_root->AppendText(record, out);
        return;
    }
    const V v = m_root->Eval(record);
    switch (v.type) {
    case V::Type::String:
        out = v.text;
        break;
    case V::Type::Date:
        out = v.blankDate ? std::string(8, ' ') : Date::FromDayNumber(v.day).ToStorage();
        break;
    case V::Type::Logical:
        out = v.logical ? "T" : "F";
        break;
    case V::Type::Number: {
        // Order-preserving bytes of a double: flip the sign bit of positives,
        // every bit of negatives, then big-endian.
        uint64_t bits = 0;
        double d = v.number == 0 ? 0.0 : v.number;
        std::memcpy(&bits, &d, 8);
        bits = (bits & 0x8000000000000000ULL) ? ~bits : (bits | 0x8000000000000000ULL);
        out.resize(8);
        for (int i = 0; i < 8; ++i) out[size_t(i)] = char((bits >> (56 - 8 * i)) & 0xFF);
        break;
    }
    }
}

}  // namespace store
