#include "tools/kestmsf/MsfTool.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "media/MsfFormat.h"
#include "media/MsfWriter.h"
#include "media/ZMediaServer.h"

namespace msftool {

namespace {

constexpr const char* kUsage =
    "Usage: kestmsf COMMAND ...\n"
    "\n"
    "  list FILE                      list the directory of a container (plain or appended to a program)\n"
    "  extract FILE ID [TYPE] -o OUT  write one item's bytes to OUT\n"
    "  pack MANIFEST -o OUT.MSF       build a container from a manifest\n"
    "  append HOST CONTAINER -o OUT   write HOST with CONTAINER appended (replacing one already there)\n"
    "  strip HOST -o OUT              write HOST without its appended container\n"
    "  check FILE                     report every problem of a container; status 0 only when clean\n"
    "\n"
    "A manifest has one item per line: ID TYPE NAME PATH. TYPE is four characters, in double quotes\n"
    "when it holds a space (\"RIX \"); NAME has at most 8 bytes; PATH is relative to the manifest's folder.\n"
    "Lines starting with # are comments.\n";

// The positional arguments of a command and its -o value.
struct Arguments {
    std::vector<std::string> positional;
    std::string output;
    bool hasOutput = false;
};

bool SplitArguments(const std::vector<std::string>& args, Arguments& out, std::string& error) {
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "-o") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = "-o needs a file name";
                return false;
            }
            out.output = args[++i];
            out.hasOutput = true;
        } else {
            out.positional.push_back(args[i]);
        }
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    struct stat info;
    if (!in || stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
        error = "cannot read " + path + ": " + (errno != 0 ? std::strerror(errno) : "not a file");
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

// Writes through a temporary file renamed into place, so a failure leaves OUT as it was, and OUT may be
// one of the inputs.
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, mode_t mode,
                    std::string& error) {
    std::string temporary = path + ".kestmsf-tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            error = "cannot write " + path + ": " + std::strerror(errno);
            return false;
        }
    }
    if (chmod(temporary.c_str(), mode) != 0 || std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

mode_t FileMode(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : mode_t(0644);
}

// Opens the container of path: as a plain container first, then as one appended to a host file.
bool OpenContainer(const std::string& path, ZMediaServer& server, bool& appended) {
    ZFileSpec spec(path.c_str());
    if (server.OpenContainer(spec, false)) {
        appended = false;
        return true;
    }
    appended = true;
    return server.OpenContainer(spec, true);
}

bool ParseId(const std::string& text, uint16_t& id) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    unsigned long value = std::stoul(text);
    if (value > 0xFFFF) {
        return false;
    }
    id = uint16_t(value);
    return true;
}

int Fail(std::ostream& err, const std::string& message) {
    err << "kestmsf: " << message << "\n";
    return 1;
}

int List(const Arguments& a, std::ostream& out, std::ostream& err) {
    if (a.positional.size() != 1 || a.hasOutput) {
        return Fail(err, "usage: kestmsf list FILE");
    }
    const std::string& path = a.positional[0];
    ZMediaServer server;
    bool appended = false;
    if (!OpenContainer(path, server, appended)) {
        return Fail(err, path + ": not a valid container (try kestmsf check)");
    }
    const std::vector<ZMediaEntry>& dir = server.GetDirectory();
    out << "# container " << path << " base " << server.GetBase() << " length " << server.GetLength()
        << " entries " << dir.size() << "\n";
    for (const ZMediaEntry& e : dir) {
        out << e.id << '\t' << TypeCodeText(e.type) << '\t' << msf::EntryName(e) << '\t' << e.offset << '\t'
            << e.size << "\n";
    }
    return 0;
}

