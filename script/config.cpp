#include "script/config.h"

SetupConfig config;
bool loadConfig() { return false; }
void releaseConfig() {}
uint64_t selectedByteTotal(int, uint32_t) { return 0; }
