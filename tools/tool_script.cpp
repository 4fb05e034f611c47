#include "tools/tool.h"

int toolScript(int argc, char** argv) { return failUsage("script ... (not built yet)"); }
