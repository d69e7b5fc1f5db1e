// Whether this i386 process runs through a user-mode emulator rather than on the processor, so
// that programs that print speed figures can say those figures do not compare with native ones.
#include "platform/machine/machine.h"

#include <sys/utsname.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int detect() {
    // tools/i386-run says how it started the program.
    if (const char *mode = std::getenv("KIV_I386_MODE"); mode && *mode)
        return std::strcmp(mode, "native") != 0;
    // A 32-bit process on a 64-bit x86 kernel sees the kernel's machine name; the emulator shows
    // the guest's (i686) instead, on a processor that is 64-bit (x86 flag "lm") or not x86 at all.
    struct utsname u;
    if (uname(&u) != 0 || std::strcmp(u.machine, "x86_64") == 0) return 0;
    FILE *f = std::fopen("/proc/cpuinfo", "re");
    if (!f) return 0;
    char line[4096];
    int sawFlags = 0, longMode = 0;
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "flags", 5) != 0) continue;
        sawFlags = 1;
        longMode = std::strstr(line, " lm ") != nullptr || std::strstr(line, " lm\n") != nullptr;
        break;
    }
    std::fclose(f);
    return !sawFlags || longMode;
}

}  // namespace

extern "C" int kivRunsEmulated(void) {
    static const int emulated = detect();
    return emulated;
}