int Extract(const Arguments& a, std::ostream&, std::ostream& err) {
    if (a.positional.size() < 2 || a.positional.size() > 3 || !a.hasOutput) {
        return Fail(err, "usage: kestmsf extract FILE ID [TYPE] -o OUT");
    }
    const std::string& path = a.positional[0];
    uint16_t id = 0;
    if (!ParseId(a.positional[1], id)) {
        return Fail(err, "bad item id '" + a.positional[1] + "': expected 0 to 65535");
    }
    ZTypeCode wanted = 0;
    bool typeGiven = a.positional.size() == 3;
    if (typeGiven && !ParseTypeCode(a.positional[2], wanted)) {
        return Fail(err, "bad type '" + a.positional[2] + "': expected four characters");
    }
    ZMediaServer server;
    bool appended = false;
    if (!OpenContainer(path, server, appended)) {
        return Fail(err, path + ": not a valid container (try kestmsf check)");
    }
    ZFile item;
    ZTypeCode found = wanted;
    if (!server.OpenItem(id, item, found) || (typeGiven && found != wanted)) {
        return Fail(err, path + ": no item " + std::to_string(id) +
                             (typeGiven ? " of type \"" + TypeCodeText(wanted) + "\"" : std::string()));
    }
    std::vector<uint8_t> bytes(size_t(item.GetSize()));
    if (!bytes.empty() && item.Read(bytes.data(), int32_t(bytes.size())) != int32_t(bytes.size())) {
        return Fail(err, path + ": item " + std::to_string(id) + " could not be read whole");
    }
    std::string error;
    return WriteWholeFile(a.output, bytes, 0644, error) ? 0 : Fail(err, error);
}

// One manifest line: ID TYPE NAME PATH.
struct ManifestItem {
    msf::Item item;
    std::string path;
    int line = 0;
};

// The next token of a line: a run of non-blanks, or a double-quoted text.
bool NextToken(const std::string& line, size_t& at, std::string& token) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) {
        ++at;
    }
    if (at >= line.size()) {
        return false;
    }
    if (line[at] == '"') {
        size_t close = line.find('"', at + 1);
        if (close == std::string::npos) {
            return false;
        }
        token = line.substr(at + 1, close - at - 1);
        at = close + 1;
        return true;
    }
    size_t end = line.find_first_of(" \t", at);
    end = end == std::string::npos ? line.size() : end;
    token = line.substr(at, end - at);
    at = end;
    return true;
}

bool ParseManifestLine(const std::string& line, ManifestItem& item, std::string& error) {
    size_t at = 0;
    std::string id, type, name, path;
    if (!NextToken(line, at, id) || !NextToken(line, at, type) || !NextToken(line, at, name) ||
        !NextToken(line, at, path)) {
        error = "expected ID TYPE NAME PATH";
        return false;
    }
    std::string rest;
    if (NextToken(line, at, rest)) {
        error = "unexpected text after the path (quote a path that holds spaces)";
        return false;
    }
    if (!ParseId(id, item.item.id)) {
        error = "bad item id '" + id + "': expected 0 to 65535";
        return false;
    }
    if (type.size() != 4) {
        error = "bad type '" + type + "': expected four characters (quote one with a space: \"RIX \")";
        return false;
    }
    if (name.size() > sizeof ZMediaEntry::name) {
        error = "name '" + name + "' is longer than 8 bytes";
        return false;
    }
    item.item.type = type;
    item.item.name = name;
    item.path = path;
    return true;
}

bool ReadManifest(const std::string& manifestPath, std::vector<ManifestItem>& items, std::string& error) {
    std::ifstream in(manifestPath);
    if (!in) {
        error = "cannot read " + manifestPath + ": " + std::strerror(errno);
        return false;
    }
    std::string folder;
    size_t slash = manifestPath.rfind('/');
    if (slash != std::string::npos) {
        folder = manifestPath.substr(0, slash + 1);
    }
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') {
            continue;
        }
        ManifestItem item;
        item.line = number;
        std::string reason;
        if (!ParseManifestLine(line, item, reason)) {
            error = manifestPath + ":" + std::to_string(number) + ": " + reason;
            return false;
        }
        if (item.path[0] != '/') {
            item.path = folder + item.path;
        }
        std::vector<uint8_t> bytes;
        if (!ReadWholeFile(item.path, bytes, reason)) {
            error = manifestPath + ":" + std::to_string(number) + ": " + reason;
            return false;
        }
        item.item.bytes.assign(bytes.begin(), bytes.end());
        items.push_back(std::move(item));
    }
    return true;
}

