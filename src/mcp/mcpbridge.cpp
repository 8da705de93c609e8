#include "mcpbridge.h"

#include "preferences.h"

#include <cstdio>

MCPBridge::MCPBridge(Preferences &preferences) : m_preferences(preferences) {}

int MCPBridge::run()
{
    // Placeholder until the bridge forwards lines: consume standard input to its end.
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, stdin)) {
    }
    return 0;
}
