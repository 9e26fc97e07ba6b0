#pragma once
// The item editor's Photos page: the item's photos, receipts and documents
// as thumbnails in a row, in their order, with the buttons that add files
// (several at once, or dropped from the desktop), remove one (after asking),
// move one left or right, and open one with the desktop's viewer, and the
// caption and kind of the one selected.
//
// A saved item's attachments change at once, each change a whole step in
// the attachments folder. A new item has no record yet: what is added waits
// on the page and is attached by the editor's first Update.
//
// Thumbnails come from the folder's cache when they are there; otherwise
// they are made on worker threads while the page shows a placeholder.

#include <QHash>
#include <QIcon>
#include <QImage>
#include <QSet>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Manifest.h"

class QComboBox;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace common {
class MainContext;
}

namespace attachments {
class AttachmentStore;
class ThumbnailCache;
}

namespace items {

class PhotosPage : public QWidget {
    Q_OBJECT

public:
    explicit PhotosPage(common::MainContext& context, QWidget* parent = nullptr);
    ~PhotosPage() override;

    // The attachments of a saved record.
    void ShowRecord(uint32_t recno);
    // A new record: nothing is attached until its first Update.
    void ShowNew();
    // Files added to a new record and not attached yet.
    bool HasPending() const { return !m_pending.empty(); }
    // Attaches the waiting files to the record just written and shows it;
    // false (the reason told) when they could not be: they keep waiting.
    bool SavePending(uint32_t recno);
    // Thumbnails grow with the window-size factor.
    void ApplyScale(double factor);

    // Handlers.
    void AddFiles();
    // Adds files (from the file dialog or a drop); returns whether any was.
    bool AddFiles(const QStringList& paths);
    void RemoveSelected();
    void MoveSelectedLeft();
    void MoveSelectedRight();
    void OpenSelectedWithViewer();
    void StoreCaption();
    void StoreKind(int index);
    void ShowSelected();

    // The attachments shown, in order (saved or waiting).
    std::vector<attachments::Attachment> Shown() const;
    int SelectedIndex() const;
    void Select(int index);
    // The thumbnail kind an entry of the row shows: "photo", "loading",
    // "document" or "missing".
    QString ThumbnailKind(int index) const;
    // Waits for thumbnails being made and lets the page take them (tests).
    void WaitForThumbnails();

    QListWidget* Strip = nullptr;
    QLineEdit* Caption = nullptr;
    QComboBox* KindBox = nullptr;
    QPushButton* AddButton = nullptr;
    QPushButton* RemoveButton = nullptr;
    QPushButton* MoveLeftButton = nullptr;
    QPushButton* MoveRightButton = nullptr;
    QPushButton* ViewButton = nullptr;
    QLabel* CaptionLab = nullptr;
    QLabel* KindLab = nullptr;
    QLabel* CountLabel = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // A file waiting for the new record's first Update.
    struct Pending {
        QString path;
        attachments::Attachment shown;
    };

    attachments::AttachmentStore* Store() const;
    // Rebuilds the row; the selection goes to select (or stays in range).
    void Fill(int select);
    void UpdateControls();
    // The file of entry index: a stored file, or one waiting to be added.
    QString PathAt(int index) const;
    QIcon IconFor(int index, const attachments::Attachment& a);
    void ThumbnailReady(const QString& key, const QImage& image);
    void ThumbnailUnreadable(const QString& key);
    // Runs a change of a saved item; a refusal is told and the row shown again.
    bool Apply(const std::function<void()>& change, int select);
    void Move(int by);
    // Whether new files can be stored now; the reason is told when not.
    bool CanStore();
    // The thumbnail cache for the store's folder at the current size.
    attachments::ThumbnailCache* Thumbs();
    // The key a thumbnail is kept under: the stored name, or the path of a
    // file waiting.
    QString KeyOf(int index) const;
    static QStringList LocalFiles(const QMimeData* data);

    common::MainContext& m_context;
    std::optional<uint32_t> m_recno;
    std::vector<Pending> m_pending;
    std::unique_ptr<attachments::ThumbnailCache> m_thumbs;
    QHash<QString, QImage> m_images;
    QSet<QString> m_unreadable;
    int m_iconSize = 96;
    // The entry the caption and kind boxes show.
    int m_shownIndex = -1;
    bool m_filling = false;
};

}  // namespace items
