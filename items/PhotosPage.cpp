#include "PhotosPage.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>
#include <cmath>

#include "AttachmentImages.h"
#include "AttachmentStore.h"
#include "FolderFiles.h"
#include "MainContext.h"
#include "UiServices.h"

namespace items {

namespace {

using attachments::Attachment;
using attachments::AttachmentError;
using attachments::Kind;
using common::Answer;
using common::Buttons;
using common::MessageIcon;
using common::Ui;

const QString kTitle = QStringLiteral("Photos");
constexpr int kBaseIconSize = 96;
// Roles of an entry of the row.
constexpr int kKeyRole = Qt::UserRole + 1;
constexpr int kStateRole = Qt::UserRole + 2;

const Kind kKinds[] = {Kind::Photo, Kind::Receipt, Kind::Document};

QString FromStd(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string ToStd(const QString& s) { return s.toUtf8().toStdString(); }

// A square of the icon size with the picture centred, so that the row's
// entries line up whatever their proportions.
QPixmap Framed(const QImage& image, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    const QImage fitted = image.width() > size || image.height() > size
                              ? image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                              : image;
    p.drawImage((size - fitted.width()) / 2, (size - fitted.height()) / 2, fitted);
    return pixmap;
}

// A sheet of paper with the file's extension on it: receipts as PDF,
// documents, and files that are no readable image.
QPixmap DocumentPicture(int size, const QString& extension) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = size * 0.62, h = size * 0.82, x = (size - w) / 2, y = (size - h) / 2, fold = size * 0.16;
    QPolygonF sheet;
    sheet << QPointF(x, y) << QPointF(x + w - fold, y) << QPointF(x + w, y + fold) << QPointF(x + w, y + h)
          << QPointF(x, y + h);
    p.setPen(QPen(QColor(90, 90, 90), 1.5));
    p.setBrush(Qt::white);
    p.drawPolygon(sheet);
    p.drawPolyline(QPolygonF() << QPointF(x + w - fold, y) << QPointF(x + w - fold, y + fold)
                               << QPointF(x + w, y + fold));
    for (int i = 0; i < 3; ++i) {
        const qreal ly = y + h * (0.3 + 0.1 * i);
        p.drawLine(QPointF(x + w * 0.15, ly), QPointF(x + w * 0.85, ly));
    }
    if (!extension.isEmpty()) {
        QFont font = p.font();
        font.setBold(true);
        font.setPixelSize(std::max(8, size / 7));
        p.setFont(font);
        p.setPen(QColor(160, 30, 30));
        p.drawText(QRectF(x, y + h * 0.58, w, h * 0.3), Qt::AlignCenter, extension.toUpper().left(5));
    }
    return pixmap;
}

// A dashed frame that says the file is gone.
QPixmap MissingPicture(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QPen(QColor(170, 40, 40), 2, Qt::DashLine));
    p.drawRect(QRectF(3, 3, size - 6, size - 6));
    QFont font = p.font();
    font.setPixelSize(std::max(8, size / 7));
    p.setFont(font);
    p.drawText(QRectF(0, 0, size, size), Qt::AlignCenter | Qt::TextWordWrap, QStringLiteral("File\nmissing"));
    return pixmap;
}

// A grey square while the thumbnail is being made.
QPixmap LoadingPicture(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.fillRect(QRectF(size * 0.1, size * 0.1, size * 0.8, size * 0.8), QColor(225, 225, 225));
    return pixmap;
}

// Whether a file can be created in folder, or in the folder that will hold
// it when it does not exist yet.
bool FolderWritable(const QString& folder) {
    QFileInfo info(folder);
    if (!info.exists()) info = QFileInfo(info.absolutePath());
    return info.isDir() && info.isWritable();
}

}  // namespace

