// The start-up sequence: from program entry to process exit, on the main thread, in one fixed
// order. Every road ends in a process exit. The one exception to the single thread is the update
// check, which runs beside the loading of the runtime and the VM's creation (see start_vm).
#include "launcher/startup.h"

#include "base/diagnostics.h"
#include "base/support_log.h"
#include "config/deployment.h"
#include "config/product.h"
#include "launcher/data_dir.h"
#include "launcher/loader_natives.h"
#include "launcher/report.h"
#include "launcher/vm_options.h"
#include "platform/platform.h"
#include "splash/screen.h"
#include "update/download_progress.h"
#include "update/version_check.h"
#include "vmhost/class_loader_bridge.h"
#include "vmhost/natives.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jni.h>
#include <string>
#include <vector>

namespace {

constexpr const char* main_class = "a.b.a.a.a";

using set_dpi_aware_fn = int (*)();
using create_vm_fn = jint(JNICALL*)(JavaVM**, void**, void*);

platform::library c_lib;
platform::library jvm_lib;
JavaVM* jvm;

// A step that cannot go on names its message and gives no VM.
JNIEnv* failed(const messages::message** failure, const messages::message& message) {
    *failure = &message;
    return nullptr;
}

void make_dpi_aware() {
    platform::library user32 = platform::load_system_library("user32.dll");
    if (!user32)
        return;
    auto set_dpi_aware =
        reinterpret_cast<set_dpi_aware_fn>(platform::proc_address(user32, "SetProcessDPIAware"));
    if (set_dpi_aware)
        set_dpi_aware();
}

// "<prefix><install directory joined with relative>" into `out` (option_size bytes); false when
// the install path cannot be had.
constexpr std::size_t option_size = platform::max_path + 32;
bool install_option(char* out, const char* prefix, const char* relative) {
    char path[platform::max_path];
    out[0] = '\0';
    if (!platform::install_path(path, relative))
        return false;
    std::snprintf(out, option_size, "%s%s", prefix, path);
    return true;
}

// The download of app.jar, shown on the splash's progress strip (the context).
void show_download(void* strip, fetch_stage stage, std::uint64_t received, std::uint64_t length) {
    auto& progress = *static_cast<splash::progress*>(strip);
    if (stage == fetch_stage::running)
        progress.update(received, length, deployment_progress_color);
    else
        progress.end(stage == fetch_stage::complete);
}

// The update check (locate_server) on a thread of its own. The check and the VM's creation need
// nothing of each other: the check reads and writes only the data directory, and nothing reads
// app.jar before the main loader is made. server() waits for the check's end.
class update_check {
  public:
    explicit update_check(const char* data_dir)
        : data_dir_(data_dir), job_(&update_check::run, this) {}
    int server() {
        job_.join();
        return server_;
    }

  private:
    static void run(void* self) {
        auto* check = static_cast<update_check*>(self);
        check->server_ = locate_server(check->data_dir_, server_list);
    }

