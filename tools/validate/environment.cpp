#include "environment.h"

#include <cstdlib>
#include <cstring>

#include "validate/validator.h"

namespace validate {

bool underSanitizer() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

bool underValgrind() {
    // Valgrind preloads its own libraries into the program it runs.
    const char* preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::strstr(preload, "vgpreload") != nullptr;
}

bool allocatorKeepsFreedMemory() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#else
    return underValgrind();
#endif
}

bool hasDisplay() {
#if defined(_WIN32)
    return true;
#else
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '\0') {
            return true;
        }
    }
    return false;
#endif
}

}  // namespace validate
