#pragma once
// Helpers of the attachment tests: item tables with identifying fields,
// files to attach, and what an item's attachments hold (by content).

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTest>
#include <map>
#include <string>
#include <vector>

#include "AttachmentStore.h"
#include "ItemSchema.h"
#include "ItemTable.h"
#include "Table.h"

namespace testsupport {

struct TestItem {
    std::string item, brand = {}, model = {}, serial = {};
};

// A fresh item table at dir/name holding the items, open shared.
inline std::string MakeItemTable(store::Table& t, const QString& dir, const std::vector<TestItem>& items,
                                 const std::string& name = "MASTER.DBF") {
    t.Close();
    t.SetDirectory(dir.toStdString());
    t.SetTableName(name);
    t.Create(store::ItemTableFieldDefs());
    t.Open();
    for (const TestItem& i : items) {
        t.Append();
        t.SetText("Item", i.item);
        if (!i.brand.empty()) t.SetText("Brand", i.brand);
        if (!i.model.empty()) t.SetText("Model", i.model);
        if (!i.serial.empty()) t.SetText("Serial", i.serial);
        t.Post();
    }
    return t.DataFilePath();
}

inline QString WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return {};
    f.write(bytes);
    return path;
}

inline QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The contents of an item's attachments in order, each read from the
// folder: what the user would see, whatever the files are called.
inline std::vector<QByteArray> ContentsOf(const attachments::AttachmentStore& store, uint32_t recno) {
    std::vector<QByteArray> out;
    for (const attachments::Attachment& a : store.Of(recno))
        out.push_back(ReadFile(QString::fromStdString(store.PathOf(a))));
    return out;
}

inline attachments::NewAttachment Photo(const QString& path, const std::string& caption = {}) {
    return {path.toStdString(), attachments::KindForName(path.toStdString()), caption};
}

// Records by their Item text, for following items across a pack.
inline std::map<std::string, uint32_t> RecordsByItem(store::Table& t) {
    std::map<std::string, uint32_t> out;
    for (uint32_t r = 0; r < t.PhysicalCount(); ++r) {
        const store::RecordView v = t.ViewOf(r);
        if (!v.IsDeleted()) out[v.Text(t.FieldIndex("Item"))] = r;
    }
    return out;
}

inline QString AttachmentScript(const char* name) {
    return QStringLiteral(HALVENOR_SOURCE_DIR "/tests/attachments/") + QString::fromLatin1(name);
}

}  // namespace testsupport
