// The process entry of the command-line tool.
#include "cli/Cli.h"

int main(int argc, char **argv) {
    IgnoreBrokenPipe();
    return FinishOutput(
        RunCli(argc, argv, RunWithPanels, [](char **args) { HandOverToLineProgram(args); }));
}
