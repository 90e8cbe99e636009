#include "platform/MessageBox.h"

#include "platform/Application.h"
#include "platform/WindowHints.h"

#include <QMessageBox>

namespace platform {

namespace {
MessageBoxHook& hookSlot() {
    static MessageBoxHook hook;
    return hook;
}
} // namespace

void ShowMessageBox(const std::string& text, MessageIcon icon) {
    const std::string caption = Application ? Application->Title : std::string();
    if (hookSlot()) {
        hookSlot()(text, caption, icon);
        return;
    }
    // Owned by the main form (the lens), as the dialogs are: stacked above it
    // however high it stands, and off the taskbar.
    QWidget* owner = Application ? dynamic_cast<QWidget*>(Application->MainForm) : nullptr;
    QMessageBox box(icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                    QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok, owner);
    KeepOffTaskbar(&box);
    box.exec();
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
    MessageBoxHook previous = std::move(hookSlot());
    hookSlot() = std::move(hook);
    return previous;
}

} // namespace platform
