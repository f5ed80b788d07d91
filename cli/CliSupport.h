// Shared pieces of brimvale-cli: argument parsing, the machine to work on, a window that
// prints nothing, and UTF-8 output.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/WindowPort.h"

namespace bv::cli {

// A window without a screen: it keeps the status text and answers every question the same.
class ConsoleWindow : public WindowPort {
  public:
    explicit ConsoleWindow(bool answerYes) : answerYes_(answerYes) {}
    std::wstring infoText;
    std::vector<std::wstring> messages;
    bool undoChecked = true;

    void SetCaption(Control, std::wstring_view) override {}
    void SetEnabled(Control, bool) override {}
    void Focus(Control) override {}
    bool UndoChecked() const override { return undoChecked; }
    void SetInfoText(std::wstring_view text) override { infoText = std::wstring(text); }
    void SetInfoTop(int) override {}
    void SetInfoAlignment(Alignment) override {}
    void SetGauge(int) override {}
    void ShowGauge(bool) override {}
    void EnableTimer(bool) override {}
    bool Confirm(std::wstring_view) override { return answerYes_; }
    void Inform(std::wstring_view message) override { messages.emplace_back(message); }
    void ResultsCleared() override {}
    void ResultsAppended() override {}
    void Pump() override {}
    std::uintptr_t OwnerHandle() const override { return 0; }

  private:
    bool answerYes_;
};

// Options of the form --name [value]; flags have no value.
struct Options {
    std::wstring machine;  // --machine DIR
    std::wstring script;   // --script FILE
    std::wstring save;     // --save DIR
    bool noUndo = false;   // --no-undo
    bool yes = false;      // --yes
};

// Parses the options a command accepts (names without "--"); false with a message otherwise.
bool ParseOptions(const std::vector<std::wstring>& args,
                  const std::vector<std::wstring_view>& withValue,
                  const std::vector<std::wstring_view>& flags, Options& options,
                  std::string& error);

// The machine a command works on: on the host the simulated machine loaded from --machine
// (required), on Windows the live one (--machine refused). Holds the loaded machine.
class MachineSession {
  public:
    MachineSession();
    ~MachineSession();
    MachineSession(const MachineSession&) = delete;
    MachineSession& operator=(const MachineSession&) = delete;
    bool Open(const Options& options, std::string& error);
    // Host: writes the current machine as a machine directory.
    bool Save(const std::wstring& dir, std::string& error) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

std::string Utf8(std::wstring_view text);
std::wstring Wide(std::string_view utf8);
void PrintOut(std::wstring_view text);  // UTF-8 to standard output, as it stands
void PrintErr(std::wstring_view text);  // UTF-8 to standard error, as it stands
// Writes bytes to a path of the machine running the CLI (not the simulated one).
bool WriteLocalFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes);
// "brimvale-cli: " + message + "\n" on standard error; returns the usage exit code 2.
int UsageError(std::string_view message);

}  // namespace bv::cli
