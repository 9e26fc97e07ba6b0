#pragma once
// The small value types every part of the page engine shares: the
// enumerations of the report objects' properties, a column stop, the drawing
// state (font, pen, brush, text background, scale) that the recorded report
// keeps in step, and the operation codes of the recorded report.
//
// Lengths inside the engine are inches. The drawing state holds its lengths
// as 32-bit floats because that is how the recorded report stores them: a
// page drawn straight onto a device and the same page recorded and replayed
// then see exactly the same numbers, and so give the same pixels.

#include <QByteArray>
#include <QColor>
#include <QString>
#include <cstdint>
#include <stdexcept>

namespace reports::engine {

enum class Units { unInch, unMM, unCM, unPoint, unUser };
enum class LineHeightMethod { lhmFont, lhmLinesPerInch };
enum class Orientation { poPortrait, poLandScape, poDefault };
enum class StreamMode { smMemory, smFile, smUser };
// How the grey border around a previewed page is sized: fixed in screen
// pixels (computed at 100 %) or growing with the zoom.
enum class MarginMethod { mmFixed, mmScaled };

// Alignment of text in a column stop or across the page, as the callers
// number it.
enum class Align : uint8_t { Centre = 0, Left = 1, Right = 2 };

enum class FontPitch : uint8_t { Default = 0, Fixed = 1, Variable = 2 };
enum class PenStyle : uint8_t { Solid = 0, Dash = 1, Dot = 2, DashDot = 3, DashDotDot = 4, Clear = 5, InsideFrame = 6 };
// Copy paints the pen's colour; Xor inverts what lies beneath on devices
// that can (images), and paints plainly elsewhere.
enum class PenMode : uint8_t { Copy = 0, Xor = 1 };
enum class BrushStyle : uint8_t {
    Solid = 0, Clear = 1, Horizontal = 2, Vertical = 3, FDiagonal = 4, BDiagonal = 5, Cross = 6, DiagCross = 7
};
// The kind byte in front of a stored picture.
enum class PictureKind : uint8_t { None = 0, Bitmap = 1, Metafile = 2, Icon = 3, Other = 4 };

// Border mask bits of a column stop.
enum BorderBits : uint8_t { BorderLeft = 1, BorderRight = 2, BorderTop = 4, BorderBottom = 8 };

// Colours are kept as Windows colour integers, 0x00BBGGRR, as the recorded
// report stores them.
using ColourRef = uint32_t;
ColourRef ToColourRef(const QColor& colour);
QColor FromColourRef(ColourRef colour);
constexpr ColourRef kBlack = 0x000000;
constexpr ColourRef kWhite = 0xFFFFFF;

struct ColumnStop {
    double left = 0;         // inches from the paper's left edge
    Align align = Align::Left;
    double width = 0;        // inches
    double innerMargin = 0;  // inches
    uint8_t borders = 0;     // BorderBits
    int shade = 0;           // percent, 0 none
};

struct FontState {
    QString name = QStringLiteral("Arial");
    float height = float(10.0 / 72.0);  // em height in inches (point size / 72)
    ColourRef colour = kBlack;
    FontPitch pitch = FontPitch::Default;
    bool bold = false;
    bool underline = false;
    bool italic = false;
    bool strikeout = false;
    bool operator==(const FontState&) const = default;
};

struct PenState {
    ColourRef colour = kBlack;
    PenMode mode = PenMode::Copy;
    PenStyle style = PenStyle::Solid;
    float width = 0;  // inches; 0 is the thinnest line the device draws well
    bool operator==(const PenState&) const = default;
};

struct BrushState {
    ColourRef colour = kWhite;
    BrushStyle style = BrushStyle::Solid;
    PictureKind pictureKind = PictureKind::None;  // a texture replaces the colour
    QByteArray picture;                           // PNG bytes for a bitmap
    bool operator==(const BrushState&) const = default;
};

struct DrawState {
    FontState font;
    PenState pen;
    BrushState brush;
    float scaleX = 100;  // percent
    float scaleY = 100;
    bool opaqueText = false;           // text drawn on its background colour
    ColourRef background = kWhite;
    bool operator==(const DrawState&) const = default;
};

// A fault the engine reports with a clear message: a recorded report that
// cannot be read (truncated, corrupted, its page chain broken) or written,
// a printer or file that cannot be opened.
class ReportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Operation codes of the recorded report. Every record is one code byte
// followed by its operands: integers are 32-bit little-endian, lengths and
// positions 32-bit floats in inches from the paper's edges, colours 32-bit
// 0x00BBGGRR, flags and small enumerations one byte, texts one length byte
// and up to 255 bytes of UTF-8.
namespace op {
// Text on the current line: y, text, x. Centred on x, starting at x, ending at x.
constexpr uint8_t TextCentre = 23;
constexpr uint8_t TextLeft = 24;
constexpr uint8_t TextRight = 25;
constexpr uint8_t TextOpaque = 26;      // byte: text drawn on the background colour
constexpr uint8_t BackColour = 27;      // colour
constexpr uint8_t ScaleX = 28;          // float percent
constexpr uint8_t ScaleY = 29;          // float percent
constexpr uint8_t BrushColour = 41;     // colour
constexpr uint8_t BrushStyle = 42;      // byte
constexpr uint8_t BrushPicture = 43;    // picture: kind byte, int32 length, bytes
constexpr uint8_t FontName = 51;        // text
constexpr uint8_t FontColour = 52;      // colour
constexpr uint8_t FontPitch = 53;       // byte
constexpr uint8_t FontHeight = 54;      // float inches
constexpr uint8_t FontBold = 55;        // byte
constexpr uint8_t FontUnderline = 56;   // byte
constexpr uint8_t FontItalic = 57;      // byte
constexpr uint8_t FontStrikeout = 58;   // byte
constexpr uint8_t PenColour = 71;       // colour
constexpr uint8_t PenMode = 72;         // byte
constexpr uint8_t PenStyle = 73;        // byte
constexpr uint8_t PenWidth = 74;        // float inches
// Page header: int32 position of the previous page header (0 for the first
// page), int32 position of the next one (0 on the last page), int32 page
// number, orientation byte; followed by the whole drawing state.
constexpr uint8_t PageHeader = 80;
// Report header, once at the start: int32 page count, int32 first page,
// int32 last page, float paper width and height, four floats of unprintable
// edges (left, top, right, bottom), orientation byte (0 portrait,
// 1 landscape), int32 copies, int32 paper size, int32 paper length and
// int32 paper width (tenths of a millimetre), text output port.
constexpr uint8_t ReportHeader = 81;
constexpr uint8_t PageEnd = 82;
// Drawing of our own.
constexpr uint8_t Line = 90;       // x1, y1, x2, y2 with the pen
constexpr uint8_t Rectangle = 91;  // x1, y1, x2, y2: outlined with the pen, filled with the brush
// A column cell: x1, y1, x2, y2, int32 fill colour (-1 none), border mask
// byte; the borders are drawn thin in the pen's colour.
constexpr uint8_t Cell = 92;
constexpr uint8_t Picture = 93;    // x1, y1, x2, y2, picture
// Text longer than a length byte holds: alignment byte, y, int32 length,
// UTF-8 bytes, x.
constexpr uint8_t LongText = 94;
}  // namespace op

}  // namespace reports::engine
