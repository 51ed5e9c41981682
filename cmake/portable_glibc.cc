// Stand-ins for two functions that glibc has only since 2.35 and 2.36, linked
// into the portable command in their place (-Wl,--wrap, cmake/Portable.cmake)
// so that it runs on glibc 2.34. Static libgcc's unwinder asks
// _dl_find_object for the unwind tables of the code an exception passes
// through; static libstdc++'s std::random_device can draw from arc4random.
// Both are built here on functions that glibc 2.34 has.
#include <dlfcn.h>
#include <link.h>
#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace {

struct Lookup {
  std::uintptr_t address;
  dl_find_object* result;
};

// The loaded object whose mapping holds the address: its bounds and where
// its PT_GNU_EH_FRAME segment lies.
int find_object(dl_phdr_info* info, std::size_t, void* data) {
  auto& lookup = *static_cast<Lookup*>(data);
  std::uintptr_t start = UINTPTR_MAX;
  std::uintptr_t end = 0;
  std::uintptr_t eh_frame = 0;
  for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    const std::uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
    if (segment.p_type == PT_LOAD) {
      start = std::min(start, begin);
      end = std::max(end, begin + segment.p_memsz);
    } else if (segment.p_type == PT_GNU_EH_FRAME) {
      eh_frame = begin;
    }
  }
  if (lookup.address < start || lookup.address >= end) return 0;
  *lookup.result = {};
  lookup.result->dlfo_map_start = reinterpret_cast<void*>(start);
  lookup.result->dlfo_map_end = reinterpret_cast<void*>(end);
  lookup.result->dlfo_eh_frame = reinterpret_cast<void*>(eh_frame);
  return 1;
}

}  // namespace

extern "C" int __wrap__dl_find_object(void* address, dl_find_object* result) {
  Lookup lookup{reinterpret_cast<std::uintptr_t>(address), result};
  return dl_iterate_phdr(find_object, &lookup) == 1 ? 0 : -1;
}

extern "C" std::uint32_t __wrap_arc4random() {
  std::uint32_t value;
  auto* bytes = reinterpret_cast<unsigned char*>(&value);
  std::size_t filled = 0;
  while (filled < sizeof value) {
    const ssize_t got = getrandom(bytes + filled, sizeof value - filled, 0);
    if (got > 0) {
      filled += static_cast<std::size_t>(got);
    } else if (got < 0 && errno != EINTR) {
      std::abort();
    }
  }
  return value;
}
