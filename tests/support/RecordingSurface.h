#pragma once

#include "app/AnsweringDialogs.h"
#include "run/StatusSurface.h"

#include <functional>
#include <string>
#include <vector>

namespace eitool::testing {

// A status surface that keeps everything it is told, for tests.
class RecordingSurface : public StatusSurface {
public:
    std::string currentMessage;
    std::vector<std::string> messages; // every CurrentMessage text, in order
    std::string extracted = "Extracted: 0";
    int extractedUpdates = 0;
    std::vector<std::string> extractedHistory; // every counter text, in order
    int progress = 0;
    std::vector<int> progressHistory; // every position set by SetProgressPosition
    int total = 0;
    int totalMax = 100;
    std::vector<int> totalHistory;
    std::vector<std::string> results;
    std::vector<std::string> notices;
    std::vector<std::string> plan;    // the lines of a dry run
    std::vector<std::string> reports; // AddReportLine
    bool stopEnabled = false;
    bool saveLogEnabled = false;
    int dispatches = 0;
    int focusCount = 0;
    // Called on every dispatch of pending messages (a test may press Stop there).
    std::function<void()> onDispatch;

    void SetCurrentMessage(const std::string& text) override {
        currentMessage = text;
        messages.push_back(text);
    }
    void SetExtracted(const std::string& text) override {
        extracted = text;
        ++extractedUpdates;
        extractedHistory.push_back(text);
    }
    int ProgressPosition() const override { return progress; }
    void SetProgressPosition(int position) override {
        progress = position;
        progressHistory.push_back(position);
    }
    void StepProgress() override {
        if (progress < 100) {
            ++progress;
        }
    }
    void SetTotalMax(int maximum) override { totalMax = maximum; }
    void SetTotalPosition(int position) override {
        total = position;
        totalHistory.push_back(position);
    }
    void ClearResults() override { results.clear(); }
    void AddResultLine(const std::string& line) override { results.push_back(line); }
    std::size_t ResultLineCount() const override { return results.size(); }
    std::vector<std::string> ResultLines() const override { return results; }
    void FocusResults() override { ++focusCount; }
    void AddNotice(const std::string& text) override { notices.push_back(text); }
    void AddPlanLine(const std::string& line) override { plan.push_back(line); }
    void AddReportLine(const std::string& line) override { reports.push_back(line); }
    void EnableStop(bool enabled) override { stopEnabled = enabled; }
    void EnableSaveLog(bool enabled) override { saveLogEnabled = enabled; }
    void ProcessMessages() override {
        ++dispatches;
        if (onDispatch) {
            onDispatch();
        }
    }
};

// Dialogs answered from a script (the answers of AnsweringDialogs), recording what was asked:
// every dialog's name in order, the file dialogs as shown, the picker's start directories and the
// message boxes. whileShown runs inside every dialog, before it answers.
class ScriptedDialogs : public AnsweringDialogs {
public:
    std::vector<std::string> asked; // "open", "save", "picker", "dirform", "message", "question"
    std::vector<FileDialog> fileDialogs;
    std::vector<std::string> pickerStarts;
    std::vector<std::string> shownMessages;
    std::vector<std::string> shownCaptions;
    std::vector<DefaultAnswer> questionDefaults; // of every yes/no question, in order
    std::function<void()> whileShown;

    bool OpenFiles(FileDialog& dialog) override {
        Asked("open");
        fileDialogs.push_back(dialog);
        return AnsweringDialogs::OpenFiles(dialog);
    }
    bool SaveFile(FileDialog& dialog) override {
        Asked("save");
        fileDialogs.push_back(dialog);
        return AnsweringDialogs::SaveFile(dialog);
    }
    bool SelectDirectory(const std::string& title, std::string& directory) override {
        Asked("picker");
        pickerStarts.push_back(directory);
        return AnsweringDialogs::SelectDirectory(title, directory);
    }
    bool ShowDirForm(TDirForm& form) override {
        Asked("dirform");
        return AnsweringDialogs::ShowDirForm(form);
    }
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        Asked("message");
        shownMessages.push_back(text);
        shownCaptions.push_back(caption);
        AnsweringDialogs::ShowMessage(text, caption, icon);
    }
    bool AskYesNo(const std::string& text, const std::string& caption,
                  DefaultAnswer defaultAnswer) override {
        Asked("question");
        shownMessages.push_back(text);
        shownCaptions.push_back(caption);
        questionDefaults.push_back(defaultAnswer);
        return AnsweringDialogs::AskYesNo(text, caption, defaultAnswer);
    }

private:
    void Asked(const char* dialog) {
        asked.push_back(dialog);
        if (whileShown) {
            whileShown();
        }
    }
};

} // namespace eitool::testing
