// WindowHandlers that record every event the Qt window hands on, in order.
#ifndef KELVOR_TESTS_PLATFORM_QT_RECORDINGHANDLERS_H
#define KELVOR_TESTS_PLATFORM_QT_RECORDINGHANDLERS_H

#include <functional>
#include <string>
#include <vector>

#include "platform/qt/WindowHandlers.h"

class RecordingHandlers : public WindowHandlers {
public:
    void OnCommand(int commandId) override {
        events.push_back("command " + std::to_string(commandId));
        if (onCommand) onCommand(commandId);
    }
    void OnTimer(unsigned timerId) override { events.push_back("timer " + std::to_string(timerId)); }
    void OnTrayNotify(unsigned iconId, int mouseEvent) override {
        events.push_back("tray " + std::to_string(iconId) + " " + std::to_string(mouseEvent));
    }
    void OnListDblClk() override { events.push_back("list double-click"); }
    void OnPaint() override { ++paints; }
    void OnHelp() override { events.push_back("help"); }

    std::vector<std::string> events;
    int paints = 0;
    // Runs inside OnCommand, to look at the window's state at that moment.
    std::function<void(int)> onCommand;
};

#endif
