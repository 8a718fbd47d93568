/* Stands in for libjvm.so: a VM library whose VM creation always fails. */
int JNI_CreateJavaVM(void** vm, void** env, void* args) {
    (void)vm;
    (void)env;
    (void)args;
    return -1;
}
