// The class loader bridge in a real VM created in this process, over the signed test
// application. The VM runs with checked JNI, which reports on standard output every JNI call made
// with an exception pending and stops the process on a reference that is not valid on the
// calling thread.
#include "classloader/svcl_dat.h"
#include "config/deployment.h"
#include "launcher/loader_natives.h"
#include "vmhost/class_loader_bridge.h"

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <jni.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using namespace vmhost;

JavaVM* vm;

JNIEnv* env() {
    static JNIEnv* created = [] {
        static std::string class_path = std::string("-Djava.class.path=") + BRIDGE_CLASSES;
        JavaVMOption options[3] = {};
        options[0].optionString = class_path.data();
        options[1].optionString = const_cast<char*>("-Xcheck:jni");
        options[2].optionString = const_cast<char*>("-Djava.awt.headless=true");
        JavaVMInitArgs args{};
        args.version = JNI_VERSION_1_8;
        args.nOptions = 3;
        args.options = options;
        JNIEnv* e = nullptr;
        if (JNI_CreateJavaVM(&vm, reinterpret_cast<void**>(&e), &args) != JNI_OK)
            std::abort();
        return e;
    }();
    return created;
}

// The bridge of the one VM this process can create, set up once (set_up).
loader_bridge& bridge() {
    static loader_bridge made;
    return made;
}

std::string app_jar = std::string(TEST_APP_DIR) + "/app.jar";
std::string include_jar = std::string(TEST_APP_DIR) + "/include.jar";
char* main_jars[] = {app_jar.data(), include_jar.data()};

std::string read_all(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        text.append(buffer, n);
    std::fclose(file);
    return text;
}

struct captured {
    std::string diagnostics; // what the bridge wrote to err
    std::string vm_output;   // what checked JNI wrote to standard output
};

template <class Action> captured capture(Action action, loader_bridge& into = bridge()) {
    std::FILE* diagnostics = std::tmpfile();
    std::FILE* out = std::tmpfile();
    into.diagnostics = diagnostics;
    std::fflush(stdout);
    int saved = dup(1);
    dup2(fileno(out), 1);
    action();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    into.diagnostics = stderr;
    return {read_all(diagnostics), read_all(out)};
}

const captured& set_up() {
    // As the launcher sets it up: its jar checks registered on the loader class.
    static captured once = capture([] {
        int count = 0;
        const JNINativeMethod* natives = launcher::loader_natives(&count);
        init_class_loader(env(), bridge(), main_jars, 2, natives, count);
    });
    return once;
}

jobject call_object(jobject target, const char* klass, const char* name, const char* signature) {
    jclass c = env()->FindClass(klass);
    return env()->CallObjectMethod(target, env()->GetMethodID(c, name, signature));
}

jobject loader_field(jobject instance, const char* name, const char* type) {
    return env()->GetObjectField(instance, env()->GetFieldID(bridge().loaderClass, name, type));
}

int jar_count_of(jobject instance) {
    jobject jars = loader_field(instance, "jars", "Ljava/util/ArrayList;");
    jclass list = env()->FindClass("java/util/ArrayList");
    return env()->CallIntMethod(jars, env()->GetMethodID(list, "size", "()I"));
}

std::string pending_exception_class() {
    jthrowable t = env()->ExceptionOccurred();
    if (!t)
        return "";
    env()->ExceptionClear();
    auto name = static_cast<jstring>(call_object(env()->GetObjectClass(t), "java/lang/Class",
                                                 "getName", "()Ljava/lang/String;"));
    const char* chars = env()->GetStringUTFChars(name, nullptr);
    std::string result = chars;
    env()->ReleaseStringUTFChars(name, chars);
    return result;
}

TEST(Bridge, EmbeddedLoaderClassIsJava6Format) {
    const unsigned char header[] = {0xCA, 0xFE, 0xBA, 0xBE, 0x00, 0x00, 0x00, 50};
    ASSERT_GT(classloader::__svcl_dat_length, 8);
    EXPECT_EQ(std::memcmp(classloader::__svcl_dat, header, sizeof header), 0);
}

