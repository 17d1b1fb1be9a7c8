#include "app/about_dialog.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "glimmark/about.h"

AboutDialog::AboutDialog(QWidget* owner) : QDialog(owner) {
    setWindowTitle("About");
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    // The icon is two lines of text high.
    const int icon_size = 2 * QFontMetrics(font()).height();

    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(":/icons/glimmark.svg").pixmap(icon_size, icon_size));
    icon->setAlignment(Qt::AlignTop);

    auto* name = new QLabel(this);
    name->setTextFormat(Qt::PlainText);
    name->setText(QString("Glimmark Version %1").arg(glimmark::version_major_minor()));

    auto* line = new QLabel(this);
    line->setTextFormat(Qt::PlainText);
    line->setText("A ray tracer with a scene language of its own.");

    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    // The box takes the size of what it holds, so no font or translation
    // cuts its text off.
    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(line);
    texts->addStretch(1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->setSpacing(2 * QFontMetrics(font()).averageCharWidth());
    layout->addWidget(icon);
    layout->addLayout(texts, 1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
