// Modal message boxes, replaceable by tests (which record instead of showing).
#pragma once

#include <functional>
#include <string>

namespace platform {

enum class MessageIcon { None, Error };

using MessageBoxHook = std::function<void(const std::string& text, const std::string& caption, MessageIcon icon)>;

// Shows a modal box with an OK button and the application's title as caption.
void ShowMessageBox(const std::string& text, MessageIcon icon = MessageIcon::None);

// Replaces the box; an empty hook restores the real one. Returns the previous hook.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

} // namespace platform
