// Drives the Java runtime's splash screen library from the launcher's first moments.
#pragma once

void* SplashProcAddress(const char* name);
void DoSplashInit();
int DoSplashLoadFile(const char* file);
void DoSplashSetFileJarName(const char* file, const char* jar);
void ShowSplashScreen();