TEST(Bridge, SetUpDefinesTheLoaderClassAndTheMainLoader) {
    const captured& c = set_up();
    EXPECT_EQ(c.diagnostics, "");
    EXPECT_EQ(c.vm_output.find("exception pending"), std::string::npos) << c.vm_output;
    ASSERT_FALSE(env()->ExceptionCheck());

    ASSERT_NE(bridge().sysCL, nullptr);
    ASSERT_NE(bridge().loaderClass, nullptr);
    EXPECT_EQ(env()->GetObjectRefType(bridge().sysCL), JNIGlobalRefType);
    EXPECT_EQ(env()->GetObjectRefType(bridge().loaderClass), JNIGlobalRefType);
    EXPECT_NE(bridge().loaderConstructor, nullptr);
    EXPECT_NE(bridge().mFindClass, nullptr);

    jclass cl = env()->FindClass("java/lang/ClassLoader");
    jobject system = env()->CallStaticObjectMethod(
        cl, env()->GetStaticMethodID(cl, "getSystemClassLoader", "()Ljava/lang/ClassLoader;"));
    EXPECT_TRUE(env()->IsSameObject(bridge().sysCL, system));
    EXPECT_TRUE(env()->IsSameObject(call_object(bridge().loaderClass, "java/lang/Class",
                                                "getClassLoader", "()Ljava/lang/ClassLoader;"),
                                    bridge().sysCL));

    ASSERT_NE(bridge().loader, nullptr);
    EXPECT_TRUE(env()->IsInstanceOf(bridge().loader, bridge().loaderClass));
    EXPECT_EQ(jar_count_of(bridge().loader), 2);
    EXPECT_TRUE(env()->GetBooleanField(
        bridge().loader, env()->GetFieldID(bridge().loaderClass, "checksNatively", "Z")));
}

TEST(Bridge, EveryNewLoaderIsItsOwnInstanceWithItsOwnDigest) {
    set_up();
    jobject first = nullptr, second = nullptr;
    auto c = capture([&] {
        first = new_class_loader(env(), bridge(), nullptr, 0);
        second = new_class_loader(env(), bridge(), nullptr, 0);
    });
    EXPECT_EQ(c.diagnostics, "");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(env()->IsSameObject(first, second));
    EXPECT_EQ(jar_count_of(first), 0);

    jobject digests[2] = {loader_field(first, "signature", "[B"),
                          loader_field(second, "signature", "[B")};
    EXPECT_FALSE(env()->IsSameObject(digests[0], digests[1]));
    for (jobject d : digests) {
        auto array = static_cast<jbyteArray>(d);
        ASSERT_EQ(env()->GetArrayLength(array), 20);
        jbyte bytes[20];
        env()->GetByteArrayRegion(array, 0, 20, bytes);
        EXPECT_EQ(std::memcmp(bytes, config::signature, 20), 0);
    }
    for (jobject l : {first, second})
        EXPECT_TRUE(env()->IsSameObject(
            call_object(l, "java/lang/ClassLoader", "getParent", "()Ljava/lang/ClassLoader;"),
            bridge().sysCL));
}

TEST(Bridge, MissingJarListEntryIsSkipped) {
    set_up();
    char* jars[] = {nullptr, app_jar.data()};
    jobject l = new_class_loader(env(), bridge(), jars, 2);
    ASSERT_NE(l, nullptr);
    ASSERT_FALSE(env()->ExceptionCheck());
    EXPECT_EQ(jar_count_of(l), 1);
}

TEST(Bridge, MainClassComesFromTheMainLoader) {
    set_up();
    jclass cls = loadClass(env(), bridge(), "a.b.a.a.a");
    ASSERT_NE(cls, nullptr);
    EXPECT_TRUE(env()->IsSameObject(
        call_object(cls, "java/lang/Class", "getClassLoader", "()Ljava/lang/ClassLoader;"),
        bridge().loader));
}