PhotosPage::PhotosPage(common::MainContext& context, QWidget* parent) : QWidget(parent), m_context(context) {
    auto* page = new QVBoxLayout(this);
    Strip = new QListWidget;
    Strip->setViewMode(QListView::IconMode);
    Strip->setFlow(QListView::LeftToRight);
    Strip->setWrapping(false);
    Strip->setMovement(QListView::Static);
    Strip->setResizeMode(QListView::Adjust);
    Strip->setSelectionMode(QAbstractItemView::SingleSelection);
    Strip->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    Strip->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Strip->setTextElideMode(Qt::ElideRight);
    Strip->setUniformItemSizes(true);
    Strip->setWordWrap(false);
    // Files dropped on the row go to the page, which adds them.
    Strip->setDragDropMode(QAbstractItemView::NoDragDrop);
    Strip->setAcceptDrops(false);
    Strip->viewport()->setAcceptDrops(false);
    // Wide enough for a few thumbnails without widening the editor.
    Strip->setMinimumWidth(300);
    page->addWidget(Strip);

    auto* grid = new QGridLayout;
    Caption = new QLineEdit;
    Caption->setMaxLength(int(attachments::kMaxTextBytes / 4));
    KindBox = new QComboBox;
    for (Kind kind : kKinds) {
        QString name = FromStd(std::string(attachments::KindName(kind)));
        name[0] = name[0].toUpper();
        KindBox->addItem(name);
    }
    CaptionLab = new QLabel(QStringLiteral("&Caption"));
    CaptionLab->setBuddy(Caption);
    KindLab = new QLabel(QStringLiteral("&Kind"));
    KindLab->setBuddy(KindBox);
    grid->addWidget(CaptionLab, 0, 0);
    grid->addWidget(Caption, 0, 1, 1, 2);
    grid->addWidget(KindLab, 1, 0);
    grid->addWidget(KindBox, 1, 1, Qt::AlignLeft);
    grid->setColumnStretch(2, 1);
    page->addLayout(grid);

    auto* buttons = new QHBoxLayout;
    AddButton = new QPushButton(QStringLiteral("Add F&iles..."));
    RemoveButton = new QPushButton(QStringLiteral("&Remove"));
    MoveLeftButton = new QPushButton(QStringLiteral("&Move Left"));
    MoveRightButton = new QPushButton(QStringLiteral("Move Ri&ght"));
    ViewButton = new QPushButton(QStringLiteral("Open with &Viewer"));
    for (QPushButton* b : {AddButton, RemoveButton, MoveLeftButton, MoveRightButton, ViewButton}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    page->addLayout(buttons);
    CountLabel = new QLabel;
    page->addWidget(CountLabel);

    connect(AddButton, &QPushButton::clicked, this, [this] { AddFiles(); });
    connect(RemoveButton, &QPushButton::clicked, this, [this] { RemoveSelected(); });
    connect(MoveLeftButton, &QPushButton::clicked, this, [this] { MoveSelectedLeft(); });
    connect(MoveRightButton, &QPushButton::clicked, this, [this] { MoveSelectedRight(); });
    connect(ViewButton, &QPushButton::clicked, this, [this] { OpenSelectedWithViewer(); });
    connect(Caption, &QLineEdit::editingFinished, this, [this] { StoreCaption(); });
    connect(KindBox, &QComboBox::activated, this, [this](int index) { StoreKind(index); });
    connect(Strip, &QListWidget::currentRowChanged, this, [this] { ShowSelected(); });
    connect(Strip, &QListWidget::itemActivated, this, [this] { OpenSelectedWithViewer(); });
    Strip->installEventFilter(this);
    setAcceptDrops(true);
    ApplyScale(1.0);
}

PhotosPage::~PhotosPage() = default;

attachments::AttachmentStore* PhotosPage::Store() const {
    auto* store = m_context.Attachments();
    return store && store->Attached() ? store : nullptr;
}

attachments::ThumbnailCache* PhotosPage::Thumbs() {
    auto* store = Store();
    if (!store) return nullptr;
    const QString folder = FromStd(store->Folder());
    if (!m_thumbs || m_thumbs->Folder() != folder || m_thumbs->Size() != m_iconSize) {
        if (m_thumbs) m_thumbs->disconnect(this);
        m_thumbs = std::make_unique<attachments::ThumbnailCache>(folder, m_iconSize);
        m_images.clear();
        m_unreadable.clear();
        connect(m_thumbs.get(), &attachments::ThumbnailCache::Ready, this,
                [this](const QString& key, const QImage& image) { ThumbnailReady(key, image); });
        connect(m_thumbs.get(), &attachments::ThumbnailCache::Unreadable, this,
                [this](const QString& key) { ThumbnailUnreadable(key); });
    }
    return m_thumbs.get();
}

void PhotosPage::ApplyScale(double factor) {
    const int size = std::max(32, int(std::lround(kBaseIconSize * factor)));
    m_iconSize = size;
    Strip->setIconSize(QSize(size, size));
    Strip->setGridSize(QSize(size + 24, size + Strip->fontMetrics().height() + 16));
    Strip->setFixedHeight(Strip->gridSize().height() + Strip->frameWidth() * 2 +
                          Strip->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4);
}

// ---------------------------------------------------------------- showing

void PhotosPage::ShowRecord(uint32_t recno) {
    m_recno = recno;
    m_pending.clear();
    Fill(0);
}

void PhotosPage::ShowNew() {
    m_recno.reset();
    m_pending.clear();
    Fill(0);
}

std::vector<Attachment> PhotosPage::Shown() const {
    std::vector<Attachment> shown;
    if (!m_pending.empty() || !m_recno) {
        for (const Pending& p : m_pending) shown.push_back(p.shown);
    } else if (auto* store = Store()) {
        shown = store->Of(*m_recno);
    }
    return shown;
}

QString PhotosPage::PathAt(int index) const {
    if (!m_pending.empty() || !m_recno)
        return index >= 0 && size_t(index) < m_pending.size() ? m_pending[size_t(index)].path : QString();
    auto* store = Store();
    const std::vector<Attachment> shown = Shown();
    if (!store || index < 0 || size_t(index) >= shown.size()) return {};
    return FromStd(store->PathOf(shown[size_t(index)]));
}

QString PhotosPage::KeyOf(int index) const {
    if (!m_pending.empty() || !m_recno) return QStringLiteral("file:") + m_pending[size_t(index)].path;
    return FromStd(Shown()[size_t(index)].stored);
}

void PhotosPage::Fill(int select) {
    m_filling = true;
    Strip->clear();
    const std::vector<Attachment> shown = Shown();
    for (size_t i = 0; i < shown.size(); ++i) {
        const Attachment& a = shown[i];
        auto* item = new QListWidgetItem;
        const QString caption = FromStd(a.caption);
        item->setText(caption.isEmpty() ? FromStd(a.original) : caption);
        item->setToolTip(FromStd(a.original));
        item->setData(kKeyRole, KeyOf(int(i)));
        Strip->addItem(item);
        item->setIcon(IconFor(int(i), a));
    }
    if (!shown.empty()) Strip->setCurrentRow(std::clamp(select, 0, int(shown.size()) - 1));
    m_filling = false;
    m_shownIndex = -1;
    ShowSelected();
}

QIcon PhotosPage::IconFor(int index, const Attachment& a) {
    QListWidgetItem* item = Strip->item(index);
    const QString key = item->data(kKeyRole).toString();
    const QString path = PathAt(index);
    const QString extension = QFileInfo(FromStd(a.original)).suffix();
    auto state = [&](const char* name, const QPixmap& pixmap) {
        item->setData(kStateRole, QString::fromLatin1(name));
        return QIcon(pixmap);
    };
    if (path.isEmpty() || !QFileInfo(path).isFile()) return state("missing", MissingPicture(m_iconSize));
    if (m_images.contains(key)) return state("photo", Framed(m_images.value(key), m_iconSize));
    if (m_unreadable.contains(key)) return state("document", DocumentPicture(m_iconSize, extension));
    attachments::ThumbnailCache* thumbs = Thumbs();
    if (!thumbs) return state("document", DocumentPicture(m_iconSize, extension));
    const bool stored = key.startsWith(QStringLiteral("file:")) == false;
    if (stored) {
        const QImage cached = thumbs->Cached(key);
        if (!cached.isNull()) {
            m_images.insert(key, cached);
            return state("photo", Framed(cached, m_iconSize));
        }
        thumbs->Request(key);
    } else {
        thumbs->RequestFile(key, path);
    }
    return state("loading", LoadingPicture(m_iconSize));
}

void PhotosPage::ThumbnailReady(const QString& key, const QImage& image) {
    m_images.insert(key, image);
    for (int i = 0; i < Strip->count(); ++i) {
        QListWidgetItem* item = Strip->item(i);
        if (item->data(kKeyRole).toString() != key) continue;
        item->setData(kStateRole, QStringLiteral("photo"));
        item->setIcon(QIcon(Framed(image, m_iconSize)));
    }
}

void PhotosPage::ThumbnailUnreadable(const QString& key) {
    m_unreadable.insert(key);
    const std::vector<Attachment> shown = Shown();
    for (int i = 0; i < Strip->count() && size_t(i) < shown.size(); ++i) {
        QListWidgetItem* item = Strip->item(i);
        if (item->data(kKeyRole).toString() != key) continue;
        item->setIcon(IconFor(i, shown[size_t(i)]));
    }
}

void PhotosPage::WaitForThumbnails() {
    if (m_thumbs) m_thumbs->WaitForAll();
    for (int i = 0; i < 4; ++i) QCoreApplication::processEvents();
}

QString PhotosPage::ThumbnailKind(int index) const {
    const QListWidgetItem* item = Strip->item(index);
    return item ? item->data(kStateRole).toString() : QString();
}

int PhotosPage::SelectedIndex() const { return Strip->currentRow(); }

void PhotosPage::Select(int index) { Strip->setCurrentRow(index); }

void PhotosPage::ShowSelected() {
    if (m_filling) return;
    // A caption typed for the entry left behind is kept first.
    if (m_shownIndex >= 0 && m_shownIndex != SelectedIndex()) {
        const int keep = SelectedIndex();
        StoreCaption();
        if (SelectedIndex() != keep) Select(keep);
    }
    const std::vector<Attachment> shown = Shown();
    const int index = SelectedIndex();
    m_shownIndex = index;
    if (index >= 0 && size_t(index) < shown.size()) {
        Caption->setText(FromStd(shown[size_t(index)].caption));
        KindBox->setCurrentIndex(int(std::find(std::begin(kKinds), std::end(kKinds), shown[size_t(index)].kind) -
                                     std::begin(kKinds)));
    } else {
        Caption->clear();
        KindBox->setCurrentIndex(0);
    }
    UpdateControls();
}

void PhotosPage::UpdateControls() {
    const bool available = Store() != nullptr;
    const int index = SelectedIndex();
    const int count = Strip->count();
    const bool selected = index >= 0 && index < count;
    AddButton->setEnabled(available);
    RemoveButton->setEnabled(selected);
    MoveLeftButton->setEnabled(selected && index > 0);
    MoveRightButton->setEnabled(selected && index + 1 < count);
    ViewButton->setEnabled(selected);
    Caption->setEnabled(selected);
    KindBox->setEnabled(selected);
    QString text;
    if (!available) text = QStringLiteral("Photos are kept with an open table.");
    else if (count == 0) text = QStringLiteral("No photos or documents.  Add files or drop them here.");
    else text = count == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(count);
    if (!m_recno && !m_pending.empty()) text += QStringLiteral(", attached when the item is updated");
    CountLabel->setText(text);
}

// ---------------------------------------------------------------- changes

bool PhotosPage::Apply(const std::function<void()>& change, int select) {
    bool done = true;
    try {
        change();
    } catch (const AttachmentError& e) {
        Ui().Message(kTitle, QString::fromUtf8(e.what()), MessageIcon::Error);
        done = false;
    }
    Fill(select);
    return done;
}

bool PhotosPage::CanStore() {
    auto* store = Store();
    if (!store) {
        Ui().Message(kTitle, QStringLiteral("Photos can only be added to the items of an open table."),
                     MessageIcon::Error);
        return false;
    }
    const QString folder = FromStd(store->Folder());
    if (!FolderWritable(folder)) {
        Ui().Message(kTitle,
                     QStringLiteral("Unable to add files.  The folder \"%1\" cannot be written.")
                         .arg(QDir::toNativeSeparators(QFileInfo(folder).exists() ? folder
                                                                                  : QFileInfo(folder).absolutePath())),
                     MessageIcon::Error);
        return false;
    }
    return true;
}

void PhotosPage::AddFiles() {
    if (!CanStore()) return;
    common::FileRequest request;
    request.title = QStringLiteral("Add Photos and Documents");
    // The pictures folder when the desktop has one; a folder that does not
    // exist would turn up in the dialog as a file name.
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    request.directory = QFileInfo(pictures).isDir() ? pictures : QDir::homePath();
    request.filter = QStringLiteral("Photos and documents|*.jpg;*.jpeg;*.png;*.gif;*.bmp;*.webp;*.tif;*.tiff;*.pdf|"
                                    "All files|*.*");
    request.mustExist = true;
    const QStringList paths = Ui().OpenFiles(request);
    if (!paths.isEmpty()) AddFiles(paths);
}

bool PhotosPage::AddFiles(const QStringList& paths) {
    if (paths.isEmpty() || !CanStore()) return false;
    QStringList files;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.isFile() || !info.isReadable()) {
            Ui().Message(kTitle, QStringLiteral("\"%1\" is not a file that can be read.  Nothing was added.")
                                     .arg(QDir::toNativeSeparators(path)),
                         MessageIcon::Error);
            return false;
        }
        files << info.absoluteFilePath();
    }
    const int first = Strip->count();
    if (m_recno && m_pending.empty()) {
        std::vector<attachments::NewAttachment> added;
        for (const QString& f : files)
            added.push_back({ToStd(f), attachments::KindForName(ToStd(QFileInfo(f).fileName())), {}});
        return Apply([&] { Store()->Add(*m_recno, added); }, first);
    }
    for (const QString& f : files) {
        const std::string name = ToStd(QFileInfo(f).fileName());
        m_pending.push_back({f, Attachment{{}, attachments::KindForName(name), name, {}}});
    }
    Fill(first);
    return true;
}

