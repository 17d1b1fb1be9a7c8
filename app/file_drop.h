#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QMimeData;

// Takes the drops of files on the widgets it watches and hands the first
// file on, instead of letting a text widget insert the file's address as
// text. Drops of anything else go their usual way.
class FileDropFilter : public QObject {
  public:
    FileDropFilter(std::function<void(const QString&)> open, QObject* parent);

    // The first local file a drag carries, or an empty string.
    static QString dropped_file(const QMimeData* data);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::function<void(const QString&)> open_;
};
