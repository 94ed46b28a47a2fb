// Fuzzes the readers of packets: any bytes as a packet file go through the reader
// library's C interface, list, list --raw, verify (alone, with GBK names, against a
// fixed source folder) and extract into a fresh folder, with four oracles: list --raw
// gives the index back, extract writes nothing outside its folder and recreates the
// packet's tree exactly, the library gives every entry by number and by path with its
// content, and every verdict matches a plain in-memory check made here.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cli/CliText.h"
#include "cli/PacketCommands.h"
#include "platform/ConfinedTree.h"
#include "platform/File.h"
#include "tests/fuzz/FuzzFolder.h"
#include "tests/support/TreeFiles.h"
#include "velkaron/reader.h"

namespace {

using Tree = std::map<std::string, std::string>;  // as ReadTree gives it

void Check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "packet fuzz: %s\n", what);
    std::abort();
}

// In the fuzzing process's own folder: the packet, a source folder to verify against,
// and the extract target two levels down, so that a write beside it is seen.
struct Folder {
    CFuzzFolder folder{"velkaron-fuzz-packet"};
    std::string packet = folder / "p.dat";
    std::string source = folder / "src";
    std::string cage = folder / "cage/x/";
    std::string out = cage + "out";
    std::string fullOut = FullFolderPath(out + "/");
    Tree sourceTree;
    Tree everything;  // the whole folder but the packet, as it must stay

    Folder() {
        MakeDirs(source + "/sub");
        MakeDir(source + "/empty");
        WriteAll(source + "/a.txt", "hello");
        WriteAll(source + "/sub/b.txt", "world");
        MakeDirs(cage);
        sourceTree = ReadTree(source);
        everything = ReadTree(folder / "");
    }

    static void WriteAll(const std::string& path, const std::string& bytes) {
        CFile file;
        Check(file.Open(path, CFile::modeCreate | CFile::modeWrite) && file.Write(bytes.data(), bytes.size()) &&
                  file.Close(),
              "cannot write a file of the fuzzing folder");
    }
};

Folder& Here() {
    static Folder folder;
    return folder;
}

// ---- The in-memory check: what verify must say of the bytes, made independently. ----

struct Entry {
    bool folder;
    long long offset, length;
    std::string path;
};

bool Number(const std::string& text, long long& value) {
    if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == '0')) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value <= 2147483647LL;
}

// The components of `path`, a GBK trail byte never taken for a separator; false when
// a lead byte lacks its trail byte.
bool Split(const std::string& path, bool gbk, std::vector<std::string>& parts) {
    parts.assign(1, std::string());
    for (std::size_t i = 0; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (gbk && c >= 0x81 && c <= 0xFE) {
            if (i + 1 == path.size()) return false;
            unsigned char t = static_cast<unsigned char>(path[i + 1]);
            if (t < 0x40 || t == 0x7F || t == 0xFF) return false;
            parts.back() += path.substr(i++, 2);
        } else if (c == '\\') {
            parts.emplace_back();
        } else {
            parts.back() += path[i];
        }
    }
    return true;
}

bool GoodPath(const std::string& path, bool gbk) {
    std::vector<std::string> parts;
    if (path.empty() || path[0] == '\\' || !Split(path, gbk, parts)) return false;
    if (path.size() >= 2 && path[1] == ':' && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z')) return false;
    for (const std::string& part : parts) {
        if (part.empty() || part == "." || part == ".." || part.find('\0') != std::string::npos ||
            part.find('/') != std::string::npos) {
            return false;
        }
    }
    return true;
}

std::string Parent(const std::string& path, bool gbk) {
    std::vector<std::string> parts;
    Split(path, gbk, parts);
    std::string parent;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) parent += (i ? "\\" : "") + parts[i];
    return parent;
}

