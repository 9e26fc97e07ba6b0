// Any bytes as a recorded report. Opening checks the whole stream and
// refuses a damaged one with a report error; a stream it accepts replays
// every page without reading past its end.

#include <QByteArray>
#include <QImage>
#include <QPainter>

#include "FuzzSupport.h"
#include "PageRenderer.h"
#include "QtForFuzzing.h"
#include "ReportStream.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzsupport::StartGuiApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace reports::engine;
    ReportStreamReader reader;
    try {
        reader.Open(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    } catch (const ReportError&) {
        return 0;
    }
    QImage image(34, 44, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int page = 0; page < reader.PageCount() && page < 8; ++page) {
        PageRenderer renderer(painter, 4, 4, 1.0);
        reader.ReplayPage(page, renderer);
    }
    return 0;
}
