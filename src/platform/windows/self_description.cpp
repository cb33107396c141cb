#include "platform/self_description.h"

namespace veltrane::platform {
namespace {

// VELTRANE_VERSION is the CMake project's version, as the release names it.
constexpr char kUsage[] =
    "Veltrane " VELTRANE_VERSION
    "\r\n"
    "Usage: veltrane.exe FILE\r\n"
    "Sets the item and event pointer variable IDs of FILE, a game's rpg_rt file:\r\n"
    "shows each ID, asks for a new one and writes it back in place.\r\n"
    "\r\n"
    "Drag the rpg_rt file onto veltrane.exe, or give its name:\r\n"
    "  veltrane.exe RPG_RT.exe\r\n"
    "With standard input redirected, the two new IDs are read from it, one a line:\r\n"
    "  veltrane.exe RPG_RT.exe < ids.txt\r\n"
    "\r\n"
    "The guide: README.txt next to veltrane.exe.\r\n";

}  // namespace

const char* self_description(const std::string& argument) {
  return argument == "/?" ? kUsage : nullptr;
}

}  // namespace veltrane::platform