void PhotosPage::RemoveSelected() {
    const int index = SelectedIndex();
    const std::vector<Attachment> shown = Shown();
    if (index < 0 || size_t(index) >= shown.size()) return;
    const Attachment& a = shown[size_t(index)];
    const QString name = FromStd(a.caption.empty() ? a.original : a.caption);
    if (Ui().Ask(kTitle, QStringLiteral("Remove \"%1\" from this item?").arg(name), Buttons::YesNo, Answer::No,
                 MessageIcon::Question) != Answer::Yes)
        return;
    m_shownIndex = -1;
    if (m_recno && m_pending.empty()) {
        Apply([&] { Store()->Remove(*m_recno, size_t(index)); }, index);
        return;
    }
    m_pending.erase(m_pending.begin() + index);
    Fill(index);
}

void PhotosPage::Move(int by) {
    StoreCaption();
    const int from = SelectedIndex();
    const int to = from + by;
    if (from < 0 || to < 0 || to >= Strip->count()) return;
    m_shownIndex = -1;
    if (m_recno && m_pending.empty()) {
        Apply([&] { Store()->Move(*m_recno, size_t(from), size_t(to)); }, to);
        return;
    }
    std::swap(m_pending[size_t(from)], m_pending[size_t(to)]);
    Fill(to);
}

