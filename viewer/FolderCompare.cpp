// Comparing a packet with a folder: first every entry of the packet against the
// folder's file or folder of the same Unicode name, then every entry of the folder
// against the packet's names, as verify does, with every difference kept.
#include "viewer/FolderCompare.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "cli/TargetNames.h"
#include "platform/File.h"
#include "platform/FileFind.h"
#include "platform/FileSystem.h"

namespace {

constexpr std::size_t kPiece = 256 * 1024;  // bytes compared at a time
constexpr std::size_t kProgressStep = 64;   // entries between two progress calls

bool EndsWithSeparator(const std::string& path) {
    return !path.empty() && (path.back() == kPathSep || (kWindowsNames && path.back() == '/'));
}

// "a\b" and "c" as "a\c": the window's paths, whatever the system's separator.
std::string ShownBelow(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "\\" + name;
}

class CComparison {
public:
    CComparison(const CPacketView& view, const std::string& folder, std::vector<FolderDifference>& differences,
                const std::function<bool(std::size_t, std::size_t)>& progress)
        : m_view(view),
          m_strFolder(folder),
          m_differences(differences),
          m_progress(progress),
          m_strRoot(EndsWithSeparator(folder) ? folder : folder + kPathSep),
          m_nTotal(2 * view.Packet().Count()) {}

    // False with `error` when the folder cannot be compared at all.
    bool Run(std::string& error) {
        const PathKind kind = GetUtf8TargetKind(m_strFolder);
        if (kind == PathKind::Missing) {
            error = u8"文件夹 " + m_strFolder + u8" 不存在";
            return false;
        }
        if (kind != PathKind::Folder) {
            error = m_strFolder + u8" 不是文件夹";
            return false;
        }
        CFileFind probe;
        if (!probe.FindFileUtf8(m_strRoot + "*.*")) {
            error = u8"无法列出文件夹 " + m_strFolder + u8" 的内容";
            return false;
        }
        probe.Close();
        m_packetId = GetUtf8PathId(m_view.PathOfPacket());
        m_source.resize(kPiece);
        m_packet.resize(kPiece);
        m_local.assign(m_view.Packet().Count(), std::string());
        if (CompareEntries() && WalkFolder(kRootFolder, m_strRoot)) {
            if (m_progress) m_progress(m_nTotal, m_nTotal);
        }
        return true;
    }

    bool Stopped() const { return m_bStopped; }

private:
    // Tells the progress; false (stopped set) when it says to stop.
    bool Ask() {
        if (m_progress && !m_progress(std::min(m_nDone, m_nTotal), m_nTotal)) m_bStopped = true;
        return !m_bStopped;
    }

    void Differ(const std::string& path, const std::string& what) { m_differences.push_back({path, what}); }

    bool IsPacket(const std::string& local) const { return m_packetId.valid && GetUtf8PathId(local) == m_packetId; }

    // Every entry of the packet in index order, a folder before what it holds; false when stopped.
    bool CompareEntries() {
        for (std::size_t index = 0; index < m_view.Packet().Count(); ++index) {
            m_nDone = index;
            if (index % kProgressStep == 0 && !Ask()) return false;
            const std::size_t parent = m_view.Parent(index);
            const std::string& folder = parent == kRootFolder ? m_strRoot : m_local[parent];
            if (folder.empty()) continue;  // below a folder the folder lacks: told once, by that folder
            std::string name, problem;
            if (!LocalName(index, name, problem)) {
                Differ(m_view.Path(index), problem);
                continue;
            }
            if (m_view.IsFolder(index)) {
                CompareFolder(index, folder + name);
            } else if (!CompareFile(index, folder + name)) {
                return false;
            }
        }
        m_nDone = m_view.Packet().Count();
        return true;
    }

    // The entry's name as the folder holds it (UTF-8); false with why it cannot hold one.
    bool LocalName(std::size_t index, std::string& name, std::string& problem) const {
        const std::string stored = m_view.StoredName(index);
        if (velkaron::GbkToUtf8(stored, name) != VKR_OK) {
            problem = u8"名称不是有效的 GBK";
            return false;
        }
        if (const char* why = TargetNameProblem(stored, kWindowsNames, NameCoding::Gbk)) {
            problem = Utf8Of(why);
            return false;
        }
        return true;
    }

    void CompareFolder(std::size_t index, const std::string& local) {
        const PathKind kind = GetUtf8TargetKind(local);
        if (kind == PathKind::Folder) {
            m_local[index] = local + kPathSep;
        } else {
            Differ(m_view.Path(index),
                   kind == PathKind::Missing ? u8"文件夹中没有这个文件夹" : u8"文件夹中这不是文件夹");
        }
    }

    // False when stopped.
    bool CompareFile(std::size_t index, const std::string& local) {
        const PathKind kind = GetUtf8TargetKind(local);
        std::string what;
        CFile file;
        if (kind == PathKind::Missing) {
            what = u8"文件夹中没有这个文件";
        } else if (kind != PathKind::File) {
            what = u8"文件夹中这不是普通文件";
        } else if (!file.Open(local, CFile::modeRead | CFile::modeUtf8Path)) {
            what = u8"文件夹中的这个文件无法读取";
        } else if (!file.IsRegular()) {
            what = u8"文件夹中这不是普通文件";
        } else {
            what = ContentDifference(file, index);
            if (m_bStopped) return false;
        }
        // The packet itself, packed into itself by an earlier pack, has changed since.
        if (!what.empty() && !IsPacket(local)) Differ(m_view.Path(index), what);
        return true;
    }