// Lines in the order of a walk: each folder's direct entries, then its subfolders'.
bool InWalkOrder(const std::vector<Entry>& entries, bool gbk) {
    std::map<std::string, std::vector<const Entry*>> children;
    std::set<std::string> folders{""};
    for (const Entry& e : entries) {
        std::string parent = Parent(e.path, gbk);
        if (!folders.count(parent)) return false;
        if (e.folder) folders.insert(e.path);
        children[parent].push_back(&e);
    }
    std::vector<const Entry*> walk;
    std::vector<std::string> todo{""};
    for (std::size_t next = 0; next < todo.size(); ++next) {
        // Depth first: a folder's subfolders go right after it in what is left to walk.
        std::vector<std::string> subfolders;
        for (const Entry* e : children[todo[next]]) {
            walk.push_back(e);
            if (e->folder) subfolders.push_back(e->path);
        }
        todo.insert(todo.begin() + static_cast<long>(next) + 1, subfolders.begin(), subfolders.end());
    }
    if (walk.size() != entries.size()) return false;
    for (std::size_t i = 0; i < walk.size(); ++i) {
        if (walk[i] != &entries[i]) return false;
    }
    return true;
}

bool ValidPacket(const std::string& bytes, bool gbk, std::vector<Entry>& entries, std::string& index) {
    entries.clear();
    const std::string magic = "Velkaron.Packet ";
    if (bytes.size() < 64 || bytes.compare(0, magic.size(), magic) != 0) return false;
    std::string header = bytes.substr(0, 64);
    std::size_t crlf = header.find("\r\n");
    if (crlf == std::string::npos || header.find_first_not_of(' ', crlf + 2) != std::string::npos) return false;
    std::string numbers = header.substr(magic.size(), crlf - magic.size());
    std::size_t space = numbers.find(' ');
    long long indexOffset, indexLength;
    if (space == std::string::npos || !Number(numbers.substr(0, space), indexOffset) ||
        !Number(numbers.substr(space + 1), indexLength) || indexOffset < 64 ||
        indexOffset + indexLength != static_cast<long long>(bytes.size())) {
        return false;
    }
    index = bytes.substr(static_cast<std::size_t>(indexOffset));
    long long next = 64;
    std::set<std::string> paths;
    for (std::size_t pos = 0; pos < index.size();) {
        std::size_t lf = index.find('\n', pos);
        if (lf == std::string::npos || lf == pos || index[lf - 1] != '\r') return false;
        std::string line = index.substr(pos, lf - 1 - pos);
        pos = lf + 1;
        if (line.size() > 65536 || line.find('\r') != std::string::npos) return false;
        if (line.size() < 3 || line[0] != '#' || (line[1] != 'D' && line[1] != 'F') || line[2] != ',') return false;
        std::size_t c1 = line.find(',', 3);
        std::size_t c2 = c1 == std::string::npos ? c1 : line.find(',', c1 + 1);
        Entry e{line[1] == 'D', 0, 0, std::string()};
        if (c2 == std::string::npos || !Number(line.substr(3, c1 - 3), e.offset) ||
            !Number(line.substr(c1 + 1, c2 - c1 - 1), e.length)) {
            return false;
        }
        e.path = line.substr(c2 + 1);
        if ((e.folder && e.length != 0) || !GoodPath(e.path, gbk) || e.offset != next || !paths.insert(e.path).second) {
            return false;
        }
        if (!e.folder) next += e.length;
        if (next > indexOffset) return false;
        entries.push_back(e);
    }
    return next == indexOffset && InWalkOrder(entries, gbk);
}

// The tree the packet describes, as ReadTree gives it for an extracted copy.
Tree TreeOf(const std::string& bytes, const std::vector<Entry>& entries) {
    Tree tree;
    for (const Entry& e : entries) {
        std::vector<std::string> parts;
        Split(e.path, false, parts);
        std::string path;
        for (std::size_t i = 0; i < parts.size(); ++i) path += (i ? "/" : "") + parts[i];
        tree[e.folder ? path + "/" : path] =
            e.folder ? std::string()
                     : bytes.substr(static_cast<std::size_t>(e.offset), static_cast<std::size_t>(e.length));
    }
    return tree;
}

// Whether extract may recreate the tree here: no name it refuses on this system.
bool Extractable(const std::vector<Entry>& entries, const std::string& root) {
    for (const Entry& e : entries) {
        std::vector<std::string> parts;
        Split(e.path, false, parts);
        if (root.size() + e.path.size() >= PATH_MAX) return false;
        for (const std::string& part : parts) {
            if (part.size() > NAME_MAX ||
                (part.size() == 2 && part[1] == ':' && ((part[0] | 0x20) >= 'a' && (part[0] | 0x20) <= 'z'))) {
                return false;
            }
        }
    }
    return true;
}