void PhotosPage::MoveSelectedLeft() { Move(-1); }
void PhotosPage::MoveSelectedRight() { Move(1); }

void PhotosPage::OpenSelectedWithViewer() {
    const int index = SelectedIndex();
    const std::vector<Attachment> shown = Shown();
    if (index < 0 || size_t(index) >= shown.size()) return;
    const QString path = PathAt(index);
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        Ui().Message(kTitle,
                     QStringLiteral("The file of \"%1\" is missing from the attachments folder.")
                         .arg(FromStd(shown[size_t(index)].original)),
                     MessageIcon::Error);
        return;
    }
    if (!Ui().OpenWithDesktop(path))
        Ui().Message(kTitle,
                     QStringLiteral("No program could be started to open \"%1\".")
                         .arg(FromStd(shown[size_t(index)].original)),
                     MessageIcon::Error);
}

void PhotosPage::StoreCaption() {
    const int index = m_shownIndex;
    const std::vector<Attachment> shown = Shown();
    if (index < 0 || size_t(index) >= shown.size()) return;
    const std::string caption = ToStd(Caption->text().trimmed());
    if (caption == shown[size_t(index)].caption) return;
    if (m_recno && m_pending.empty()) {
        const int selected = SelectedIndex();
        m_shownIndex = -1;
        Apply([&] { Store()->SetCaption(*m_recno, size_t(index), caption); }, selected);
        return;
    }
    m_pending[size_t(index)].shown.caption = caption;
    QListWidgetItem* item = Strip->item(index);
    item->setText(caption.empty() ? FromStd(shown[size_t(index)].original) : FromStd(caption));
}

