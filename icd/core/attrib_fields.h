// Field movers of the attribute stacks: each group lists its fields once as pairs (live field,
// saved field), and the same list saves (live -> saved) and restores (saved -> live).
#pragma once
#include <cstring>
#include <type_traits>

namespace glattrib {

template <class T>
inline void copyValue(T &to, const T &from) {
    static_assert(std::is_trivially_copyable_v<T>);
    if constexpr (std::is_array_v<T>)
        std::memcpy(&to, &from, sizeof(T));
    else
        to = from;
}

struct Save {
    template <class T>
    void operator()(T &live, T &saved) const { copyValue(saved, live); }
};

struct Load {
    template <class T>
    void operator()(T &live, T &saved) const { copyValue(live, saved); }
};

}  // namespace glattrib
