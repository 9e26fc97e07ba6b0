// Any bytes as the settings file. Reading gives a complete settings record
// (missing or malformed values give their defaults), and saving settles: a
// hand-edited file read and saved, read and saved again, stays as it is
// from then on instead of drifting with every start of the program.

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

namespace {

// The text a settings record saves into a file that held text.
QString SavedOver(const QString& text) {
    common::Settings settings;
    const common::IniFile ini = common::IniFile::FromText(text);
    settings.ReadFrom(ini);
    common::IniFile written = ini;
    settings.WriteTo(written);
    return written.ToText();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    // A value cut to its length may end in a blank that the next read
    // drops, so the first save may still change once; the second may not.
    const QString once = SavedOver(common::TextFile::Decode(bytes));
    const QString twice = SavedOver(once);
    const QString thrice = SavedOver(twice);
    if (thrice != twice) {
        // The first line that changed, to see which setting drifts.
        const QStringList a = twice.split(QLatin1Char('\n')), b = thrice.split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i)
            if (a[i] != b[i]) {
                std::fprintf(stderr, "saved:    %s\nre-saved: %s\n", qPrintable(a[i]), qPrintable(b[i]));
                break;
            }
        fuzzsupport::Require(false, "settings keep changing with every save");
    }
    return 0;
}