int Pack(const Arguments& a, std::ostream&, std::ostream& err) {
    if (a.positional.size() != 1 || !a.hasOutput) {
        return Fail(err, "usage: kestmsf pack MANIFEST -o OUT.MSF");
    }
    std::vector<ManifestItem> items;
    std::string error;
    if (!ReadManifest(a.positional[0], items, error)) {
        return Fail(err, error);
    }
    // items keeps each item's line for the messages below; its bytes move to the writer.
    std::vector<msf::Item> sorted;
    for (ManifestItem& item : items) {
        sorted.push_back(std::move(item.item));
    }
    // Items are stored in id order; items of one id keep their manifest order.
    size_t first = 0, second = 0;
    if (!msf::SortById(sorted, first, second)) {
        const msf::Item& twin = sorted[second];
        return Fail(err, a.positional[0] + ":" + std::to_string(items[second].line) + ": item " +
                             std::to_string(twin.id) + " of type \"" + twin.type +
                             "\" already stands on line " + std::to_string(items[first].line));
    }
    std::vector<uint8_t> container;
    switch (msf::WriteContainer(sorted, container)) {
        case msf::WriteResult::kOk:
            break;
        case msf::WriteResult::kNoItems:
            return Fail(err, a.positional[0] + ": no items (a container needs at least one)");
        case msf::WriteResult::kTooManyItems:
            return Fail(err, a.positional[0] + ": more than 32767 items");
        case msf::WriteResult::kTooLarge:
            return Fail(err, a.positional[0] + ": the items add up to more than 2 GiB");
        case msf::WriteResult::kBadType:
        case msf::WriteResult::kNameTooLong:
            return Fail(err, a.positional[0] + ": an item's type or name does not fit its entry");
    }
    return WriteWholeFile(a.output, container, 0644, error) ? 0 : Fail(err, error);
}

// The part of a host file before its appended container (the whole file when none is appended).
size_t HostLength(const std::string& path, size_t fileSize, bool& hadContainer) {
    ZMediaServer server;
    ZFileSpec spec(path.c_str());
    hadContainer = server.OpenContainer(spec, true);
    return hadContainer ? size_t(server.GetBase()) : fileSize;
}

int Append(const Arguments& a, std::ostream&, std::ostream& err) {
    if (a.positional.size() != 2 || !a.hasOutput) {
        return Fail(err, "usage: kestmsf append HOST CONTAINER -o OUT");
    }
    const std::string& hostPath = a.positional[0];
    const std::string& containerPath = a.positional[1];
    std::vector<uint8_t> host, container;
    std::string error;
    if (!ReadWholeFile(hostPath, host, error) || !ReadWholeFile(containerPath, container, error)) {
        return Fail(err, error);
    }
    ZMediaServer check;
    ZFileSpec spec(containerPath.c_str());
    if (!check.OpenContainer(spec, false)) {
        return Fail(err, containerPath + ": not a valid container (try kestmsf check)");
    }
    if (container.size() > size_t(INT32_MAX)) {
        return Fail(err, containerPath + ": too large to append");
    }
    bool hadContainer = false;
    host.resize(HostLength(hostPath, host.size(), hadContainer));
    host.insert(host.end(), container.begin(), container.end());
    uint8_t trailer[msf::kTrailerSize];
    msf::WriteU32(trailer, uint32_t(container.size()));
    host.insert(host.end(), trailer, trailer + msf::kTrailerSize);
    return WriteWholeFile(a.output, host, FileMode(hostPath), error) ? 0 : Fail(err, error);
}

int Strip(const Arguments& a, std::ostream&, std::ostream& err) {
    if (a.positional.size() != 1 || !a.hasOutput) {
        return Fail(err, "usage: kestmsf strip HOST -o OUT");
    }
    const std::string& hostPath = a.positional[0];
    std::vector<uint8_t> host;
    std::string error;
    if (!ReadWholeFile(hostPath, host, error)) {
        return Fail(err, error);
    }
    bool hadContainer = false;
    host.resize(HostLength(hostPath, host.size(), hadContainer));
    if (!hadContainer) {
        return Fail(err, hostPath + ": no container is appended to it");
    }
    return WriteWholeFile(a.output, host, FileMode(hostPath), error) ? 0 : Fail(err, error);
}

