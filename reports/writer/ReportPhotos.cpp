#include "ReportPhotos.h"

#include "AttachmentImages.h"
#include "AttachmentStore.h"

namespace reports {

PhotoSource PhotosOf(const attachments::AttachmentStore* store) {
    if (!store || !store->Attached()) return {};
    return [store](uint32_t recno, const QSize& bound) -> std::optional<ItemPhoto> {
        for (const attachments::Attachment& a : store->Of(recno)) {
            if (a.kind != attachments::Kind::Photo) continue;
            // A photo that cannot be read (gone, damaged) gives way to the next.
            QImage image = attachments::LoadScaledImage(QString::fromStdString(store->PathOf(a)), bound, true);
            if (image.isNull()) continue;
            return ItemPhoto{std::move(image), QString::fromStdString(a.caption)};
        }
        return std::nullopt;
    };
}

}  // namespace reports
