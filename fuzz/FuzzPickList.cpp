// Any bytes as a pick-list file. Reading gives entries under the list
// rules (no empty or all-blank entry, none longer than a line may be), and
// the entries written out and read again are the same entries.

#include <QByteArray>
#include <QRegularExpression>

#include "FuzzSupport.h"
#include "PickListFile.h"
#include "TextFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList entries = items::PickListFile::Parse(common::TextFile::Decode(bytes));
    for (const QString& e : entries) {
        fuzzsupport::Require(e.contains(QRegularExpression(QStringLiteral("[^ ]"))), "an empty entry was read");
        fuzzsupport::Require(e.size() <= items::PickListFile::kLineLimit, "an entry longer than a line was read");
    }
    const QStringList again = items::PickListFile::Parse(common::TextFile::Decode(
        common::TextFile::Encode(items::PickListFile::Format(entries))));
    fuzzsupport::Require(again == entries, "entries written and read again differ");

    QStringList grown = entries;
    (void)items::PickListFile::AddToList(grown, entries.value(0) + QStringLiteral(" x"));
    return 0;
}
