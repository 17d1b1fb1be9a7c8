#pragma once

#include <QString>

// Where Help finds the language reference, gmkhelp.htm, for a program in
// `program_folder`: beside the program (a build folder), else where an
// installation puts it, share/doc/glimmark/ beside the program's bin/ folder
// or the documentation folder the build was configured with. When it is in
// none of them, the path beside the program, for the message that says so.
QString help_page_path(const QString& program_folder);