// What the library makes of a packet the plain check found `valid` with `entries`.
void CheckLibrary(const std::string& packet, const std::string& bytes, bool valid, const std::vector<Entry>& entries) {
    for (unsigned flags : {0u, unsigned{VKR_OPEN_MAP}}) {
        vkr_packet* p = nullptr;
        Check((vkr_open(packet.c_str(), flags, &p) == VKR_OK) == valid, "the library and the plain check disagree");
        if (p == nullptr) continue;
        std::size_t count = 0;
        Check(vkr_count(p, &count) == VKR_OK && count == entries.size(), "the library counts other entries");
        for (std::size_t i = 0; i < count; ++i) {
            vkr_entry byIndex, byPath;
            char path[70000];
            Check(vkr_entry_at(p, i, &byIndex) == VKR_OK &&
                      vkr_entry_path(p, i, path, sizeof path, nullptr) == VKR_OK && path == entries[i].path &&
                      vkr_find(p, path, &byPath) == VKR_OK && byPath.index == i &&
                      byIndex.kind == (entries[i].folder ? VKR_KIND_FOLDER : VKR_KIND_FILE) &&
                      byIndex.offset == entries[i].offset && byIndex.length == entries[i].length,
                  "the library gives an entry otherwise by number or by path");
            if (entries[i].folder) continue;
            std::string content(static_cast<std::size_t>(entries[i].length), '\0');
            std::size_t got = 0;
            Check(vkr_read(p, i, 0, &content[0], content.size(), &got) == VKR_OK && got == content.size() &&
                      content == bytes.substr(static_cast<std::size_t>(entries[i].offset), got),
                  "the library reads a file's content otherwise");
        }
        vkr_close(p);
    }
}

// ---- The commands, run in-process with their output captured. ----

struct Run {
    int status;
    std::string out, err;
};

template <typename F>
Run Capture(F command) {
    Run run;
    CaptureCliText(&run.out, &run.err);
    run.status = command();
    CaptureCliText(nullptr, nullptr);
    return run;
}

CliOptions Options(bool gbk = false) {
    CliOptions options;
    options.bufferSize = 61;  // several pieces for all but the smallest files
    options.gbk = gbk;
    return options;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Folder& here = Here();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    Folder::WriteAll(here.packet, bytes);

    std::vector<Entry> entries;
    std::string index;
    const bool valid = ValidPacket(bytes, false, entries, index);

    CheckLibrary(here.packet, bytes, valid, entries);

    CliOptions raw = Options();
    raw.raw = true;
    Run listed = Capture([&] { return RunList(here.packet, raw); });
    Check((listed.status == 0) == valid, "list --raw and the plain check disagree");
    Check(valid ? listed.out == index : listed.out.empty(), "list --raw does not give the index back");
    Run table = Capture([&] { return RunList(here.packet, Options()); });
    Check((table.status == 0) == valid && table.out.empty() == !valid, "the list table disagrees with the check");

    Run verified = Capture([&] { return RunVerify(here.packet, std::string(), Options()); });
    Check((verified.status == 0) == valid, "verify and the plain check disagree");
    std::vector<Entry> gbkEntries;
    const bool gbkValid = ValidPacket(bytes, true, gbkEntries, index);
    Run gbk = Capture([&] { return RunVerify(here.packet, std::string(), Options(true)); });
    Check((gbk.status == 0) == gbkValid, "verify --name-encoding gbk and the plain check disagree");
    Run compared = Capture([&] { return RunVerify(here.packet, here.source, Options()); });
    Check((compared.status == 0) == (valid && TreeOf(bytes, entries) == here.sourceTree),
          "verify against the source folder and the plain check disagree");

    Run extracted = Capture([&] { return RunExtract(here.packet, here.out, Options()); });
    const bool extractable = valid && Extractable(entries, here.fullOut);
    Check((extracted.status == 0) == extractable, "extract and the plain check disagree");
    Tree expected;
    if (extractable) {
        expected["out/"] = "";
        for (const auto& entry : TreeOf(bytes, entries)) expected["out/" + entry.first] = entry.second;
    }
    Check(ReadTree(here.cage) == expected, "extract did not recreate exactly the packet's tree");
    RemoveTree(here.out);
    Tree now = ReadTree(here.folder / "");
    now.erase("p.dat");
    Check(now == here.everything, "a command wrote outside its folder or changed the source");
    return 0;
}
