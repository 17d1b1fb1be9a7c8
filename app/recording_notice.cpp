#include "app/recording_notice.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include "app/studio_dialogs.h"

namespace {

const char* const kNoticeName = "recordingNotice";

}  // namespace

QMessageBox* show_recording_notice(QWidget* owner, StudioDialogs& dialogs, const QString& text,
                                   const QString& file) {
    if (auto* old = owner->findChild<QMessageBox*>(kNoticeName, Qt::FindDirectChildrenOnly)) {
        old->setObjectName(QString());
        old->close();
    }
    auto* box = new QMessageBox(QMessageBox::Information, "Record", text, QMessageBox::Ok, owner);
    box->setObjectName(kNoticeName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    QPushButton* open = box->addButton("Open &Folder", QMessageBox::ActionRole);
    const QString folder = QFileInfo(file).absolutePath();
    StudioDialogs* desk = &dialogs;
    QObject::connect(open, &QPushButton::clicked, box,
                     [desk, folder] { desk->open_url(QUrl::fromLocalFile(folder)); });
    box->setDefaultButton(QMessageBox::Ok);
    box->show();
    return box;
}
