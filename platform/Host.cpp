#include "platform/Host.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/VideoBackend.h"

namespace platform {

namespace {

uint32_t gCursor = kCursorArrow;

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

bool EqualsIgnoreCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != 0; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<unsigned char>(x + 32);
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<unsigned char>(y + 32);
        }
        if (x != y) {
            return false;
        }
    }
    return i == a.size() && b[i] == 0;
}

std::string Trim(const std::string& s) {
    size_t begin = 0;
    size_t end = s.size();
    while (begin < end && static_cast<unsigned char>(s[begin]) <= 0x20) {
        ++begin;
    }
    while (end > begin && static_cast<unsigned char>(s[end - 1]) <= 0x20) {
        --end;
    }
    return s.substr(begin, end - begin);
}

bool ReadWholeFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return true;
}

}  // namespace

std::string ProgramPath() {
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) {
        return std::string();
    }
    return std::string(buffer, size_t(n));
}

std::vector<std::string> ProfileSearchDirs() {
    std::vector<std::string> dirs;
    std::string program = ProgramPath();
    if (!program.empty()) {
        dirs.push_back(DirectoryOf(program));
    }
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (config != nullptr && config[0] == '/') {
        dirs.push_back(config);
    } else if (home != nullptr && home[0] != 0) {
        dirs.push_back(std::string(home) + "/.config");
    }
    dirs.push_back(".");
    return dirs;
}

std::string ReadProfileText(const std::string& text, const char* section, const char* key,
                            const char* defaultValue, size_t maxChars) {
    std::string fallback = defaultValue != nullptr ? defaultValue : "";
    std::istringstream lines(text);
    std::string line;
    bool inSection = false;
    while (std::getline(lines, line)) {
        std::string t = Trim(line);
        if (t.empty() || t[0] == ';') {
            continue;
        }
        if (t[0] == '[') {
            size_t close = t.find(']');
            inSection = close != std::string::npos && EqualsIgnoreCase(Trim(t.substr(1, close - 1)), section);
            continue;
        }
        size_t equals = t.find('=');
        if (!inSection || equals == std::string::npos || !EqualsIgnoreCase(Trim(t.substr(0, equals)), key)) {
            continue;
        }
        std::string value = Trim(t.substr(equals + 1));
        return value.substr(0, maxChars);
    }
    return fallback.substr(0, maxChars);
}

std::string ReadProfileString(const std::string& fileName, const char* section, const char* key,
                              const char* defaultValue, size_t maxChars) {
    std::string text;
    if (fileName.find('/') != std::string::npos) {
        ReadWholeFile(fileName, text);
    } else {
        for (const std::string& dir : ProfileSearchDirs()) {
            if (ReadWholeFile(dir + "/" + fileName, text)) {
                break;
            }
        }
    }
    return ReadProfileText(text, section, key, defaultValue, maxChars);
}

void SetCursor(uint32_t id) {
    gCursor = id == 0 ? kCursorArrow : id;
}

uint32_t GetCursor() {
    return gCursor;
}

int ShowAlert(const char* caption, const char* text, int kind) {
    const char* title = caption != nullptr ? caption : "";
    const char* body = text != nullptr ? text : "";
    VideoBackend* backend = GetVideoBackend();
    if (backend == nullptr || !backend->ShowMessageBox(title, body, kind)) {
        std::fprintf(stderr, "%s: %s\n", title, body);
        std::fflush(stderr);
    }
    return 1;  // OK
}

}  // namespace platform