// Every problem of the container at [base, base + length) of bytes.
std::vector<std::string> Inspect(const std::vector<uint8_t>& bytes, int64_t base, int64_t length,
                                 int32_t& count) {
    std::vector<std::string> problems;
    count = 0;
    if (length < msf::kHeaderSize) {
        problems.push_back("shorter than the 8-byte header");
        return problems;
    }
    const uint8_t* c = bytes.data() + base;
    count = int16_t(msf::ReadU16(c + 2));
    if (count <= 0) {
        problems.push_back("entry count " + std::to_string(count) + " is not positive");
        return problems;
    }
    if (msf::DirectoryEnd(count) > length) {
        problems.push_back("a directory of " + std::to_string(count) + " entries does not fit in " +
                           std::to_string(length) + " bytes");
        return problems;
    }
    std::vector<ZMediaEntry> entries;
    for (int32_t i = 0; i < count; ++i) {
        entries.push_back(msf::ParseEntry(c + msf::kHeaderSize + size_t(i) * msf::kEntrySize));
    }
    msf::CheckDirectory(entries, length, problems);
    for (const ZMediaEntry& e : entries) {
        if (e.type == kTypeMsf && int64_t(e.offset) + e.size <= length) {
            std::vector<uint8_t> table(c + e.offset, c + e.offset + e.size);
            msf::CheckVariantTable(e, table, length, problems);
        }
    }
    return problems;
}

int Check(const Arguments& a, std::ostream& out, std::ostream& err) {
    if (a.positional.size() != 1 || a.hasOutput) {
        return Fail(err, "usage: kestmsf check FILE");
    }
    const std::string& path = a.positional[0];
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadWholeFile(path, bytes, error)) {
        return Fail(err, error);
    }
    struct Layout {
        const char* name;
        int64_t base;
        int64_t length;
    };
    std::vector<Layout> layouts = {{"plain container", 0, int64_t(bytes.size())}};
    int64_t base = 0;
    int64_t length = 0;
    const uint8_t* trailer = bytes.size() >= 4 ? bytes.data() + bytes.size() - 4 : nullptr;
    if (trailer != nullptr && msf::LocateAppended(int64_t(bytes.size()), trailer, 4, base, length)) {
        layouts.push_back({"appended container", base, length});
    }
    // Garbage has a problem in nearly every entry: a screenful of them says enough.
    constexpr size_t kMostProblems = 20;
    std::vector<std::string> report;
    for (const Layout& layout : layouts) {
        int32_t count = 0;
        std::vector<std::string> problems = Inspect(bytes, layout.base, layout.length, count);
        if (problems.empty()) {
            out << path << ": ok: " << layout.name << ", base " << layout.base << ", length " << layout.length
                << ", " << count << " entries\n";
            return 0;
        }
        for (size_t i = 0; i < problems.size() && i < kMostProblems; ++i) {
            report.push_back(path + ": " + layout.name + ": " + problems[i]);
        }
        if (problems.size() > kMostProblems) {
            report.push_back(path + ": " + layout.name + ": ... and " +
                             std::to_string(problems.size() - kMostProblems) + " more problems");
        }
    }
    for (const std::string& line : report) {
        err << line << "\n";
    }
    return 1;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << kUsage;
        return 1;
    }
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return 0;
    }
    Arguments a;
    std::string error;
    if (!SplitArguments(args, a, error)) {
        return Fail(err, error);
    }
    if (command == "list") {
        return List(a, out, err);
    }
    if (command == "extract") {
        return Extract(a, out, err);
    }
    if (command == "pack") {
        return Pack(a, out, err);
    }
    if (command == "append") {
        return Append(a, out, err);
    }
    if (command == "strip") {
        return Strip(a, out, err);
    }
    if (command == "check") {
        return Check(a, out, err);
    }
    return Fail(err, "unknown command '" + command + "' (see kestmsf --help)");
}

}  // namespace msftool
