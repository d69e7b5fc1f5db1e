// The flat thunks with sivd16: the five 32-bit entries it calls (16->32), the seven of its
// functions the HAL can call (32->16), and the entries it is given for its own 32-bit callers.
#include "drv/siv/display/sivhal.h"

namespace {

// Arguments of a 16->32 call, decoded from the 16-bit frame. 16:16 pointers are mapped to flat
// addresses for the time of the call.
template <size_t N>
struct Args16 {
    DWORD v[N];
    SEGPTR fixed[N];
    DWORD fixedCount = 0;
    Args16(const BYTE *frame, const DWORD (&widths)[N], const bool (&segmented)[N]) {
        DWORD off = 0;
        for (size_t i = N; i-- > 0;) {
            DWORD x = 0;
            for (DWORD b = 0; b < widths[i]; b++)
                x |= static_cast<DWORD>(frame[off + b]) << (8 * b);
            off += widths[i];
            v[i] = x;
            if (segmented[i] && x) {
                fixed[fixedCount++] = x;
                v[i] = static_cast<DWORD>(reinterpret_cast<uintptr_t>(MapSLFix(x)));
            }
        }
    }
    ~Args16() { UnMapSLFixArray(fixedCount, fixed); }
    Args16(const Args16 &) = delete;
    Args16 &operator=(const Args16 &) = delete;
};

template <class T>
T *Flat(DWORD v) { return reinterpret_cast<T *>(static_cast<uintptr_t>(v)); }

// Entries that may call back into 16-bit code run inside the thunk prolog and epilog.
struct Thunk1632Bracket {
    Thunk1632Bracket() { K32Thk1632Prolog(); }
    ~Thunk1632Bracket() { K32Thk1632Epilog(); }
};

DWORD Entry0(const BYTE *frame, DWORD bytes) {
    if (bytes != 12)
        return kMsgNotHandled;
    Args16<3> a(frame, {4, 4, 4}, {false, false, true});
    return HandleDriverMessage(a.v[0], a.v[1], Flat<BYTE>(a.v[2]));
}

DWORD Entry1(const BYTE *frame, DWORD bytes) {
    if (bytes != 8)
        return 0;
    Thunk1632Bracket bracket;
    Args16<2> a(frame, {4, 4}, {false, true});
    return FillEntryPoints(a.v[0], Flat<BYTE>(a.v[1]));
}

DWORD Entry2(const BYTE *frame, DWORD bytes) {
    if (bytes != 8)
        return 0;
    Thunk1632Bracket bracket;
    Args16<2> a(frame, {4, 4}, {false, false});
    return HandleServiceRequest(Flat<DriverBlock>(a.v[0]), Flat<BYTE>(a.v[1]));
}

DWORD Entry3(const BYTE *frame, DWORD bytes) {
    if (bytes != 4)
        return 0;
    Args16<1> a(frame, {4}, {false});
    return ReleaseCurrentContextEntry(a.v[0]) & 0xFFFF;
}

DWORD Entry4(const BYTE *frame, DWORD bytes) {
    if (bytes != 10)
        return 0;
    Args16<3> a(frame, {4, 4, 2}, {false, true, false});
    return BuildHalInfo(Flat<DriverBlock>(a.v[0]), Flat<DDHALINFO>(a.v[1]),
                        static_cast<short>(a.v[2])) & 0xFFFF;
}

const KIV_THUNK_TARGET kEntries1632[] = {Entry0, Entry1, Entry2, Entry3, Entry4};

// A flat pointer handed to 16-bit code as a 16:16 alias for the time of one call.
struct SegAlias {
    SEGPTR p;
    explicit SegAlias(void *flat) : p(SMapLS(flat)) {}
    ~SegAlias() { SUnMapLS(p); }
    SegAlias(const SegAlias &) = delete;
    SegAlias &operator=(const SegAlias &) = delete;
};

DWORD Call16(DWORD index, std::initializer_list<KivArg16> args) {
    KivFrame16 f = kivPascalFrame(args);
    return kivThunkCall16(&I3216_ThunkData32, index, f.bytes, f.size);
}

}  // namespace

KIV_THUNK_DATA32 I1632_ThunkData32 = {KIV_THUNK_SIG_1632, 5, kEntries1632, nullptr};
KIV_THUNK_DATA32 I3216_ThunkData32 = {KIV_THUNK_SIG_3216, 7, nullptr, nullptr};

DWORD WINAPI Driver16Fn0(DWORD a, DWORD b) { return Call16(0, {{4, a}, {4, b}}); }
DWORD WINAPI Driver16Fn1(DWORD a) { return Call16(1, {{4, a}}); }
void WINAPI Driver16Fn2(DWORD eventCode) { Call16(2, {{4, eventCode}}); }

DWORD WINAPI Driver16Fn3(void *p) {
    SegAlias s(p);
    return Call16(3, {{4, s.p}});
}

DWORD WINAPI Driver16Fn4(void *p, WORD w) {
    SegAlias s(p);
    return Call16(4, {{4, s.p}, {2, w}});
}

DWORD WINAPI Driver16Fn5(void *p, DWORD b) {
    SegAlias s(p);
    return Call16(5, {{4, s.p}, {4, b}});
}

DWORD WINAPI Driver16Fn6(void *p, DWORD b, void *c) {
    SegAlias sp(p), sc(c);
    return Call16(6, {{4, sp.p}, {4, b}, {4, sc.p}});
}

DWORD WINAPI ForwardToDriver16A(BYTE *record, DWORD b, void *c) {
    void *p = Flat<void>(LoadField<uint32_t>(record + 108));
    return Driver16Fn6(p, b, c);
}

DWORD WINAPI ForwardToDriver16B(BYTE *record, DWORD b) {
    void *p = Flat<void>(LoadField<uint32_t>(record + 108));
    return Driver16Fn5(p, b);
}

DWORD FillEntryPoints(DWORD ignored, BYTE *block) {
    (void)ignored;
    if (!block)
        return 1;
    StoreField<uint32_t>(block + 68, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&ForwardToDriver16A)));
    StoreField<uint32_t>(block + 72, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&ForwardToDriver16B)));
    for (uint32_t off = 76; off <= 96; off += 4)
        StoreField<uint32_t>(block + off, 0);
    return 1;
}

DWORD ReleaseCurrentContextEntry(DWORD ignored) {
    (void)ignored;
    ReleaseCurrentContext();
    return 1;
}
