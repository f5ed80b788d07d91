// Machine directories: machine.ini, registry.reg, files.txt and appdata/ describe a simulated
// machine on disk; the loader builds it and the saver writes one back.
#pragma once

#include <filesystem>
#include <string>

#include "platform/sim/SimMachine.h"

namespace bv::sim {

// False with a one-line message naming the file (and line) on any malformed input.
bool LoadMachineDirectory(const std::filesystem::path& dir, Machine& machine, std::string& error);
// Writes registry.reg (whole registry), files.txt, machine.ini and appdata/ (the files of the
// data folder, AppData + "\Brimvale").
bool SaveMachineDirectory(const Machine& machine, const std::filesystem::path& dir,
                          std::string& error);

}  // namespace bv::sim