TEST(Bridge, ClassWithoutNoArgumentConstructorLeavesNoSuchMethodErrorPending) {
    set_up();
    jclass cls = reinterpret_cast<jclass>(1);
    auto c = capture([&] { cls = loadClass(env(), bridge(), "test.NoDefaultConstructor"); });
    EXPECT_EQ(cls, nullptr);
    EXPECT_EQ(c.diagnostics, "Assertion failed! mid == NULL, line=156\n");
    EXPECT_EQ(pending_exception_class(), "java.lang.NoSuchMethodError");
}

TEST(Bridge, LoaderAnsweringNullGivesNoClass) {
    set_up();
    jclass null_loader = env()->FindClass("NullLoader");
    ASSERT_NE(null_loader, nullptr);
    jobject replacement = env()->NewObject(
        null_loader, env()->GetMethodID(null_loader, "<init>", "(Ljava/lang/ClassLoader;)V"),
        bridge().sysCL);
    ASSERT_NE(replacement, nullptr);

    loader_bridge answering_null = bridge();
    answering_null.loader = replacement;
    jclass cls = reinterpret_cast<jclass>(1);
    auto c = capture([&] { cls = loadClass(env(), answering_null, "a.b.a.a.a"); }, answering_null);
    EXPECT_EQ(cls, nullptr);
    EXPECT_EQ(c.diagnostics, "Assertion failed! cls == NULL, line=153\n");
    EXPECT_FALSE(env()->ExceptionCheck());
}

// gSVCL builds loaders on application threads from what the launcher's thread set up.
TEST(Bridge, NewLoaderOnAnotherThread) {
    set_up();
    bool loaded = false;
    std::thread application([&] {
        JNIEnv* e = nullptr;
        if (vm->AttachCurrentThread(reinterpret_cast<void**>(&e), nullptr) != JNI_OK)
            return;
        jobject l = new_class_loader(e, bridge(), main_jars, 2);
        if (l) {
            jstring name = e->NewStringUTF("test.Ok");
            loaded = e->CallObjectMethod(l, bridge().mFindClass, name) != nullptr &&
                     !e->ExceptionCheck();
        }
        e->ExceptionClear();
        vm->DetachCurrentThread();
    });
    application.join();
    EXPECT_TRUE(loaded);
}

// A set-up step that fails leaves its exception pending; the steps after it make no JNI call and
// write their assertion lines, and loadClass gives no class.
TEST(FailedSetup, LaterStepsMakeNoCallsAndTheExceptionStaysPending) {
    set_up();
    // Defining the class a second time, into a bridge of its own, fails with the VM's
    // LinkageError.
    loader_bridge second;
    auto c = capture([&] { init_class_loader(env(), second, main_jars, 2); }, second);
    EXPECT_EQ(c.diagnostics, "Assertion failed! loaderClass == NULL, line=128\n"
                             "Assertion failed! loaderConstructor == NULL, line=131\n"
                             "Assertion failed! new_loader == NULL, line=100\n"
                             "Assertion failed! mFindClass == NULL, line=137\n");
    EXPECT_NE(second.sysCL, nullptr);

    jclass cls = reinterpret_cast<jclass>(1);
    jobject another = reinterpret_cast<jobject>(1);
    auto later = capture(
        [&] {
            cls = loadClass(env(), second, "a.b.a.a.a");
            another = new_class_loader(env(), second, main_jars, 2);
        },
        second);
    EXPECT_EQ(cls, nullptr);
    EXPECT_EQ(another, nullptr);
    EXPECT_EQ(later.diagnostics, "Assertion failed! cls == NULL, line=153\n"
                                 "Assertion failed! new_loader == NULL, line=100\n");
    EXPECT_EQ(c.vm_output.find("exception pending"), std::string::npos) << c.vm_output;
    EXPECT_EQ(later.vm_output.find("exception pending"), std::string::npos) << later.vm_output;
    EXPECT_EQ(pending_exception_class(), "java.lang.LinkageError");
}

} // namespace
