// Files of the host: small wrappers over the system calls, with no caching and no framework types.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

enum : int { kAccessRead = 1, kAccessWrite = 2, kAccessReadWrite = 3 };
enum class SeekFrom { Start, Current, End };

// Opens an existing file with the access asked for; -1 on failure. Never creates a file.
int OpenFile(const char* path, int access);
// Creates a file that does not exist yet and opens it; -1 when it exists already or cannot be made.
int CreateNewFile(const char* path, int access);
// Creates the file, or empties an existing one; -1 on failure.
int CreateOrTruncateFile(const char* path, int access);
// True for an existing file that is not a directory.
bool FileExists(const char* path);
// Bytes read or written (short at the end of a file), -1 on error.
int64_t ReadFile(int handle, void* buffer, size_t count);
int64_t WriteFile(int handle, const void* buffer, size_t count);
// The new position, -1 on error.
int64_t SeekFile(int handle, int64_t offset, SeekFrom from);
void CloseFile(int handle);

// Bytes held as an anonymous in-memory file with a path that every file operation accepts, so that tests
// and fuzz targets can hand a container to code that opens files by name.
class MemoryFile {
  public:
    MemoryFile(const void* data, size_t size);
    ~MemoryFile();
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    bool IsValid() const { return handle_ >= 0; }
    const std::string& GetPath() const { return path_; }

  private:
    int handle_ = -1;
    std::string path_;
};

}  // namespace platform
