#include "cli/cli.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "glimmark/about.h"
#include "lsp/server.h"

void print_usage(std::FILE* out) {
    std::fputs(
        "Usage:\n"
        "  glimmark check SCENE [--strict]\n"
        "  glimmark check SCENE --info [render's options]\n"
        "  glimmark render SCENE [-o OUT] [options]\n"
        "  glimmark record SCENE [-o OUT] [--codec C] [--quality Q | --crf N] [--preset P] "
        "[options]\n"
        "  glimmark join-rows -o OUT BAND...\n"
        "  glimmark lsp [--stdio]\n"
        "  glimmark --help | --version\n"
        "  glimmark COMMAND --help   (the options of one command)\n"
        "\n"
        "SCENE is a scene file, or - for standard input.\n"
        "\n"
        "check      Parses the scene without tracing it and prints \"Parsed OK!\";\n"
        "           --strict also opens every texture and INCLUDE file; --info\n"
        "           prints key=value lines (width, height, frames, ...) for scripts.\n"
        "render     Traces every frame of the scene and writes the pictures (PNG or\n"
        "           PPM; -o - writes them to standard output).\n"
        "record     Traces every frame of the scene into a video file (.avi, .mp4, .mkv,\n"
        "           .webm or .gif).\n"
        "join-rows  Joins bands of rows rendered apart (render --rows) into one picture.\n"
        "lsp        A language server for editors, on standard input and output.\n"
        "\n"
        "Options of render and record (render only: --time, --rows, -n, --format):\n"
        "  -W N, -H N, -A N, --max-depth N  replace the scene's WIDTH, HEIGHT,\n"
        "      ANTIALIASING and MAX_DEPTH; --frames A-B, --time T, --rows A-B choose\n"
        "      what is traced; -j N threads (default: the cores this process may\n"
        "      use); -n skips whole existing pictures; -f replaces foreign files;\n"
        "      -q no progress line; --progress FILE|- key=value progress records,\n"
        "      --progress-interval S seconds apart.\n"
        "Short options group: -qj1 is -q -j 1.\n"
        "\n"
        "Limits: WIDTH and HEIGHT from 1 to 16384; MAX_DEPTH above 256 counts as 256;\n"
        "ANTIALIASING above 1024 counts as 1024, and a negative value as 0.\n"
        "\n"
        "Exit status: 0 done; 1 the scene has an error or needs more memory than\n"
        "there is (a parse error is printed as\n"
        "\"Parse Error: <message> at char <n> found: <word>\" and then\n"
        "\"SCENE:LINE:COL: <message>\"); 2 a wrong command line, or a file that\n"
        "could not be read or written (checked before tracing where it can be);\n"
        "130 interrupted. An interrupted render (Ctrl-C, SIGTERM or SIGHUP: 128 + its\n"
        "number) saves no part of the picture it was tracing and leaves the file of\n"
        "that name as it was.\n",
        out);
}

namespace {

int run_command(int argc, char** argv) {
    if (argc < 2) {
        print_usage(stderr);
        return ExitUsageOrFile;
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h" || command == "help") {
        print_usage(stdout);
        return ExitOk;
    }
    if (command == "--version" || command == "-V") {
        std::printf("glimmark %s\nBuilt with %s\n", glimmark::version(),
                    glimmark::built_with().c_str());
        return ExitOk;
    }
    if (command == "check") return run_check(args);
    if (command == "render") return run_render(args);
    if (command == "record") return run_record(args);
    if (command == "join-rows") return run_join_rows(args);
    // The language server for editors, on standard input and output
    // (clients may say so with --stdio).
    if (command == "lsp") {
        for (const std::string& arg : args)
            if (arg != "--stdio") {
                report_usage_error("lsp", "unknown option '" + arg + "'");
                return ExitUsageOrFile;
            }
        return lsp::run_language_server();
    }
    std::fprintf(stderr, "glimmark: unknown command '%s'\nTry 'glimmark --help'.\n",
                 command.c_str());
    return ExitUsageOrFile;
}

}  // namespace

int run_cli(int argc, char** argv) {
    // Beyond the file size limit (ulimit -f) a write fails and is reported
    // with its path like any other, instead of the signal ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    int status = ExitOk;
    try {
        status = run_command(argc, argv);
    } catch (const std::bad_alloc&) {
        // The parse and the picture files report their own want of memory;
        // whatever else runs short ends here rather than in an abort.
        std::fputs("Glimmark Error: Out of memory.\n", stderr);
        return ExitSceneError;
    }
    // What went to standard output (the names of the files written, "Parsed
    // OK!") must have arrived, or a script reading it is misled.
    const bool flushed = std::fflush(stdout) == 0;
    const int reason = errno;
    if (!flushed || std::ferror(stdout)) {
        std::fprintf(stderr, "glimmark: could not write to standard output%s%s\n",
                     flushed ? "" : ": ", flushed ? "" : std::strerror(reason));
        if (status == ExitOk) status = ExitUsageOrFile;
    }
    return status;
}
