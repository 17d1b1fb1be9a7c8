#pragma once

// The glimmark command: check, render and record scenes headless.
int run_cli(int argc, char** argv);
