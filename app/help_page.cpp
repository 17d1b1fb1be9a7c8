#include "app/help_page.h"

#include <QDir>
#include <QFileInfo>

// The build passes both: the documentation folder relative to the folder of
// the installed programs, and as an absolute path.
#ifndef GMK_DOC_FROM_PROGRAM
#define GMK_DOC_FROM_PROGRAM "../share/doc/glimmark"
#endif
#ifndef GMK_DOC_FOLDER
#define GMK_DOC_FOLDER "/usr/local/share/doc/glimmark"
#endif

QString help_page_path(const QString& program_folder) {
    const QDir program(program_folder);
    const QString beside = program.filePath("gmkhelp.htm");
    const QString candidates[] = {
        beside,
        QDir::cleanPath(program.filePath(GMK_DOC_FROM_PROGRAM "/gmkhelp.htm")),
        QDir(GMK_DOC_FOLDER).filePath("gmkhelp.htm"),
    };
    for (const QString& path : candidates)
        if (QFileInfo(path).isFile()) return path;
    return beside;
}
