// What the tools read: a plain file, or an item of a media container named FILE:ID (the container plain
// or appended to a program). Shared by kestimg and kestplay.
#pragma once

#include <cstdint>
#include <string>

#include "media/ZFile.h"
#include "media/ZTypeCode.h"

namespace toolsupport {

// "FILE:ID" names a container item when ID is a number 1..65535 and FILE is a regular file.
bool SplitItem(const std::string& text, std::string& path, uint16_t& id);
bool IsRegularFile(const std::string& path);

// Points file at item id of the container in path through the process's media server. type holds the
// type asked for and receives the entry's own. False with a one-line reason in error.
bool OpenContainerItem(const std::string& path, uint16_t id, ZFile& file, ZTypeCode& type,
                       std::string& error);

// Opens the plain file at path for reading. False with a one-line reason (the system's, when it gave
// one) in error.
bool OpenPlainFile(const std::string& path, ZFile& file, std::string& error);

}  // namespace toolsupport
