// Shared pieces of brimvale-cli.
#include "cli/CliSupport.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/Utf16.h"

#ifndef _WIN32
#include "platform/sim/MachineDirectory.h"
#include "platform/sim/SimMachine.h"
#endif

namespace bv::cli {

bool ParseOptions(const std::vector<std::wstring>& args,
                  const std::vector<std::wstring_view>& withValue,
                  const std::vector<std::wstring_view>& flags, Options& options,
                  std::string& error) {
    auto has = [](const std::vector<std::wstring_view>& list, std::wstring_view name) {
        return std::find(list.begin(), list.end(), name) != list.end();
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (arg.rfind(L"--", 0) != 0) {
            error = "unexpected argument '" + Utf8(arg) + "'";
            return false;
        }
        const std::wstring name = arg.substr(2);
        if (has(withValue, name)) {
            if (i + 1 >= args.size()) {
                error = "option '" + Utf8(arg) + "' needs a value";
                return false;
            }
            const std::wstring& value = args[++i];
            if (name == L"machine") {
                options.machine = value;
            } else if (name == L"script") {
                options.script = value;
            } else if (name == L"save") {
                options.save = value;
            }
        } else if (has(flags, name)) {
            if (name == L"no-undo") {
                options.noUndo = true;
            } else if (name == L"yes") {
                options.yes = true;
            }
        } else {
            error = "unknown option '" + Utf8(arg) + "'";
            return false;
        }
    }
    return true;
}

#ifdef _WIN32

struct MachineSession::Impl {};

MachineSession::MachineSession() = default;
MachineSession::~MachineSession() = default;

bool MachineSession::Open(const Options& options, std::string& error) {
    if (!options.machine.empty() || !options.save.empty()) {
        error =
            "--machine and --save are for the simulated machine; on Windows the live "
            "registry is used";
        return false;
    }
    return true;
}

bool MachineSession::Save(const std::wstring&, std::string& error) const {
    error = "--save is not available on Windows";
    return false;
}

#else

struct MachineSession::Impl {
    sim::Machine machine;
};

MachineSession::MachineSession() : impl_(std::make_unique<Impl>()) {}

MachineSession::~MachineSession() {
    sim::Machine::Install(nullptr);
}

bool MachineSession::Open(const Options& options, std::string& error) {
    if (options.machine.empty()) {
        error = "--machine DIR is required on this system (there is no live registry)";
        return false;
    }
    if (!sim::LoadMachineDirectory(std::filesystem::path(Utf8(options.machine)), impl_->machine,
                                   error)) {
        return false;
    }
    sim::Machine::Install(&impl_->machine);
    return true;
}

bool MachineSession::Save(const std::wstring& dir, std::string& error) const {
    return sim::SaveMachineDirectory(impl_->machine, std::filesystem::path(Utf8(dir)), error);
}

#endif

std::string Utf8(std::wstring_view text) {
    return ToUtf8(text);
}

std::wstring Wide(std::string_view utf8) {
    return FromUtf8(utf8);
}

void PrintOut(std::wstring_view text) {
    const std::string bytes = Utf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

void PrintErr(std::wstring_view text) {
    const std::string bytes = Utf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
}

bool WriteLocalFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
#ifdef _WIN32
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
#else
    std::ofstream out(std::filesystem::path(Utf8(path)), std::ios::binary | std::ios::trunc);
#endif
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

int UsageError(std::string_view message) {
    std::fprintf(stderr, "brimvale-cli: %.*s\n", static_cast<int>(message.size()), message.data());
    return 2;
}

}  // namespace bv::cli
