// Least body that keeps the start-up sequence running until this part lands.
#include "vmhost/splash.h"

void* SplashProcAddress(const char*) { return nullptr; }
void DoSplashInit() {}
int DoSplashLoadFile(const char*) { return 0; }
void DoSplashSetFileJarName(const char*, const char*) {}
void ShowSplashScreen() {}
