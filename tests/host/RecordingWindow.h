// A window for host tests: records every visible state the engine sets, answers questions
// from a script, and lets Pump re-enter handlers (stop requests, nesting) without a screen.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/WindowPort.h"

namespace bv::test {

class RecordingWindow : public WindowPort {
  public:
    std::map<Control, std::wstring> captions{{Control::Button1, L"Start scan"},
                                             {Control::Button2, L"Fix errors"}};
    std::map<Control, bool> enabled;
    Control focused = Control::Button1;
    bool undoChecked = true;
    std::wstring infoText;
    int infoTop = 18;
    Alignment infoAlignment = Alignment::Left;
    int gauge = 0;
    bool gaugeVisible = false;
    bool timerEnabled = false;
    std::vector<int> gaugeHistory;        // every value set, in order
    std::vector<std::wstring> questions;  // every Confirm question asked
    std::vector<std::wstring> messages;   // every Inform message shown
    std::deque<bool> answers;             // answers to Confirm, in order; "No" when empty
    int pumps = 0;
    int resultsCleared = 0;
    int resultsAppended = 0;
    // Called on every pump with its 1-based number; tests re-enter handlers from here.
    std::function<void(int pump)> onPump;

    bool IsEnabled(Control c) const {
        auto it = enabled.find(c);
        return it == enabled.end() ? true : it->second;
    }

    void SetCaption(Control control, std::wstring_view caption) override {
        captions[control] = std::wstring(caption);
    }
    void SetEnabled(Control control, bool on) override { enabled[control] = on; }
    void Focus(Control control) override { focused = control; }
    bool UndoChecked() const override { return undoChecked; }
    void SetInfoText(std::wstring_view text) override { infoText = std::wstring(text); }
    void SetInfoTop(int top) override { infoTop = top; }
    void SetInfoAlignment(Alignment alignment) override { infoAlignment = alignment; }
    void SetGauge(int percent) override {
        gauge = percent < 0 ? 0 : percent > 100 ? 100 : percent;
        gaugeHistory.push_back(gauge);
    }
    void ShowGauge(bool visible) override { gaugeVisible = visible; }
    void EnableTimer(bool on) override { timerEnabled = on; }
    bool Confirm(std::wstring_view question) override {
        questions.emplace_back(question);
        if (answers.empty()) {
            return false;
        }
        bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void Inform(std::wstring_view message) override { messages.emplace_back(message); }
    void ResultsCleared() override { ++resultsCleared; }
    void ResultsAppended() override { ++resultsAppended; }
    void Pump() override {
        ++pumps;
        if (onPump) {
            onPump(pumps);
        }
    }
    std::uintptr_t OwnerHandle() const override { return 0x1234; }
};

}  // namespace bv::test
