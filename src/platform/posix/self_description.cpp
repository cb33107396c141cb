#include "platform/self_description.h"

namespace veltrane::platform {
namespace {

constexpr char kUsage[] =
    "Usage: veltrane FILE\n"
    "       veltrane FILE < IDS\n"
    "Sets the item and event pointer variable IDs of FILE, a game's rpg_rt file:\n"
    "shows each ID, asks for a new one and writes it back in place. With standard\n"
    "input redirected, the two new IDs are read from it instead (IDS: a file or a\n"
    "pipe with one ID a line).\n"
    "\n"
    "  -h, --help  show this usage\n"
    "  --version   show the version\n"
    "Each only as the sole argument, and only when no file has that name.\n"
    "\n"
    "The guide: README.txt, and the manual page veltrane.1 (man -l veltrane.1),\n"
    "beside the program in its archive; once installed, man veltrane and\n"
    "share/doc/veltrane/README.txt under the installation's prefix.\n";

// VELTRANE_VERSION is the CMake project's version, as the release names it.
constexpr char kVersion[] = "veltrane " VELTRANE_VERSION
                            "\n"
                            "Copyright (C) 2026 The Veltrane developers.\n"
                            "License MIT: its terms are in LICENSE.txt, beside README.txt.\n"
                            "This is free software: you are free to change and redistribute it.\n"
                            "There is NO WARRANTY, to the extent permitted by law.\n";

}  // namespace

const char* self_description(const std::string& argument) {
  if (argument == "--help" || argument == "-h") return kUsage;
  if (argument == "--version") return kVersion;
  return nullptr;
}

}  // namespace veltrane::platform
