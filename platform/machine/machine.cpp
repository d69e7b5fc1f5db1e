// The simulated PC's configuration, screen mode, display device and boot.
#include "platform/machine/machine.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ddraw_nt/ddraw_nt_link.h"
#include "platform/ntgdi/ntgdi.h"
#include "platform/ntgdi/winddi.h"
#include "platform/videoprt/ntkernel.h"
#include "platform/videoprt/videoprt.h"
#include "platform/videoprt/videoprt_sim.h"
#include "platform/zk3/zk3.h"

namespace {

KivMachineConfig defaultConfig() { return KivMachineConfig{KIV_OS_NT, KIV_CARD_ZK3, 16u << 20, KIV_BUS_AGP, 0}; }

// The video memory each card can carry: the ZK3's frame-buffer aperture holds 16 MB, the SIV's
// memory window as much.
struct CardLimits {
    KivCard card;
    const char *name;
    uint32_t minMb, maxMb;
};
constexpr CardLimits kCards[] = {
    {KIV_CARD_ZK3, "ZK3", 1, 16},
    {KIV_CARD_SIV, "SIV", 1, 16},
};

const CardLimits &limitsOf(KivCard card) {
    for (const CardLimits &l : kCards)
        if (l.card == card) return l;
    return kCards[0];
}

// What every card supports, for messages: "the ZK3 card carries 1 to 16 MB, the SIV card ...".
std::string cardsSupport() {
    std::string s;
    for (const CardLimits &l : kCards) {
        if (!s.empty()) s += ", ";
        s += "the " + std::string(l.name) + " card carries " + std::to_string(l.minMb) + " to " + std::to_string(l.maxMb) +
             " MB of video memory";
    }
    return s;
}

std::string g_refusal;   // why the last parse or check refused, for kivMachineRefusal

// The words of a machine description: each sets one setting of the configuration to one value.
enum Setting { kOsSetting, kCardSetting, kBusSetting, kDirectDrawSetting, kMemorySetting, kSettingCount };
struct MachineWord {
    const char *word;
    Setting setting;
    int value;
};
constexpr MachineWord kWords[] = {
    {"nt", kOsSetting, KIV_OS_NT},         {"nt4", kOsSetting, KIV_OS_NT},        {"winnt", kOsSetting, KIV_OS_NT},
    {"9x", kOsSetting, KIV_OS_9X},         {"win9x", kOsSetting, KIV_OS_9X},      {"windows95", kOsSetting, KIV_OS_9X},
    {"win95", kOsSetting, KIV_OS_9X},      {"win98", kOsSetting, KIV_OS_9X},      {"zk3", kCardSetting, KIV_CARD_ZK3},
    {"siv", kCardSetting, KIV_CARD_SIV},   {"agp", kBusSetting, KIV_BUS_AGP},     {"pci", kBusSetting, KIV_BUS_PCI},
    {"noddraw", kDirectDrawSetting, 1},    {"ddraw", kDirectDrawSetting, 0},
};

// "nt, nt4, ..., ddraw, <n>mb (the ZK3 card carries 1 to 16 MB, ...)": every word the parser knows.
std::string knownWords() {
    std::string s;
    for (const MachineWord &w : kWords) s += std::string(w.word) + ", ";
    return s + "<n>mb (" + cardsSupport() + ")";
}

void applySetting(KivMachineConfig &c, Setting setting, int value) {
    switch (setting) {
        case kOsSetting: c.os = KivOs(value); break;
        case kCardSetting: c.card = KivCard(value); break;
        case kBusSetting: c.bus = KivBus(value); break;
        case kDirectDrawSetting: c.noDirectDraw = value; break;
        case kMemorySetting: c.videoMemoryBytes = uint32_t(value) << 20; break;
        case kSettingCount: break;
    }
}

std::mutex &machineLock() {
    static std::mutex m;
    return m;
}
KivMachineConfig g_config;
bool g_configured = false;
KivScreenMode g_mode{1024, 768, 16};
std::atomic<const KivDisplayDevice *> g_display{nullptr};
char g_description[128];
bool g_engineBooted = false;   // kivMachineBoot started the video port and the graphics engine

std::string describe(const KivMachineConfig &c) {
    char text[128];
    std::snprintf(text, sizeof text, "%s, %s on %s, %u MB%s", c.os == KIV_OS_9X ? "Windows 98" : "Windows NT 4.0",
                  c.card == KIV_CARD_SIV ? "SIV" : "ZK3", c.bus == KIV_BUS_PCI ? "PCI" : "AGP", c.videoMemoryBytes >> 20,
                  c.noDirectDraw ? ", no DirectDraw" : "");
    return text;
}

// The desktop the machine boots into must fit in the video memory; a card too small for it is
// refused with what it would need rather than left to fail inside the display driver.
bool desktopFits(const KivMachineConfig &c, const KivScreenMode &mode) {
    const uint64_t bytes = uint64_t(mode.width) * uint64_t(mode.height) * uint64_t((mode.bpp + 7) / 8);
    if (bytes <= c.videoMemoryBytes) return true;
    const uint64_t leastMb = (bytes + (1u << 20) - 1) >> 20;
    char text[256];
    std::snprintf(text, sizeof text,
                  "the %d x %d desktop at %d bits per pixel needs %.2f MB of video memory, more than the %u MB the "
                  "card has (KIV_MACHINE: %llumb or more)",
                  mode.width, mode.height, mode.bpp, double(bytes) / double(1u << 20), c.videoMemoryBytes >> 20,
                  static_cast<unsigned long long>(leastMb));
    g_refusal = text;
    return false;
}

// The real display driver serves the NT machine with the ZK3; elsewhere the double stands in.
bool realDriverServes(const KivMachineConfig &c) { return c.os == KIV_OS_NT && c.card == KIV_CARD_ZK3; }

void registerDisplayFor(const KivMachineConfig &c) {
    kivMachineRegisterDisplay(g_engineBooted && realDriverServes(c) && kivEngineRunning() ? kivEngineDisplayDevice()
                                                                                          : kivDisplayDriverDouble());
}

void shutDownEngine() {
    if (!g_engineBooted) return;
    kivDDrawDisplayLeaving();
    kivEngineShutdown();
    kivVideoPortShutdown();
    kivUserMemoryByDefault(false);
    g_engineBooted = false;
}

// NT boots the video port with its miniport, then the graphics engine loads the display
// driver and sets the desktop mode.
bool bootEngine(const KivMachineConfig &c) {
    KivVideoPortConfig vc;
    vc.card = KivVideoCard::ZK3;
    vc.videoMemoryBytes = c.videoMemoryBytes;
    if (!kivVideoPortBoot(vc)) {
        if (*kivVideoPortLoadError())
            std::fprintf(stderr, "kiv: the video port cannot load the miniport %s: %s\n", vc.moduleName,
                         kivVideoPortLoadError());
        else
            std::fprintf(stderr, "kiv: the video port found no adapter (miniport %s)\n", vc.moduleName);
        kivVideoPortShutdown();
        return false;
    }
    KivEngineConfig ec;
    ec.width = static_cast<uint32_t>(g_mode.width);
    ec.height = static_cast<uint32_t>(g_mode.height);
    ec.bitsPerPel = static_cast<uint32_t>(g_mode.bpp);
    ec.frequency = 60;
    if (!kivEngineBoot(ec)) {
        std::fprintf(stderr, "kiv: the display driver did not enable %d x %d at %d bits per pixel\n", g_mode.width,
                     g_mode.height, g_mode.bpp);
        kivVideoPortShutdown();
        return false;
    }
    kivUserMemoryByDefault(true);
    g_engineBooted = true;
    return true;
}

}  // namespace

