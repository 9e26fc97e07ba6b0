#pragma once
// The photos a report prints, taken from the item table's attachments:
// an item's first attachment of the photo kind that reads as an image,
// read no larger than the report needs it.

#include "ReportWriter.h"

namespace attachments {
class AttachmentStore;
}

namespace reports {

// Photos of the store's items; the store must outlive the source. nullptr
// or a store without a table gives an empty source (no item has photos).
PhotoSource PhotosOf(const attachments::AttachmentStore* store);

}  // namespace reports
