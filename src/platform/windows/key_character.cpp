#include "platform/key_character.h"

namespace veltrane::platform {
namespace {

using MapVirtualKeyRoutine = UINT(WINAPI*)(UINT code, UINT map_type);

UINT layout_free_character(UINT virtual_key) {
  const bool same_on_every_layout =
      (virtual_key >= '0' && virtual_key <= '9') || (virtual_key >= 'A' && virtual_key <= 'Z') ||
      virtual_key == VK_BACK || virtual_key == VK_TAB || virtual_key == VK_RETURN ||
      virtual_key == VK_ESCAPE || virtual_key == VK_SPACE;
  return same_on_every_layout ? virtual_key : 0;
}

MapVirtualKeyRoutine find_map_virtual_key() {
  // user32 is a known DLL, always taken from the system directory; it stays
  // loaded for the rest of the process.
  const HMODULE user32 = LoadLibraryA("user32.dll");
  if (user32 == nullptr) return nullptr;
  const FARPROC found = GetProcAddress(user32, "MapVirtualKeyA");
  // Through the generic function pointer type, which any routine converts to.
  return reinterpret_cast<MapVirtualKeyRoutine>(reinterpret_cast<void (*)()>(found));
}

// Looked up once, on the main thread: only key translation calls this.
bool looked_up = false;
MapVirtualKeyRoutine map_virtual_key = nullptr;

}  // namespace

UINT key_own_character(UINT virtual_key) {
  if (!looked_up) {
    looked_up = true;
    map_virtual_key = find_map_virtual_key();
  }
  if (map_virtual_key == nullptr) return layout_free_character(virtual_key);
  return map_virtual_key(virtual_key, MAPVK_VK_TO_CHAR);
}

}  // namespace veltrane::platform