    const char* data_dir_;
    int server_ = -1;
    platform::joined_job job_; // last: the job starts once the members above are set
};

// What JNI_CreateJavaVM was asked and answered (step 12), for the support log.
struct vm_creation {
    bool tried = false;
    bool entry = false;
    jint result = JNI_ERR;
};

// The support log's lines for steps 10 to 12, written once the update check has ended so that
// its lines keep the order of the steps. A step is logged only when the one before succeeded.
void log_vm_steps(const vm_creation& creation) {
    base::support_line("cruntime").flag("loaded", c_lib != nullptr);
    if (c_lib)
        base::support_line("vmlibrary")
            .text("file", platform::vm_library)
            .flag("loaded", jvm_lib != nullptr);
    if (creation.tried)
        base::support_line("vm").flag("entry", creation.entry).number("result", creation.result);
}

// Steps 10 to 12: the C runtime and VM libraries, and the VM. The VM's environment, or null with
// the message that ends the start in `failure`.
JNIEnv* create_vm(JavaVMInitArgs* vm_args, bool options_made, vm_creation& creation,
                  const messages::message** failure) {
    // 10. C runtime library: the install's own copy first, the system's second.
    c_lib = platform::load_install_library(platform::bundled_c_runtime);
    if (!c_lib)
        c_lib = platform::load_system_library(platform::c_runtime_library);
    if (!c_lib)
        return failed(failure, messages::c_runtime);

    // 11. VM library. Without the install directory's path there is neither library nor options.
    if (!jvm_lib && options_made)
        jvm_lib = platform::load_install_library(platform::vm_library);
    if (!jvm_lib || !options_made)
        return failed(failure, messages::vm_library);

    // 12. VM creation. A library without the entry cannot create a VM either.
    JNIEnv* env = nullptr;
    auto create =
        reinterpret_cast<create_vm_fn>(platform::proc_address(jvm_lib, "JNI_CreateJavaVM"));
    creation.tried = true;
    creation.entry = create != nullptr;
    creation.result = create ? create(&jvm, reinterpret_cast<void**>(&env), vm_args) : JNI_ERR;
    if (creation.result < 0)
        return failed(failure, messages::vm_creation);
    return env;
}

// Steps 1 to 12: everything up to the VM's creation. The VM's environment, or null with the
// message that ends the start in `failure`.
JNIEnv* start_vm(launch_state& state, splash::screen& splash, const messages::message** failure) {
    char* const appDataPath = state.appDataPath;
    auto& paths = state.paths;
    int& jar_count = state.jar_count;
    int& server = state.server;

    // 1. Diagnostics stream; no library is looked for in the current directory or on PATH.
    base::bind_diagnostics(stderr);
    std::FILE* const err = base::diagnostics();
    base::open_support_log();
    base::support_line("start").text("version", appVersion);
    platform::restrict_library_search();

    // 2. VM options and initialisation arguments. Both paths are absolute, in the install
    // directory. The VM reads an empty class path as the current directory, so the class path
    // names a path below the executable's own file instead: no jar or directory can ever be
    // there. Options that cannot be made end the start at step 11.
    char class_path[option_size] = {}, library_path[option_size] = {};
    char executable[platform::max_path];
    const char separator[2] = {platform::path_separator, '\0'};
    bool options_made = platform::executable_path(executable) &&
                        std::snprintf(class_path, option_size, "-Djava.class.path=%s%s-",
                                      executable, separator) > 0 &&
                        install_option(library_path, "-Djava.library.path=", "lib");
    // The vendor's own options (deployment_vm_options) follow the four fixed ones, so that
    // where the VM takes the last of two settings (-Xmx, -D) the vendor's wins.
    std::vector<std::string> vendor_options = launcher::split_vm_options(deployment_vm_options);
    std::vector<JavaVMOption> options(4 + vendor_options.size());
    options[0].optionString = class_path;
    options[1].optionString = library_path;
    options[2].optionString = const_cast<char*>("-Xms768m");
    options[3].optionString = const_cast<char*>("-Dsun.java2d.noddraw=true");
    for (std::size_t i = 0; i < vendor_options.size(); ++i)
        options[4 + i].optionString = vendor_options[i].data();
    JavaVMInitArgs vm_args = {};
    vm_args.version = JNI_VERSION_1_4;
    vm_args.nOptions = static_cast<jint>(options.size());
    vm_args.options = options.data();
    vm_args.ignoreUnrecognized = JNI_TRUE;
    {
        base::support_line line("vmoptions");
        line.flag("made", options_made);
        for (std::size_t i = 0; i < options.size(); ++i)
            line.text(std::to_string(i + 1).c_str(), options[i].optionString);
    }

    // 3. Named mutex: it only has to exist while the process runs.
    platform::create_named_mutex(mutex_name);
    std::fflush(err);

    // 4. DPI awareness.
    make_dpi_aware();

    // 5. Splash screen; the runtime closes it once the application is up.
    ShowSplashScreen(splash);
    std::fflush(err);

    // 6, 7. Data directory and jar list.
    init(appDataPath, deployment_common_appdata);
    jar_count = initjars(appDataPath, paths);
    base::support_line("datadir").text("path", appDataPath);

    // 8. Update check; a download shows its progress on the splash. It runs while the runtime
    // loads and the VM is created (10 to 12), and has ended before anything of it is used or
    // any failure is reported: what it writes to the data directory, the messages and the exit
    // codes are those of the check running first.
    fetch_progress on_splash;
    on_splash.report = &show_download;
    on_splash.context = &splash.progress;
    set_download_progress(on_splash);
    update_check check(appDataPath);

    // 10 to 12: the runtime and the VM (create_vm).
    vm_creation creation;
    JNIEnv* env = create_vm(&vm_args, options_made, creation, failure);
    server = check.server();
    // Nothing downloads after the check: no listener is left to outlive the splash.
    set_download_progress(fetch_progress());
    std::fflush(err);

    // 9. Offline: the install's own application jar stands in for app.jar. So it does online
    // when the data directory has no app.jar (a first install whose download failed).
    const bool no_app_jar = server >= 0 && !platform::file_exists(paths[1]);
    if (server < 0 || no_app_jar) {
        std::free(paths[1]);
        paths[1] = new_install_entry(platform::fallback_jar);
    }
    base::support_line("road")
        .text("mode", server < 0   ? "offline"
                      : no_app_jar ? "fallback"
                                   : "online")
        .text("reason", no_app_jar ? "no-app-jar" : "-")
        .number("server", server)
        .text("jar", paths[1]);
    log_vm_steps(creation);
    // What the application's natives answer with; the jar list is shared, not copied.
    native_context context;
    context.appDataPath = appDataPath;
    context.paths = paths;
    context.server_list = server_list;
    context.server = server;
    context.show_warning = &launcher::report_shell_warning;
    hand_to_natives(context);
    return env;
}

// Steps 13 to 18: the application, from its main loader to the return of its constructor. What
// ends it early or late (a pending exception) is left for the exit to show. True when the main
// class could not be had.
bool run_application(JNIEnv* env, launch_state& state) {
    char* const appDataPath = state.appDataPath;
    auto& paths = state.paths;
    int& jar_count = state.jar_count;
    int& server = state.server;
    std::FILE* const err = base::diagnostics();

    // 13. The main loader over app.jar (or the fallback jar) and the include jar.
    int native_count = 0;
    const JNINativeMethod* natives = launcher::loader_natives(&native_count);
    init_class_loader(env, paths + 1, jar_count - 1, natives, native_count);
    std::fflush(err);

    // 14. Main class. Online, an app.jar that cannot yield a signed main class (unsigned, signed
    // by another key, tampered, without it) gives way to the install's own jar, and the emptied
    // app.ver has the next answer download app.jar again. An exception while the install's jar
    // (or the offline one) loads ends the start: the caller shows it.
    bool threw = false;
    jclass cls = try_loadClass(env, main_class, &threw);
    if (threw && server >= 0) {
        env->ExceptionClear();
        purge_downloaded_app_files(appDataPath);
        std::free(paths[1]);
        paths[1] = new_install_entry(platform::fallback_jar);
        base::support_line("road")
            .text("mode", "fallback")
            .text("reason", "bad-app-jar")
            .number("server", server)
            .text("jar", paths[1]);
        replace_main_loader(env, paths + 1, jar_count - 1);
        cls = try_loadClass(env, main_class, &threw);
    }
    if (threw)
        return true;
    std::fflush(err);
    if (!cls) {
        purge_downloaded_app_files(appDataPath);
    } else {
        // 15. Natives.
        env->RegisterNatives(cls, main_natives, main_native_count);
        base::support_line("natives").flag("registered", env->ExceptionCheck() != JNI_TRUE);

        // 16. Main object: the application runs inside its constructor. A registration that
        // left an exception pending (a native the class does not declare) forbids further JNI
        // calls; the exception is purged and shown below instead.
        if (!env->ExceptionCheck()) {
            jmethodID constructor = env->GetMethodID(cls, "<init>", "()V");
            if (constructor)
                env->NewObject(cls, constructor);
            base::support_line("application")
                .flag("constructed", constructor != nullptr)
                .flag("exception", env->ExceptionCheck() == JNI_TRUE);
        }
    }

    // 17. A pending exception means the application jar may be bad: download it again next time.
    if (env->ExceptionOccurred())
        purge_downloaded_app_files(appDataPath);
    std::fflush(err);

    // 18. The jar list is released by the process exit: application threads may still call
    // gSVCL, which reads it, while the fatal-error dialog is open.
    return !cls;
}

} // namespace

namespace launcher {

void run(launch_state& state) {
    // Lives as long as the process: run never returns, and the library stays loaded for the
    // runtime's own splash support.
    splash::screen splash;
    const messages::message* failure = nullptr;
    JNIEnv* env = start_vm(state, splash, &failure);
    if (!env) {
        base::support_line("exit").number("code", 1);
        report(*failure);
        platform::exit_process(1);
    }
    const bool failed = run_application(env, state);
    // 19. The only exit once the VM exists.
    die(env, failed);
}

} // namespace launcher
