/* Planted where a careless launcher would look (the current directory, its lib directory): any
 * load of it leaves a line in "planted-loaded" in the current directory, and a VM it were asked
 * to create would fail. */
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

__attribute__((constructor)) static void record_load(void) {
    int fd = open("planted-loaded", O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
        const char line[] = "planted library loaded\n";
        ssize_t ignored = write(fd, line, sizeof line - 1);
        (void)ignored;
        close(fd);
    }
}

int JNI_CreateJavaVM(void** vm, void** env, void* args) {
    (void)vm;
    (void)env;
    (void)args;
    return -1;
}
