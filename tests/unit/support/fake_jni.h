// A JNIEnv without a VM, for natives that only pass strings, byte arrays and registrations:
// strings and arrays live in the fake, and what the natives did is recorded.
#pragma once

#include <deque>
#include <jni.h>
#include <string>
#include <vector>

namespace fake {

struct registration {
    jclass target;
    std::vector<std::string> names, signatures;
    std::vector<void*> functions;
};

class jni {
  public:
    jni() {
        table_.GetStringUTFChars = &get_string_utf_chars;
        table_.ReleaseStringUTFChars = &release_string_utf_chars;
        table_.NewStringUTF = &new_string_utf;
        table_.NewByteArray = &new_byte_array;
        table_.SetByteArrayRegion = &set_byte_array_region;
        table_.RegisterNatives = &register_natives;
        env_.functions = &table_;
        current() = this;
    }
    ~jni() { current() = nullptr; }
    jni(const jni&) = delete;
    jni& operator=(const jni&) = delete;

    JNIEnv* env() { return &env_; }
    jstring string(const std::string& text) {
        strings.push_back(text);
        return reinterpret_cast<jstring>(&strings.back());
    }
    static const std::string& text(jstring s) { return *reinterpret_cast<std::string*>(s); }
    static const std::vector<jbyte>& bytes(jbyteArray a) {
        return *reinterpret_cast<std::vector<jbyte>*>(a);
    }

    std::deque<std::string> strings;
    std::deque<std::vector<jbyte>> arrays;
    std::vector<registration> registrations;
    int released = 0;
    bool refuse_utf_chars = false; // GetStringUTFChars runs out of memory

  private:
    static jni*& current() {
        static jni* instance;
        return instance;
    }
    static const char* JNICALL get_string_utf_chars(JNIEnv*, jstring s, jboolean*) {
        return current()->refuse_utf_chars ? nullptr : text(s).c_str();
    }
    static void JNICALL release_string_utf_chars(JNIEnv*, jstring, const char*) {
        ++current()->released;
    }
    static jstring JNICALL new_string_utf(JNIEnv*, const char* utf) {
        return current()->string(utf);
    }
    static jbyteArray JNICALL new_byte_array(JNIEnv*, jsize length) {
        current()->arrays.emplace_back(static_cast<std::size_t>(length));
        return reinterpret_cast<jbyteArray>(&current()->arrays.back());
    }
    static void JNICALL set_byte_array_region(JNIEnv*, jbyteArray a, jsize start, jsize length,
                                              const jbyte* from) {
        auto& target = *reinterpret_cast<std::vector<jbyte>*>(a);
        for (jsize i = 0; i < length; ++i)
            target.at(static_cast<std::size_t>(start + i)) = from[i];
    }
    static jint JNICALL register_natives(JNIEnv*, jclass target, const JNINativeMethod* methods,
                                         jint count) {
        registration r{target, {}, {}, {}};
        for (jint i = 0; i < count; ++i) {
            r.names.push_back(methods[i].name);
            r.signatures.push_back(methods[i].signature);
            r.functions.push_back(methods[i].fnPtr);
        }
        current()->registrations.push_back(r);
        return JNI_OK;
    }

    JNINativeInterface_ table_{};
    JNIEnv env_{};
};

} // namespace fake
