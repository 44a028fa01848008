// The message-box helpers: the application's own box (clFormAlert) when it could be built, the
// system's MessageBoxW with the caption "Tarvik" otherwise.
#pragma once
#include <windows.h>

#include <string>

namespace tvd::win {

enum class BoxKind { kError, kWarning, kInformation, kQuestion, kWarningQuestion };

// "error", "warning", "information", "question", "warningquestion".
const char* BoxKindName(BoxKind kind);
bool BoxKindFromName(const std::string& name, BoxKind& kind);

// Registers the box's window class; false leaves the system's boxes in use.
bool BuildMessageBox(HINSTANCE instance);
// The boxes' caption, "Tarvik" unless a program sets its own.
void SetMessageBoxCaption(const std::u16string& caption);
bool MessageBoxBuilt();

// Shows a box of `kind` modally over the main window (restored and brought forward first); true
// when its primary button (OK, Yes) closed it.
bool ShowBox(BoxKind kind, const std::u16string& text);

void ShowErrorText(const std::u16string& text);
// The id's text; without one "Memory allocation failed." for 20021 and "An error occurred. The
// application will exit." for any other id.
void ShowErrorId(int id);
void ShowWarning(const std::u16string& text);
void ShowInformation(const std::u16string& text);
bool AskQuestion(const std::u16string& text);
bool AskWarningQuestion(const std::u16string& text);

// The box on screen, if any (the test mode closes it).
HWND OpenAlertWindow();

} // namespace tvd::win