    // What differs between what reading the file gives, to its end, and the entry's
    // content (files of procfs report lengths they do not hold); empty when nothing does
    // or when stopped.
    std::string ContentDifference(CFile& file, std::size_t index) {
        velkaron::Entry entry;
        if (m_view.Packet().EntryAt(index, entry) != VKR_OK) return u8"读取数据包出错: " + velkaron::LastMessage();
        const std::int64_t length = m_view.Length(index);
        std::int64_t done = 0;
        for (;;) {
            if (done > 0 && !Ask()) return std::string();
            const long long got = file.Read(m_source.data(), m_source.size());
            if (got < 0) return u8"读取文件夹中的这个文件出错";
            if (got == 0) break;
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::int64_t>(got, std::max<std::int64_t>(length - done, 0)));
            std::size_t read = 0;
            const velkaron::Status status =
                n == 0 ? VKR_OK : m_view.Packet().Read(entry, done, m_packet.data(), n, read);
            if (status != VKR_OK || read != n) {
                return u8"读取数据包出错: " +
                       (status != VKR_OK ? velkaron::LastMessage() : std::string(u8"数据包已变短"));
            }
            if (std::memcmp(m_source.data(), m_packet.data(), n) != 0) {
                std::size_t at = 0;
                while (m_source[at] == m_packet[at]) ++at;
                return u8"内容不同, 自第 " + std::to_string(done + static_cast<std::int64_t>(at)) + u8" 字节起";
            }
            done += got;
        }
        if (done == length) return std::string();
        return u8"长度不同, 文件夹中 " + std::to_string(done) + u8" 字节, 数据包中 " + std::to_string(length) +
               u8" 字节";
    }

    struct Listed {
        std::string name;  // UTF-8
        EntryKind kind;
        bool exact;
    };

    // Every entry of `local` (ending with a separator), the folder that holds the
    // packet's `folder`, against the packet; then each folder both hold, in turn.
    // False when stopped.
    bool WalkFolder(std::size_t folder, const std::string& local) {
        const std::string shown = folder == kRootFolder ? std::string() : m_view.Path(folder);
        std::vector<Listed> listed;
        if (!List(local, listed)) {
            Differ(shown, u8"无法列出文件夹中的内容");
            return true;
        }
        std::unordered_map<std::string, std::size_t> stored;
        for (std::size_t child : m_view.Children(folder)) stored.emplace(m_view.StoredName(child), child);
        std::vector<std::size_t> below;  // the folders to walk next
        for (const Listed& entry : listed) {
            if (++m_nListed % kProgressStep == 0 && !Ask()) return false;
            std::string name;
            const char* why = nullptr;
            if (!entry.exact || velkaron::Utf8ToGbk(entry.name, name) != VKR_OK) {
                why = u8"名称无法转换为 GBK";
            } else if (entry.name.find('\\') != std::string::npos) {
                why = u8"名称含有反斜杠";  // the packet's separator; no GBK name of one entry holds it
            } else {
                const auto found = stored.find(name);
                if (found != stored.end()) {
                    ++m_nDone;
                    if (entry.kind == EntryKind::Folder && !m_local[found->second].empty()) {
                        below.push_back(found->second);
                    }
                    continue;
                }
            }
            const std::string path = local + entry.name;
            if (why == nullptr && entry.kind != EntryKind::Folder && IsPacket(path)) continue;
            Differ(ShownBelow(shown, entry.name), why != nullptr ? std::string(u8"不在数据包中: ") + why
                                                                 : u8"不在数据包中" + WhyLeftOut(entry.kind, path));
        }
        for (std::size_t sub : below) {
            if (!WalkFolder(sub, m_local[sub])) return false;
        }
        return true;
    }

    // The entries of `local`, but "." and "..", in byte order of their names, so that
    // the differences come in the same order on every system.
    static bool List(const std::string& local, std::vector<Listed>& listed) {
        CFileFind find;
        if (!find.FindFileUtf8(local + "*.*")) return false;
        while (find.FindNextFile()) {
            if (!find.IsDots()) listed.push_back({find.GetFileName(), find.GetKind(), find.IsNameExact()});
        }
        std::sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) { return a.name < b.name; });
        return true;
    }

    // Why pack leaves out the entry at `local`, after ": ", where the entry shows one.
    static std::string WhyLeftOut(EntryKind kind, const std::string& local) {
        if (kind == EntryKind::Other) return u8": 不是普通文件";
        CFile file;
        if (kind == EntryKind::File && !file.Open(local, CFile::modeRead | CFile::modeUtf8Path)) {
            return file.FoundFolder() ? u8": 不是普通文件" : u8": 无法读取";
        }
        return std::string();
    }

    const CPacketView& m_view;
    const std::string m_strFolder;  // as given
    std::vector<FolderDifference>& m_differences;
    const std::function<bool(std::size_t, std::size_t)>& m_progress;
    const std::string m_strRoot;  // the folder, ending with a separator
    const std::size_t m_nTotal;   // for progress: each entry once per pass
    std::size_t m_nDone = 0;
    std::size_t m_nListed = 0;  // entries of the folder listed, for the progress step
    bool m_bStopped = false;
    FileId m_packetId;
    std::vector<std::string> m_local;  // by index: a folder's path in the folder, "" when it has none
    std::vector<char> m_source;
    std::vector<char> m_packet;
};

}  // namespace

bool CompareWithFolder(const CPacketView& view, const std::string& folder, std::vector<FolderDifference>& differences,
                       bool& stopped, std::string& error,
                       const std::function<bool(std::size_t done, std::size_t total)>& progress) {
    differences.clear();
    error.clear();
    stopped = false;
    CComparison comparison(view, folder, differences, progress);
    if (!comparison.Run(error)) return false;
    stopped = comparison.Stopped();
    return true;
}
