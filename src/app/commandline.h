#pragma once

#include <optional>

// "--help"/"-h" and "--version": print to standard output and give the exit status (0).
// Gives nothing for any other command line, and always when "--mcp-stdio" is present,
// because MCP clients may add arguments of their own to the bridge's command line.
std::optional<int> handleInfoOptions(int argc, char **argv);
