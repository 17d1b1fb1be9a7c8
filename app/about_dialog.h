#pragma once

#include <QDialog>

// The About box: the program's icon, name and version, and an OK button.
// Escape closes it as well.
class AboutDialog : public QDialog {
    Q_OBJECT
  public:
    explicit AboutDialog(QWidget* owner);
};
