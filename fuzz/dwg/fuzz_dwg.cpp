// Feeds arbitrary bytes to the drawing preview reader as a whole drawing,
// and scales whatever picture comes out in the mode the first byte picks.
#include "core/documents/dwgpreview.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The image reader's complaints about broken pictures would flood the log.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const kestrune::DwgPreview preview = kestrune::readDwgPreviewData(bytes);
    if (preview.ok()) {
        const int mode = size ? 1 + data[0] % 4 : 4;
        kestrune::stretchImage(preview.image, QSize(17, 11), mode);
        kestrune::stretchImage(preview.image, QSize(preview.image.width() * 2 + 1, 3), mode);
    } else if (preview.reason().isEmpty()) {
        __builtin_trap();  // every failure carries a reason
    }
    return 0;
}
