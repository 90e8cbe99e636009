// The application object: title, help file, the components it owns (the
// forms and the timer's thread misers), message processing and the hooks
// through which the widget layer shows message boxes and help.
#pragma once

#include "platform/Component.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

class TApplication : public TComponent {
public:
    TApplication();
    // The teardown: marks every owned component as destroying, then destroys
    // them newest first.
    ~TApplication() override;

    std::string Title;
    std::string HelpFile;
    TComponent* MainForm = nullptr;

    // Runs the message loop until Terminate; returns at once if already terminated.
    void Run();
    void Terminate();
    bool Terminated() const { return m_terminated; }

    // Handles every pending message of the user-interface thread, then returns.
    void ProcessMessages();

    // The help command (HELP_FINDER and the like) for HelpFile; false when
    // no help engine is installed or it failed.
    bool HelpCommand(unsigned command, std::intptr_t data);

    // Shows an exception's message as the application's error box.
    void ShowException(const std::exception& error);

    // Installed by the widget layer (and replaced by tests).
    std::function<bool(const std::string& helpFile, unsigned command, std::intptr_t data)> helpEngine;
    std::function<void(const std::string& text, const std::string& caption)> errorBox;

private:
    bool m_terminated = false;
};

// The one application object of the process, as the forms reach it.
extern TApplication* Application;

// Runs an event handler as the message loop dispatches it: an exception that
// escapes it is shown in the application's error box, and the loop goes on.
template <typename Handler>
void RunHandler(Handler&& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        if (Application)
            Application->ShowException(error);
    }
}

// The text an exception box shows: the message with a full stop appended when
// its last character sorts after '.'.
std::string exceptionBoxText(const std::string& message);
