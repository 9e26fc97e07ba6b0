// Any bytes as the settings file. Reading gives a complete settings record
// (missing or malformed values give their defaults); what is read, written
// back and read again stays the same, so a hand-edited file settles after
// one save instead of drifting.

#include <QByteArray>

#include "FuzzSupport.h"
#include "IniFile.h"
#include "QtForFuzzing.h"
#include "Settings.h"
#include "TextFile.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzsupport::StartGuiApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const common::IniFile ini = common::IniFile::FromText(common::TextFile::Decode(bytes));
    common::Settings read;
    read.ReadFrom(ini);

    common::IniFile written = ini;
    read.WriteTo(written);
    const QString once = written.ToText();
    common::Settings again;
    again.ReadFrom(common::IniFile::FromText(once));
    common::IniFile rewritten = common::IniFile::FromText(once);
    again.WriteTo(rewritten);
    fuzzsupport::Require(rewritten.ToText() == once, "settings read back from a saved file differ from those saved");
    return 0;
}
