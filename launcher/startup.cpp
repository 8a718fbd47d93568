// The start-up sequence: from program entry to process exit, on the main thread, in one fixed
// order. Every road ends in a process exit. The one exception to the single thread is the update
// check, which runs beside the loading of the runtime and the VM's creation (see start_vm).
#include "launcher/startup.h"

#include "base/support_log.h"
#include "config/deployment.h"
#include "config/product.h"
#include "launcher/data_dir.h"
#include "launcher/exit.h"
#include "launcher/loader_natives.h"
#include "launcher/report.h"
#include "launcher/vm_environment.h"
#include "launcher/vm_options.h"
#include "platform/platform.h"
#include "splash/screen.h"
#include "update/version_check.h"
#include "vmhost/class_loader_bridge.h"
#include "vmhost/natives.h"
#include "vmhost/session.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jni.h>
#include <string>
#include <vector>

using update::fetch_progress;
using update::fetch_stage;
using update::locate_server;
using update::purge_downloaded_app_files;

namespace launcher {

namespace {

constexpr const char* main_class = "a.b.a.a.a";

using set_dpi_aware_fn = int (*)();
using create_vm_fn = jint(JNICALL*)(JavaVM**, void**, void*);

// How steps 1 to 12 end: the VM's environment, or the message that ends the start.
struct vm_start {
    JNIEnv* env = nullptr;
    const messages::message* failure = nullptr;
};

// A step that cannot go on names its message and gives no VM.
vm_start failed(const messages::message& message) {
    return {nullptr, &message};
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
        progress.update(received, length, config::deployment_progress_color);
    else
        progress.end(stage == fetch_stage::complete);
}

// The update check (locate_server) on a thread of its own. The check and the VM's creation need
// nothing of each other: the check reads and writes only the data directory, and nothing reads
// app.jar before the main loader is made. server() waits for the check's end; a download's
// progress goes to `progress` until then.
class update_check {
  public:
    update_check(const char* data_dir, const fetch_progress& progress)
        : data_dir_(data_dir), progress_(progress), job_(&update_check::run, this) {}
    int server() {
        job_.join();
        return server_;
    }

  private:
    static void run(void* self) {
        auto* check = static_cast<update_check*>(self);
        check->server_ = locate_server(check->data_dir_, config::server_list, &check->progress_);
    }

