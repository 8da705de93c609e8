#pragma once

class Preferences;

// Stdio bridge for MCP clients: one JSON-RPC message per input line, forwarded to the running
// app's HTTP service; one reply per output line.
class MCPBridge
{
public:
    explicit MCPBridge(Preferences &preferences);
    int run(); // returns 0 at the end of standard input

private:
    Preferences &m_preferences;
};
