#include "tools/tool.h"

int toolScene(int argc, char** argv) { return failUsage("scene ... (not built yet)"); }
