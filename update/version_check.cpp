// Least bodies that keep the start-up sequence running until the update client lands.
#include "update/version_check.h"

int server = -1;

int locate_server() { return server; }
int get_bs_version(const wchar_t*) { return 0; }
void purge_downloaded_app_files() {}