extern "C" {

int kivMachineParse(const char *text, KivMachineConfig *config) {
    *config = defaultConfig();
    g_refusal.clear();
    if (!text) return 1;
    // The word that chose each setting and its value; two words that choose different values
    // of one setting cancel each other, and the default stays.
    struct Choice {
        std::string word;
        int value = 0;
        bool contradicted = false;
    } chosen[kSettingCount];
    std::vector<std::string> problems;
    bool unknown = false;
    auto choose = [&](Setting setting, const std::string &word, int value) {
        Choice &ch = chosen[setting];
        if (ch.word.empty()) {
            ch.word = word;
            ch.value = value;
        } else if (ch.value != value && !ch.contradicted) {
            ch.contradicted = true;
            problems.push_back("\"" + ch.word + "\" and \"" + word + "\" contradict each other, neither is used");
        }
    };
    std::string word;
    const std::string s = std::string(text) + ',';
    for (char ch : s) {
        if (ch != ',' && ch != '-' && ch != ' ' && ch != ';') {
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            continue;
        }
        if (word.empty()) continue;
        const MachineWord *known = nullptr;
        for (const MachineWord &w : kWords)
            if (word == w.word) known = &w;
        if (known) {
            choose(known->setting, word, known->value);
        } else if (word.size() > 2 && word.compare(word.size() - 2, 2, "mb") == 0) {
            char *end = nullptr;
            const unsigned long mb = std::strtoul(word.c_str(), &end, 10);
            if (!std::isdigit(static_cast<unsigned char>(word[0])) || end != word.c_str() + word.size() - 2 || mb < 1 ||
                mb > 4095)
                problems.push_back("\"" + word + "\" is no memory size");
            else
                choose(kMemorySetting, word, int(mb));
        } else {
            problems.push_back("\"" + word + "\" is not a word it knows");
            unknown = true;
        }
        word.clear();
    }
    KivMachineConfig c = defaultConfig();
    for (int setting = 0; setting < kMemorySetting; ++setting)
        if (!chosen[setting].word.empty() && !chosen[setting].contradicted)
            applySetting(c, Setting(setting), chosen[setting].value);
    if (const Choice &memory = chosen[kMemorySetting]; !memory.word.empty() && !memory.contradicted) {
        KivMachineConfig sized = c;
        applySetting(sized, kMemorySetting, memory.value);
        if (kivMachineCheck(&sized)) c = sized;
        else problems.push_back(g_refusal);
    }
    std::string why;
    for (const std::string &p : problems) why += (why.empty() ? "" : "; ") + p;
    if (unknown) why += "; the words it knows: " + knownWords();
    g_refusal = why;
    *config = c;
    return problems.empty() ? 1 : 0;
}

int kivMachineCheck(const KivMachineConfig *c) {
    const CardLimits &l = limitsOf(c->card);
    const uint32_t mb = c->videoMemoryBytes >> 20;
    if ((c->videoMemoryBytes & 0xFFFFF) == 0 && mb >= l.minMb && mb <= l.maxMb) return 1;
    g_refusal = "no " + std::string(l.name) + " card has " + std::to_string(mb) + " MB of video memory: " + cardsSupport();
    return 0;
}

const char *kivMachineRefusal(void) { return g_refusal.c_str(); }

const KivMachineConfig *kivMachineConfig(void) {
    std::lock_guard<std::mutex> g(machineLock());
    if (!g_configured) {
        const char *env = std::getenv("KIV_MACHINE");
        if (!kivMachineParse(env, &g_config))
            std::fprintf(stderr, "kiv: KIV_MACHINE=\"%s\": %s; running %s\n", env, g_refusal.c_str(),
                         describe(g_config).c_str());
        g_configured = true;
    }
    return &g_config;
}

void kivMachineConfigure(const KivMachineConfig *config) {
    KivMachineConfig c;
    {
        std::lock_guard<std::mutex> g(machineLock());
        g_config = config ? *config : defaultConfig();
        g_configured = true;
        c = g_config;
    }
    // Another operating system or card has another display driver.
    if (g_engineBooted) registerDisplayFor(c);
}

const char *kivMachineDescribe(void) {
    std::snprintf(g_description, sizeof g_description, "%s", describe(*kivMachineConfig()).c_str());
    return g_description;
}

const KivScreenMode *kivScreenMode(void) { return &g_mode; }

void kivSetScreenMode(const KivScreenMode *mode) {
    if (!mode) return;
    const KivScreenMode old = g_mode;
    g_mode = *mode;
    // On a running machine the desktop changes mode through the graphics engine.
    if (g_engineBooted && kivEngineRunning() && (old.width != mode->width || old.height != mode->height || old.bpp != mode->bpp)) {
        // DirectDraw's surfaces belong to the old mode: the driver forgets them, programs find
        // them lost.
        kivDDrawDisplayLeaving();
        if (!kivEngineChangeMode(static_cast<uint32_t>(mode->width), static_cast<uint32_t>(mode->height),
                                 static_cast<uint32_t>(mode->bpp), 60)) {
            std::fprintf(stderr, "kiv: the display driver refused %d x %d at %d bits per pixel\n", mode->width,
                         mode->height, mode->bpp);
            g_mode = old;
        }
    }
}

int kivMachineOffersDirectDraw(void) {
    const KivMachineConfig *c = kivMachineConfig();
    return g_engineBooted && realDriverServes(*c) && !c->noDirectDraw && kivEngineRunning() ? 1 : 0;
}

int kivScreenPixels(const uint8_t **bits, int *pitch) {
    const KivEngineDisplay *display = g_engineBooted && kivEngineRunning() ? kivEngineDisplay() : nullptr;
    if (display == nullptr || display->hsurf == nullptr) return 0;
    // A surface the driver manages itself shows no pixels to the engine: then where the driver
    // tells DirectDraw the screen is.
    SURFOBJ *so = EngLockSurface(display->hsurf);
    if (so == nullptr) return 0;
    *bits = static_cast<const uint8_t *>(so->pvScan0);
    *pitch = int(so->lDelta);
    EngUnlockSurface(so);
    if (*bits != nullptr) return 1;
    uint8_t *at = nullptr;
    int32_t p = 0;
    if (!kiv::ddnt::screen(&at, &p)) {
        // Before the driver's hardware methods run: the visible screen is the first block of
        // video memory, rows of the mode's width.
        kiv::ZkChip *chip = kivVideoPortSim().chip.get();
        if (chip == nullptr) return 0;
        at = chip->videoMemory();
        p = g_mode.width * ((g_mode.bpp + 7) / 8);
    }
    *bits = at;
    *pitch = p;
    return 1;
}

void kivMachineRegisterDisplay(const KivDisplayDevice *display) { g_display.store(display); }

const KivDisplayDevice *kivMachineDisplay(void) { return g_display.load(); }

const char *kivOpenGlDriversKey(void) {
    return kivMachineConfig()->os == KIV_OS_9X ? KIV_OPENGL_DRIVERS_KEY_9X : KIV_OPENGL_DRIVERS_KEY_NT;
}

int kivMachineBoot(void) {
    static bool toldEmulated = false;
    if (!toldEmulated && kivRunsEmulated() && !std::getenv("KIV_I386_MODE"))
        std::fprintf(stderr, "kiv: this i386 program runs through a user-mode emulator: its speed figures do not "
                             "compare with native ones\n");
    toldEmulated = true;
    const KivMachineConfig c = *kivMachineConfig();
    if (!kivMachineCheck(&c) || !desktopFits(c, g_mode)) {
        std::fprintf(stderr, "kiv: the machine does not boot: %s\n", g_refusal.c_str());
        shutDownEngine();
        kivMachineRegisterDisplay(nullptr);
        return 0;
    }
    shutDownEngine();
    if (realDriverServes(c) && !bootEngine(c)) {
        kivMachineRegisterDisplay(nullptr);
        return 0;
    }
    registerDisplayFor(c);
    // What the display driver's installation writes: the ICD name -> its library.
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kivOpenGlDriversKey(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return 0;
    LONG r = RegSetValueExA(key, KIV_ICD_NAME, 0, REG_SZ, reinterpret_cast<const BYTE *>(KIV_ICD_LIBRARY),
                            sizeof(KIV_ICD_LIBRARY));
    RegCloseKey(key);
    return r == ERROR_SUCCESS ? 1 : 0;
}

}  // extern "C"