void PhotosPage::StoreKind(int kindIndex) {
    const int index = SelectedIndex();
    const std::vector<Attachment> shown = Shown();
    if (index < 0 || size_t(index) >= shown.size() || kindIndex < 0 || kindIndex >= int(std::size(kKinds))) return;
    const Kind kind = kKinds[kindIndex];
    if (kind == shown[size_t(index)].kind) return;
    if (m_recno && m_pending.empty()) {
        m_shownIndex = -1;
        Apply([&] { Store()->SetKind(*m_recno, size_t(index), kind); }, index);
        return;
    }
    m_pending[size_t(index)].shown.kind = kind;
}

bool PhotosPage::SavePending(uint32_t recno) {
    StoreCaption();
    if (m_pending.empty()) {
        ShowRecord(recno);
        return true;
    }
    m_recno = recno;
    auto* store = Store();
    std::vector<attachments::NewAttachment> files;
    for (const Pending& p : m_pending) files.push_back({ToStd(p.path), p.shown.kind, p.shown.caption});
    try {
        if (!store) throw AttachmentError("The table's attachments folder is not available.");
        store->Add(recno, files);
    } catch (const AttachmentError& e) {
        Ui().Message(kTitle,
                     QStringLiteral("The item was saved, but its files could not be attached.  %1  They stay on "
                                    "the Photos page until the next Update.")
                         .arg(QString::fromUtf8(e.what())),
                     MessageIcon::Error);
        Fill(SelectedIndex());
        return false;
    }
    m_pending.clear();
    Fill(0);
    return true;
}

// ---------------------------------------------------------------- keys and drops

bool PhotosPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Strip && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        RemoveSelected();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

QStringList PhotosPage::LocalFiles(const QMimeData* data) {
    QStringList files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) files << url.toLocalFile();
    return files;
}

void PhotosPage::dragEnterEvent(QDragEnterEvent* event) {
    if (Store() && !LocalFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void PhotosPage::dragMoveEvent(QDragMoveEvent* event) {
    if (Store() && !LocalFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void PhotosPage::dropEvent(QDropEvent* event) {
    const QStringList files = LocalFiles(event->mimeData());
    if (files.isEmpty()) return;
    event->acceptProposedAction();
    AddFiles(files);
}

}  // namespace items
