// Packing command arguments into list payloads and replaying them, shared by the generated and
// the hand-written compile and execute routines.
//
// Payload layout of a command with arguments: the doubles first, in call order, then the other
// arguments in call order, each at its own width and natural alignment; the size is rounded up to
// 4 bytes, or to 8 when there are doubles (the payload then starts on an 8-byte boundary).
#pragma once
#include <array>
#include <cstring>
#include <type_traits>
#include <utility>
#include "icd/core/core.h"
#include "icd/core/list.h"

namespace listpack {

// Slots of the live table, by command name.
namespace slot = ::glslot;

template <class T>
constexpr bool isDouble = std::is_same_v<T, double>;

template <class... A>
struct Layout {
    static constexpr size_t count = sizeof...(A);
    static constexpr bool align8 = (isDouble<A> || ...);
    static constexpr std::array<uint32_t, count> offsets() {
        std::array<uint32_t, count> out{};
        constexpr std::array<uint32_t, count> size{uint32_t(sizeof(A))...};
        constexpr std::array<bool, count> dbl{isDouble<A>...};
        uint32_t off = 0;
        for (size_t i = 0; i < count; ++i)
            if (dbl[i]) out[i] = off, off += 8;
        for (size_t i = 0; i < count; ++i) {
            if (dbl[i]) continue;
            off = (off + size[i] - 1) / size[i] * size[i];
            out[i] = off;
            off += size[i];
        }
        return out;
    }
    static constexpr uint32_t bytes() {
        uint32_t end = 0;
        constexpr std::array<uint32_t, count> size{uint32_t(sizeof(A))...};
        for (size_t i = 0; i < count; ++i) end = end > offsets()[i] + size[i] ? end : offsets()[i] + size[i];
        uint32_t unit = align8 ? 8 : 4;
        return (end + unit - 1) / unit * unit;
    }
};

template <class T>
inline T load(const uint8_t *p) {
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}

// A node for opcode with payloadBytes, or null (the allocator raised GL_OUT_OF_MEMORY).
inline GlListNode *newNode(GlContext *ctx, int16_t opcode, uint32_t payloadBytes, bool align8) {
    GlListNode *node = __glAllocListNode(ctx, payloadBytes);
    if (node == nullptr) return nullptr;
    node->opcode = opcode;
    node->align8 = align8 ? 1 : 0;
    std::memset(node->payload(), 0, payloadBytes);
    return node;
}

// Records a command from its arguments.
template <class... A>
void record(int16_t opcode, GlListExecProc exec, A... a) {
    using L = Layout<A...>;
    GlContext *ctx = __glGetCurrentContext();
    GlListNode *node = newNode(ctx, opcode, L::bytes(), L::align8);
    if (node == nullptr) return;
    [[maybe_unused]] constexpr auto off = L::offsets();
    [[maybe_unused]] uint8_t *p = node->payload();
    size_t i = 0;
    ((std::memcpy(p + off[i], &a, sizeof(A)), ++i), ...);
    __glAppendListNode(ctx, node, exec);
}

// Records a vector command: n values of T copied from v.
template <class T, int N>
void recordVector(int16_t opcode, GlListExecProc exec, const T *v) {
    using L = Layout<std::conditional_t<isDouble<T>, double, T>>;
    constexpr uint32_t bytes = (N * sizeof(T) + 3) / 4 * 4;
    GlContext *ctx = __glGetCurrentContext();
    GlListNode *node = newNode(ctx, opcode, bytes, L::align8);
    if (node == nullptr) return;
    std::memcpy(node->payload(), v, N * sizeof(T));
    __glAppendListNode(ctx, node, exec);
}

template <class F>
inline F liveSlot(int slot) {
    return reinterpret_cast<F>(__glGetCurrentContext()->liveTable.slot[slot]);
}

// Replays packed arguments through a live-table slot.
template <class F>
struct Replay;
template <class... A>
struct Replay<void(A...)> {
    template <int Slot, size_t... I>
    static void call([[maybe_unused]] const uint8_t *p, std::index_sequence<I...>) {
        [[maybe_unused]] constexpr auto off = Layout<A...>::offsets();
        liveSlot<void(APIENTRY *)(A...)>(Slot)(load<A>(p + off[I])...);
    }
    template <int Slot>
    static const uint8_t *exec(const uint8_t *p) {
        call<Slot>(p, std::index_sequence_for<A...>{});
        return p + Layout<A...>::bytes();
    }
    // Records the arguments of a command whose signature is this one.
    static void compile(int16_t opcode, GlListExecProc exec, A... a) { record<A...>(opcode, exec, a...); }
};

// Runs a vector slot with the payload and steps over n values of T.
template <int Slot, class T, int N>
const uint8_t *execVector(const uint8_t *p) {
    liveSlot<void(APIENTRY *)(const T *)>(Slot)(reinterpret_cast<const T *>(p));
    return p + (N * sizeof(T) + 3) / 4 * 4;
}

}  // namespace listpack
