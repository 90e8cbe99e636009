#include "platform/Application.h"

#include <QCoreApplication>

TApplication* Application = nullptr;

TApplication::TApplication() : TComponent(nullptr) {}

TApplication::~TApplication() {
    Destroying();
    DestroyComponents();
    if (Application == this)
        Application = nullptr;
}

void TApplication::Run() {
    if (m_terminated)
        return;
    QCoreApplication::exec();
    m_terminated = true;
}

void TApplication::Terminate() {
    m_terminated = true;
    // exit(), not quit(): quit() would first ask every window to close.
    QCoreApplication::exit(0);
}

void TApplication::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

bool TApplication::HelpCommand(unsigned command, std::intptr_t data) {
    if (!helpEngine)
        return false;
    return helpEngine(HelpFile, command, data);
}

void TApplication::ShowException(const std::exception& error) {
    const std::string text = exceptionBoxText(error.what());
    if (errorBox)
        errorBox(text, Title);
}

std::string exceptionBoxText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + ".";
    return message;
}
