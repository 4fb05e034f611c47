#include "tools/tool.h"

int toolEpa(int argc, char** argv) { return failUsage("epa ... (not built yet)"); }
