// Services of the host system: the program's own path, profile files, the cursor and alerts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Absolute path of the running executable; empty when it cannot be found.
std::string ProgramPath();

// Directories searched, in order, for a profile file given by bare name: the program's directory,
// $XDG_CONFIG_HOME (default ~/.config), the current directory.
std::vector<std::string> ProfileSearchDirs();

// Reads key in section from the profile file fileName (a bare name is looked up in ProfileSearchDirs;
// a name with a '/' is used as it is). Sections and keys compare case-insensitively (ASCII), ';' starts a
// comment line, values are trimmed and cut to maxChars characters. Returns the default when the file,
// section or key is missing.
std::string ReadProfileString(const std::string& fileName, const char* section, const char* key,
                              const char* defaultValue, size_t maxChars = 127);
// The same on profile text already in memory.
std::string ReadProfileText(const std::string& text, const char* section, const char* key,
                            const char* defaultValue, size_t maxChars = 127);

// Cursor ids as the framework names them (0 selects the arrow).
enum : uint32_t { kCursorArrow = 32512, kCursorWait = 32514 };
void SetCursor(uint32_t id);
uint32_t GetCursor();

// Alert kinds: 1 stop icon, 2 exclamation, 3 information, anything else no icon.
enum : int { kAlertPlain = 0, kAlertError = 1, kAlertWarning = 2, kAlertInfo = 3 };
// A modal alert with one OK button: a message box where the video backend can show one, otherwise one
// line "caption: text" on stderr.
int ShowAlert(const char* caption, const char* text, int kind);

}  // namespace platform
