// The program's entry, called by main with its arguments.
#pragma once

/// Builds the command-line text from argv[1..] and runs the application shell;
/// returns the program's exit code.
int AppMain(int argc, char** argv);
