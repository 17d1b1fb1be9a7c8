#include "app/about_dialog.h"

#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "run/version.h"

namespace {

// Dialog units: a quarter of the average character width across, an eighth
// of the character height down.
QRect dialog_rect(const QFontMetrics& fm, int x, int y, int w, int h) {
    const int ux = fm.averageCharWidth();
    const int uy = fm.height();
    return QRect(x * ux / 4, y * uy / 8, w * ux / 4, h * uy / 8);
}

}  // namespace

AboutDialog::AboutDialog(QWidget* owner) : QDialog(owner) {
    setWindowTitle("About");
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    const QFontMetrics fm(font());

    auto* icon = new QLabel(this);
    const QRect icon_rect = dialog_rect(fm, 14, 9, 16, 16);
    icon->setPixmap(QIcon(":/icons/glimmark.svg").pixmap(icon_rect.size()));
    icon->setGeometry(icon_rect);

    auto* name = new QLabel(this);
    name->setTextFormat(Qt::PlainText);
    name->setText(QString("Glimmark Version %1").arg(GlimmarkVersionMajorMinor));
    name->setGeometry(dialog_rect(fm, 49, 10, 119, 8));

    auto* line = new QLabel("A ray tracer with a scene language of its own.", this);
    line->setGeometry(dialog_rect(fm, 49, 20, 140, 8));

    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    ok->setGeometry(dialog_rect(fm, 195, 6, 30, 11).adjusted(0, -2, 0, 4));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(dialog_rect(fm, 0, 0, 230, 75).size());
}