    const char* data_dir_;
    const fetch_progress progress_;
    int server_ = -1;
    platform::joined_job job_; // last: the job starts once the members above are set
};

// What JNI_CreateJavaVM was asked and answered (step 11), for the support log.
struct vm_creation {
    bool tried = false;
    bool entry = false;
    jint result = JNI_ERR;
};

// The support log's lines for steps 9 to 11, written once the update check has ended so that
// its lines keep the order of the steps. A step is logged only when the one before succeeded.
void log_vm_steps(const vmhost::session& vm, const vm_creation& creation) {
    base::support_line("cruntime").flag("loaded", vm.c_runtime != nullptr);
    if (vm.c_runtime)
        base::support_line("vmlibrary")
            .text("file", platform::vm_library)
            .flag("loaded", vm.vm_library != nullptr);
    if (creation.tried)
        base::support_line("vm").flag("entry", creation.entry).number("result", creation.result);
}

// Steps 9 to 11, defined below start_vm.
vm_start create_vm(vmhost::session& vm, JavaVMInitArgs* vm_args, bool options_made,
                   vm_creation& creation);

// Steps 1 to 12: everything up to the VM's creation, which the VM session keeps.
vm_start start_vm(launch_state& state, splash::screen& splash, base::support_log& log,
                  vmhost::session& vm) {
    char* const appDataPath = state.appDataPath;
    jar_list& jars = state.jars;
    int& server = state.server;

    // 1. Diagnostics on standard error; no library is looked for in the current directory or on
    // PATH, and the VM takes no options from the environment.
    std::FILE* const err = stderr;
    vm.bridge.diagnostics = err;
    base::open_support_log(log);
    base::support_line("start").text("version", config::appVersion);
    platform::restrict_library_search();
    launcher::clear_vm_environment();

    // 2. VM options and initialisation arguments. Both paths are absolute, in the install
    // directory. The VM reads an empty class path as the current directory, so the class path
    // names a path below the executable's own file instead: no jar or directory can ever be
    // there. Options that cannot be made end the start at step 10.
    char class_path[option_size] = {}, library_path[option_size] = {};
    char executable[platform::max_path];
    const char separator[2] = {platform::path_separator, '\0'};
    bool options_made = platform::executable_path(executable) &&
                        std::snprintf(class_path, option_size, "-Djava.class.path=%s%s-",
                                      executable, separator) > 0 &&
                        install_option(library_path, "-Djava.library.path=", "lib");
    // The vendor's own options (config::deployment_vm_options) follow the four fixed ones, so that
    // where the VM takes the last of two settings (-Xmx, -D) the vendor's wins.
    std::vector<std::string> vendor_options = split_vm_options(config::deployment_vm_options);
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
    platform::create_named_mutex(config::mutex_name);
    std::fflush(err);

    // 4. DPI awareness.
    make_dpi_aware();

    // 5. Splash screen; the runtime closes it once the application is up.
    ShowSplashScreen(splash);
    std::fflush(err);

    // 6, 7. Data directory and jar list.
    init(appDataPath, config::deployment_common_appdata);
    jars.count = initjars(appDataPath, jars.paths);
    base::support_line("datadir").text("path", appDataPath);

    // 8. Update check; a download shows its progress on the splash. It runs while the runtime
    // loads and the VM is created (9 to 11), and has ended before anything of it is used or
    // any failure is reported: what it writes to the data directory, the messages and the exit
    // codes are those of the check running first.
    fetch_progress on_splash;
    on_splash.report = &show_download;
    on_splash.context = &splash.progress;
    update_check check(appDataPath, on_splash);

    // 9 to 11: the runtime and the VM (create_vm).
    vm_creation creation;
    vm_start started = create_vm(vm, &vm_args, options_made, creation);
    server = check.server();
    std::fflush(err);

    // 12. Offline: the install's own application jar stands in for app.jar. So it does online
    // when the data directory has no app.jar (a first install whose download failed), or has
    // something else by that name: a fifo or a link would hold the VM's open for good.
    char*& app_jar = jars.paths[jar_list::app_jar];
    const bool no_app_jar = server >= 0 && !platform::plain_file(app_jar);
    if (server < 0 || no_app_jar) {
        std::free(app_jar);
        app_jar = new_install_entry(platform::fallback_jar);
    }
    base::support_line("road")
        .text("mode", server < 0   ? "offline"
                      : no_app_jar ? "fallback"
                                   : "online")
        .text("reason", no_app_jar ? "no-app-jar" : "-")
        .number("server", server)
        .text("jar", app_jar);
    log_vm_steps(vm, creation);
    // What the application's natives answer with; the jar list is shared, not copied.
    vmhost::native_context& context = vm.natives;
    context.appDataPath = appDataPath;
    context.jars = &jars;
    context.server_list = config::server_list;
    context.server = server;
    context.show_warning = &report_shell_warning;
    vmhost::hand_to_natives(vm);
    return started;
}

// Steps 9 to 11: the C runtime and VM libraries, and the VM, into `vm`.
vm_start create_vm(vmhost::session& vm, JavaVMInitArgs* vm_args, bool options_made,
                   vm_creation& creation) {
    // 9. C runtime library: the install's own copy first, the system's second.
    vm.c_runtime = platform::load_install_library(platform::bundled_c_runtime);
    if (!vm.c_runtime)
        vm.c_runtime = platform::load_system_library(platform::c_runtime_library);
    if (!vm.c_runtime)
        return failed(messages::c_runtime);

    // 10. VM library. Without the install directory's path there is neither library nor options.
    if (options_made)
        vm.vm_library = platform::load_install_library(platform::vm_library);
    if (!vm.vm_library || !options_made)
        return failed(messages::vm_library);

    // 11. VM creation. A library without the entry cannot create a VM either.
    JNIEnv* env = nullptr;
    auto create =
        reinterpret_cast<create_vm_fn>(platform::proc_address(vm.vm_library, "JNI_CreateJavaVM"));
    creation.tried = true;
    creation.entry = create != nullptr;
    creation.result = create ? create(&vm.vm, reinterpret_cast<void**>(&env), vm_args) : JNI_ERR;
    if (creation.result < 0)
        return failed(messages::vm_creation);
    return {env, nullptr};
}

// Steps 13 to 18: the application, from its main loader to the return of its constructor. What
// ends it early or late (a pending exception) is left for the exit to show. True when the main
// class could not be had.
bool run_application(JNIEnv* env, launch_state& state, vmhost::loader_bridge& bridge) {
    char* const appDataPath = state.appDataPath;
    jar_list& jars = state.jars;
    int& server = state.server;
    std::FILE* const err = bridge.diagnostics;

    // 13. The main loader over app.jar (or the fallback jar) and the include jar.
    int native_count = 0;
    const JNINativeMethod* natives = launcher::loader_natives(&native_count);
    vmhost::init_class_loader(env, bridge, jars.main_jars(), jars.main_count(), natives,
                              native_count);
    std::fflush(err);

    // 14. Main class. Online, an app.jar that cannot yield a signed main class (unsigned, signed
    // by another key, tampered, without it) gives way to the install's own jar, and the emptied
    // app.ver has the next answer download app.jar again. An exception while the install's jar
    // (or the offline one) loads ends the start: the caller shows it.
    bool threw = false;
    jclass cls = vmhost::try_loadClass(env, bridge, main_class, &threw);
    if (threw && server >= 0) {
        env->ExceptionClear();
        purge_downloaded_app_files(appDataPath);
        char*& app_jar = jars.paths[jar_list::app_jar];
        std::free(app_jar);
        app_jar = new_install_entry(platform::fallback_jar);
        base::support_line("road")
            .text("mode", "fallback")
            .text("reason", "bad-app-jar")
            .number("server", server)
            .text("jar", app_jar);
        vmhost::replace_main_loader(env, bridge, jars.main_jars(), jars.main_count());
        cls = vmhost::try_loadClass(env, bridge, main_class, &threw);
    }
    if (threw)
        return true;
    std::fflush(err);
    if (!cls) {
        purge_downloaded_app_files(appDataPath);
    } else {
        // 15. Natives.
        env->RegisterNatives(cls, vmhost::main_natives, vmhost::main_native_count);
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

void run(launch_state& state) {
    // These live as long as the process: run never returns. The splash library stays loaded for
    // the runtime's own splash support; application threads write support lines and call the
    // natives, which read the VM session, until the process ends.
    base::support_log log;
    splash::screen splash;
    vmhost::session vm;
    vm_start started = start_vm(state, splash, log, vm);
    if (!started.env)
        fail(*started.failure);
    const bool failed = run_application(started.env, state, vm.bridge);
    // 19. The only exit once the VM exists.
    die(started.env, failed, vm.bridge.diagnostics);
}

} // namespace launcher
