#include "app/file_drop.h"

#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

FileDropFilter::FileDropFilter(std::function<void(const QString&)> open, QObject* parent)
    : QObject(parent), open_(std::move(open)) {}

QString FileDropFilter::dropped_file(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) return url.toLocalFile();
    return {};
}

bool FileDropFilter::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDropEvent*>(event);
            if (dropped_file(drag->mimeData()).isEmpty()) break;
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QString name = dropped_file(drop->mimeData());
            if (name.isEmpty()) break;
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            // The drag ends first: opening may ask about changed text, and a
            // modal box inside the drop would hold the program it came from.
            QTimer::singleShot(0, this, [this, name] { open_(name); });
            return true;
        }
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}
