// Containers of the core library allocate through mimalloc.
//
// mimalloc is linked privately: it does not replace malloc or operator new for
// the host process, so only containers spelled with these aliases use it. A
// block allocated here is always freed here, because the allocator travels with
// the container's type.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#if PP_USE_MIMALLOC
#include <mimalloc.h>
#endif

namespace pre_processor {

#if PP_USE_MIMALLOC
template <class T>
using Allocator = mi_stl_allocator<T>;
#else
template <class T>
using Allocator = std::allocator<T>;
#endif

template <class T>
using Vec = std::vector<T, Allocator<T>>;

using String = std::basic_string<char, std::char_traits<char>, Allocator<char>>;

inline String to_string(std::string_view text) { return String(text.data(), text.size()); }

// Sets the private allocator's options. Call once, before the first allocation
// through it (the module does so at import); it changes nothing outside the core.
void configure_allocator();

}  // namespace pre_processor
