#pragma once

// The program's entry: the stdio bridge when any argument is "--mcp-stdio", otherwise the
// window application. Returns the process exit status.
int runProgram(int argc, char **argv);
