// list, verify, extract and cat: each opens the packet through the reader library's
// CPacketIndex, which checks it whole before anything is compared or written.
#include "cli/PacketCommands.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "cli/CliText.h"
#include "cli/PackCommand.h"
#include "cli/TargetNames.h"
#include "packer/PacketBuilder.h"
#include "packer/PacketFormat.h"
#include "reader/PacketIndex.h"
#include "platform/ConfinedTree.h"
#include "platform/FileFind.h"
#include "platform/FileSystem.h"
#include "platform/MbText.h"
#include "platform/NameEncoding.h"

namespace {

// Why a path of the source cannot be opened, where its length is the reason.
const char* const kTooLong = SkipReasonText(SkipReason::PathTooLong);

NameCoding CodingOf(const CliOptions& options) { return options.gbk ? NameCoding::Gbk : NameCoding::Local; }

std::string N(long long value) { return std::to_string(value); }

std::string RightAligned(const std::string& text, std::size_t width) {
    return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

// Opens and checks the whole packet; false after naming the broken rule.
bool OpenChecked(CPacketIndex& index, const std::string& packet) {
    if (index.Open(packet) && index.Check()) return true;
    Err(DescribeProblem(index.Problem(), packet));
    return false;
}

// A stored path as local components: split at whole-character backslashes, each
// converted from GBK when `encoder` is open. False when a name cannot be converted.
bool LocalComponents(const std::string& stored, NameCoding coding, CNameEncoder* encoder,
                     std::vector<std::string>& components) {
    components = CPacketIndex::Components(stored, coding);
    if (encoder == nullptr) return true;
    for (std::string& name : components) {
        if (!encoder->Convert(name)) return false;
    }
    return true;
}

std::string Join(const std::vector<std::string>& components, char sep) {
    std::string path;
    for (const std::string& name : components) {
        if (!path.empty()) path += sep;
        path += name;
    }
    return path;
}

// "索引第 N 行 (path)", the path as `shown`: in the local encoding where it could be converted.
std::string LineTag(const PacketLine& line, const std::string& shown) {
    return "索引第 " + N(line.number) + " 行 (" + shown + ")";
}

}  // namespace

int RunList(const std::string& packet, const CliOptions& options) {
    CNameEncoder decoder;
    if (!OpenEncoder(decoder, NameDirection::GbkToLocal, options)) return kExitFailed;
    CPacketIndex index(CodingOf(options));
    if (!OpenChecked(index, packet)) return kExitFailed;  // nothing on standard output then
    long long unshown = 0;  // first line whose name could not be converted
    if (!options.raw) Out("类型       偏移       长度  路径\n");
    bool ok = index.ForEach([&](const PacketLine& line) {
        if (options.raw) {
            // Numbers are checked to be in their one written form and within 32 bits, so
            // this is the line as stored.
            const int offset = static_cast<int>(line.offset);
            Out(line.folder ? FormatFolderLine(offset, line.path)
                            : FormatFileLine(offset, static_cast<int>(line.length), line.path));
            return true;
        }
        std::string path = line.path;
        if (options.gbk && !decoder.Convert(path) && unshown == 0) unshown = line.number;
        Out(std::string(line.folder ? "目录" : "文件") + " " + RightAligned(N(line.offset), 10) + " " +
            RightAligned(N(line.length), 10) + "  " + Shown(path) + "\n");
        return true;
    });
    if (!ok) {
        Err(DescribeProblem(index.Problem(), packet));
        return kExitFailed;
    }
    if (!options.raw) {
        Out("\n文件: " + N(index.Files()) + " | 文件夹 " + N(index.Folders()) + " | 数据 " +
            N(index.IndexOffset() - kPacketHeaderSize) + " 字节\n");
    }
    if (unshown > 0) {
        Err("索引第 " + N(unshown) + " 行起有名称不是有效的 GBK 或无法以本地编码显示, 已按原样显示。\n");
        return kExitFailed;
    }
    return kExitOk;
}

namespace {

// Compares a checked packet with a source folder: every line against what the folder
// holds, then every entry of the folder against the index.
class SourceComparison {
public:
    SourceComparison(CPacketIndex& index, const std::string& packet, const std::string& root,
                     const CliOptions& options)
        : m_index(index), m_root(root), m_coding(CodingOf(options)), m_bGbk(options.gbk),
          m_source(options.bufferSize), m_packet(options.bufferSize) {
        const std::string work = WithOneTrailingChar(WorkFolderOf(options.workDir), kPathSep);
        m_workFiles[0] = GetPathId(work + kDataWorkFile);
        m_workFiles[1] = GetPathId(work + kIndexWorkFile);
        m_packetId = GetPathId(packet);
    }

    bool Open(const CliOptions& options) {
        return OpenEncoder(m_toLocal, NameDirection::GbkToLocal, options) &&
               OpenEncoder(m_toStored, NameDirection::LocalToGbk, options);
    }

    // False with the first difference in Difference().
    bool Run() {
        if (StateOfFolder(m_root) != FolderState::Folder) return Differ(SourceFolderProblem(m_root));
        bool same = m_index.ForEach([this](const PacketLine& line) { return CompareLine(line); });
        if (!same && m_strDifference.empty()) return Differ("读取数据包出错");
        if (!same) return false;
        return WalkSource(m_root, std::string());
    }

    const std::string& Difference() const { return m_strDifference; }

private:
    bool Differ(const std::string& text) {
        m_strDifference = text;
        return false;
    }

    bool CompareLine(const PacketLine& line) {
        std::vector<std::string> components;
        if (!LocalComponents(line.path, m_coding, m_bGbk ? &m_toLocal : nullptr, components)) {
            return Differ(LineTag(line, line.path) + ": 名称不是有效的 GBK, 在源文件夹中找不到");
        }
        const std::string tag = LineTag(line, Join(components, '\\'));
        std::string local = m_root + Join(components, kPathSep);
        if (PathTooLongToOpen(local)) return Differ(tag + ": " + kTooLong + ", 无法在源文件夹中检查: " + local);
        if (line.folder) {
            return IsFolder(local) || Differ(tag + ": 源文件夹中没有这个文件夹: " + local);
        }
        CFile file;
        if (!file.Open(local, CFile::modeRead)) return Differ(tag + ": 源文件夹中没有或无法读取: " + local);
        if (!file.IsRegular()) return Differ(tag + ": 源文件夹中这不是普通文件: " + local);
        // The packet itself, packed by the dialog's job as it was before: it has changed since.
        if (file.GetId() == m_packetId) return true;
        return CompareContent(file, line, tag, local);
    }

    // Compares what reading the file gives, to its end, with the line's bytes, as pack
    // packs it: files of procfs and sysfs report a length that is not what they hold.
    bool CompareContent(CFile& file, const PacketLine& line, const std::string& tag, const std::string& local) {
        long long done = 0;  // bytes of the file read
        for (;;) {
            const long long got = file.Read(m_source.data(), m_source.size());
            if (got < 0) return Differ(tag + ": 读取源文件出错: " + local);
            if (got == 0) break;
            const std::size_t n = static_cast<std::size_t>(std::min(got, std::max(line.length - done, 0LL)));
            if (n > 0 && m_index.ReadAt(line.offset + done, m_packet.data(), n) != static_cast<long long>(n)) {
                return Differ(tag + ": 读取数据包出错");
            }
            if (std::memcmp(m_source.data(), m_packet.data(), n) != 0) {
                std::size_t at = 0;
                while (m_source[at] == m_packet[at]) ++at;
                return Differ(tag + ": 内容不同, 自第 " + N(done + static_cast<long long>(at)) + " 字节起");
            }
            done += got;
        }
        if (done != line.length) {
            return Differ(tag + ": 长度不同, 源文件 " + N(done) + " 字节, 数据包中 " + N(line.length) + " 字节");
        }
        return true;
    }

    // Lists `folder` as the packing job does: subfolders entered in the order of their
    // index lines, as the job entered them, and a folder already entered (through a link)
    // not again, as the job does not enter it twice.
    bool WalkSource(const std::string& folder, const std::string& prefix) {
        const FileId id = GetPathId(folder);
        if (id.valid && !m_entered.insert(id).second) return true;
        struct Subfolder {
            long long line;
            std::string name;    // local
            std::string stored;  // its stored path
        };
        std::vector<Subfolder> subfolders;
        CFileFind find;
        const std::string pattern = folder + kPathSep + "*.*";
        if (!find.FindFile(pattern)) {
            if (PathTooLongToOpen(pattern)) return Differ("无法列出源文件夹中的 " + folder + ": " + kTooLong);
            return true;  // nothing listed, nothing to miss
        }
        while (find.FindNextFile()) {
            if (find.IsDots()) continue;
            std::string name = find.GetFileName();
            std::string local = folder + name;
            std::string stored = name;
            if (NameHoldsBackslash(name)) {
                return Differ("源文件夹中的 " + local + " 不在数据包中: 名称含有反斜杠");
            }
            if (m_bGbk && !m_toStored.Convert(stored)) {
                return Differ("源文件夹中的 " + local + " 不在数据包中: 名称无法转换为 GBK");
            }
            PacketLine line;
            if (!m_index.Find(prefix + stored, line)) {
                if (IsJobFile(find, local)) continue;  // left out by the job that made them
                return Differ("源文件夹中的 " + local + " 不在数据包中" + WhyLeftOut(find, local));
            }
            if (find.IsDirectory()) subfolders.push_back({line.number, name, prefix + stored});
        }
        std::sort(subfolders.begin(), subfolders.end(),
                  [](const Subfolder& a, const Subfolder& b) { return a.line < b.line; });
        for (const Subfolder& sub : subfolders) {
            if (!WalkSource(folder + sub.name + kPathSep, sub.stored + "\\")) return false;
        }
        return true;
    }

    // Why pack leaves out the entry `local` of the source, in pack's words after ": ", where
    // the entry shows one (a path too long, no plain file, a file this user cannot open);
    // else nothing.
    std::string WhyLeftOut(const CFileFind& find, const std::string& local) const {
        if (PathTooLongToOpen(local)) return std::string(": ") + kTooLong;
        if (find.GetKind() == EntryKind::Other) return std::string(": ") + SkipReasonText(SkipReason::NotAFile);
        CFile file;
        if (find.GetKind() == EntryKind::File && !file.Open(local, CFile::modeRead)) {
            const SkipReason reason = file.FoundFolder() ? SkipReason::NotAFile : SkipReason::Unreadable;
            return std::string(": ") + SkipReasonText(reason);
        }
        return std::string();
    }

    // The packet, or one of the two work files of a pack with the work folder verify was given.
    bool IsJobFile(const CFileFind& find, const std::string& local) const {
        if (find.IsDirectory()) return false;
        FileId id = GetPathId(local);
        return id == m_packetId || id == m_workFiles[0] || id == m_workFiles[1];
    }

    CPacketIndex& m_index;
    std::string m_root;  // ends with a separator
    NameCoding m_coding;
    bool m_bGbk;
    FileId m_workFiles[2];
    FileId m_packetId;
    std::unordered_set<FileId, FileIdHash> m_entered;  // folders walked, each once
    CNameEncoder m_toLocal;
    CNameEncoder m_toStored;
    std::vector<char> m_source;
    std::vector<char> m_packet;
    std::string m_strDifference;
};

}  // namespace

int RunVerify(const std::string& packet, const std::string& source, const CliOptions& options) {
    CPacketIndex index(CodingOf(options));
    if (!OpenChecked(index, packet)) return kExitFailed;
    std::string summary = N(index.Files()) + " 个文件, " + N(index.Folders()) + " 个文件夹, 数据 " +
                          N(index.IndexOffset() - kPacketHeaderSize) + " 字节";
    if (source.empty()) {
        Out("数据包有效: " + summary + "。\n");
        return kExitOk;
    }
    SourceComparison comparison(index, packet, NormaliseSourceFolder(source), options);
    if (!comparison.Open(options)) return kExitFailed;
    if (!comparison.Run()) {
        Err("数据包 " + packet + " 与源文件夹不符: " + comparison.Difference() + "\n");
        return kExitFailed;
    }
    Out("数据包有效, 与源文件夹一致: " + summary + "。\n");
    return kExitOk;
}

namespace {

ExtractHook g_extractHook;

// What went wrong with `path` in a step of the confined tree; `failed` names the step.
std::string StatusText(TreeStatus status, const std::string& path, const char* failed) {
    switch (status) {
        case TreeStatus::Ok: break;
        case TreeStatus::Exists: return path + " 在解包时出现 (在本系统上也许与前面的条目同名), 不会覆盖";
        case TreeStatus::Link: return path + " 是一个链接; 不会经由链接写入";
        case TreeStatus::NotFolder: return path + " 已存在, 但不是文件夹";
        case TreeStatus::Changed: return path + " 在解包时被替换, 不会在其中写入";
        case TreeStatus::Failed: break;
    }
    return failed + path;
}

// Which lines a partial extract writes: the named entries, everything below the named
// folders, and the folders above each named entry. Empty: every line.
class Selection {
public:
    explicit Selection(NameCoding coding) : m_coding(coding) {}

    void Add(const PacketLine& line) {
        m_bAll = false;
        (line.folder ? m_folders : m_files).insert(line.path);
        for (std::string up = Parent(line.path); !up.empty(); up = Parent(up)) m_above.insert(up);
    }

    bool Has(const PacketLine& line) const {
        if (m_bAll || m_files.count(line.path) || m_folders.count(line.path)) return true;
        if (line.folder && m_above.count(line.path)) return true;
        for (std::string up = Parent(line.path); !up.empty(); up = Parent(up)) {
            if (m_folders.count(up)) return true;
        }
        return false;
    }

private:
    std::string Parent(const std::string& path) const { return CPacketIndex::ParentOf(path, m_coding); }

    NameCoding m_coding;
    bool m_bAll = true;
    std::unordered_set<std::string> m_files;
    std::unordered_set<std::string> m_folders;
    std::unordered_set<std::string> m_above;  // folders that hold a named entry
};

// Extract in two passes over a checked index: Plan refuses what cannot or must not be
// written, before anything is; Write then makes each folder and file in index order,
// always inside the folders it has checked, through a confined tree.
class Extraction {
public:
    Extraction(CPacketIndex& index, const Selection& selection, const std::string& root, const CliOptions& options)
        : m_index(index), m_selection(selection), m_root(root), m_fullRoot(FullFolderPath(root)),
          m_coding(CodingOf(options)), m_bGbk(options.gbk), m_bForce(options.force), m_buffer(options.bufferSize) {}

    bool Open(const CliOptions& options) { return OpenEncoder(m_toLocal, NameDirection::GbkToLocal, options); }

    bool Plan(const PacketLine& line) {
        if (!m_selection.Has(line)) {
            m_existing.push_back(false);
            return true;
        }
        std::vector<std::string> names;
        if (!TargetOf(line, names)) return false;
        const char* limit = TargetPathProblem(m_fullRoot, names, line.folder);
        if (limit != nullptr) return Refuse(line, limit);
        const std::string target = m_root + Join(names, kPathSep);
        PathKind kind = GetPathKind(target);
        m_existing.push_back(kind != PathKind::Missing);
        if (line.folder) {
            if (kind == PathKind::Missing || kind == PathKind::Folder) return true;
            if (kind == PathKind::Link) return Refuse(line, target + " 已存在, 是一个链接; 不会经由链接写入");
            return Refuse(line, target + " 已存在, 但不是文件夹");
        }
        if (kind == PathKind::Missing) return true;
        if (kind == PathKind::Folder) return Refuse(line, target + " 已存在, 是一个文件夹");
        if (kind == PathKind::Other) return Refuse(line, target + " 已存在, 不是普通文件");
        return m_bForce || Refuse(line, target + " 已存在; 要覆盖请加 --force");
    }

    bool Begin() { return m_tree.Open(m_root); }

    // What Plan found missing must still be missing: a name that has come meanwhile
    // may be an earlier entry's under another name (a short name, say), or not ours.
    bool Write(const PacketLine& line) {
        if (!m_selection.Has(line)) return true;
        std::vector<std::string> names;
        if (!TargetOf(line, names)) return false;
        const std::string target = m_root + Join(names, kPathSep);
        const std::string name = names.back();
        names.pop_back();
        TreeStatus status = m_tree.Enter(names);
        if (status != TreeStatus::Ok) {
            return Refuse(line, StatusText(status, m_root + Join(names, kPathSep), "无法打开文件夹 "));
        }
        const bool existed = m_existing[static_cast<std::size_t>(line.number - 1)];
        if (line.folder) {
            status = m_tree.MakeFolder(name, existed);
            if (status != TreeStatus::Ok) return Refuse(line, StatusText(status, target, "无法创建文件夹 "));
            ++m_nFolders;
            return true;
        }
        CTreeFile file;
        status = m_tree.CreateFile(name, existed, file);  // an existing file was planned only with --force
        if (status != TreeStatus::Ok) return Refuse(line, StatusText(status, target, "无法创建文件 "));
        for (long long done = 0; done < line.length;) {
            std::size_t want = static_cast<std::size_t>(std::min<long long>(line.length - done, m_buffer.size()));
            if (m_index.ReadAt(line.offset + done, m_buffer.data(), want) != static_cast<long long>(want)) {
                return Refuse(line, "读取数据包出错");
            }
            if (!file.Write(m_buffer.data(), want)) return Refuse(line, "写入 " + target + " 出错 (磁盘已满?)");
            done += static_cast<long long>(want);
        }
        status = file.Commit();
        if (status == TreeStatus::Exists) return Refuse(line, StatusText(status, target, ""));
        if (status != TreeStatus::Ok) {
            return Refuse(line, existed ? "无法替换已存在的 " + target : "写入 " + target + " 出错 (磁盘已满?)");
        }
        ++m_nFiles;
        if (g_extractHook) g_extractHook(line.path);
        return true;
    }

    const std::string& Message() const { return m_strMessage; }
    long long Files() const { return m_nFiles; }
    long long Folders() const { return m_nFolders; }

private:
    bool Refuse(const PacketLine& line, const std::string& why) {
        m_strMessage = LineTag(line, m_strShown) + ": " + why;
        return false;
    }

    // The line's names in the local encoding, each one this system may create.
    bool TargetOf(const PacketLine& line, std::vector<std::string>& names) {
        m_strShown = line.path;
        if (!LocalComponents(line.path, m_coding, m_bGbk ? &m_toLocal : nullptr, names)) {
            return Refuse(line, "名称不是有效的 GBK 或无法以本地编码表示");
        }
        m_strShown = Join(names, '\\');
        for (const std::string& name : names) {
            const char* problem = TargetNameProblem(name, kWindowsNames, NameCoding::Local);
            if (problem != nullptr) return Refuse(line, std::string("无法创建 \"") + name + "\": " + problem);
        }
        return true;
    }

    CPacketIndex& m_index;
    const Selection& m_selection;
    std::string m_root;      // ends with a separator
    std::string m_fullRoot;  // the same as a full path
    NameCoding m_coding;
    bool m_bGbk;
    bool m_bForce;
    CNameEncoder m_toLocal;
    CConfinedTree m_tree;
    std::vector<char> m_buffer;
    std::vector<bool> m_existing;  // by line: whether Plan found something at its name
    std::string m_strMessage;
    std::string m_strShown;  // the current line's path for messages
    long long m_nFiles = 0;
    long long m_nFolders = 0;
};

// Makes `folder` and every missing folder above it.
bool MakeFolders(const std::string& folder) {
    for (std::size_t pos = FindChar(folder, kPathSep, 1);; pos = FindChar(folder, kPathSep, pos + 1)) {
        std::string part = folder.substr(0, pos);
        if (!part.empty() && !IsFolder(part) && !MakeDir(part)) return false;
        if (pos == std::string::npos || pos + 1 == folder.size()) return true;
    }
}

// The entry a path named on the command line stands for: "/" taken for a separator
// (no stored name holds one), trailing separators dropped, converted to GBK when
// `toStored` is open. False with the reason, ready for Err, in `why`.
bool FindNamed(const CPacketIndex& index, const std::string& packet, const std::string& named, NameCoding coding,
               CNameEncoder* toStored, PacketLine& line, std::string& why) {
    std::string stored = named;
    if (toStored != nullptr && !toStored->Convert(stored)) {
        why = "路径 " + named + " 无法转换为 GBK\n";
        return false;
    }
    std::replace(stored.begin(), stored.end(), '/', '\\');
    std::vector<std::string> components = CPacketIndex::Components(stored, coding);
    while (!components.empty() && components.back().empty()) components.pop_back();
    bool unreadable = false;
    if (index.Find(Join(components, '\\'), line, &unreadable)) return true;
    why = unreadable ? "读取数据包 " + packet + " 出错\n" : "数据包 " + packet + " 中没有 " + named + "\n";
    return false;
}

// Looks up every path named on the command line; false after naming the first the
// packet lacks.
bool FindAllNamed(const CPacketIndex& index, const std::string& packet, const std::vector<std::string>& paths,
                  const CliOptions& options, std::vector<PacketLine>& lines) {
    CNameEncoder toStored;
    if (!paths.empty() && !OpenEncoder(toStored, NameDirection::LocalToGbk, options)) return false;
    for (const std::string& named : paths) {
        PacketLine line;
        std::string why;
        if (!FindNamed(index, packet, named, CodingOf(options), options.gbk ? &toStored : nullptr, line, why)) {
            Err(why);
            return false;
        }
        lines.push_back(std::move(line));
    }
    return true;
}

}  // namespace

void SetExtractHook(ExtractHook hook) { g_extractHook = std::move(hook); }

int RunExtract(const std::string& packet, const std::string& dir, const CliOptions& options,
               const std::vector<std::string>& paths) {
    CPacketIndex index(CodingOf(options));
    // Two paths the file system takes for one name could not both be extracted.
    if (kWindowsNames) index.SetNameFold(FoldLocalName);
    if (!OpenChecked(index, packet)) return kExitFailed;
    Selection selection(CodingOf(options));
    std::vector<PacketLine> named;
    if (!FindAllNamed(index, packet, paths, options, named)) return kExitFailed;
    for (const PacketLine& line : named) selection.Add(line);

    FolderState state = StateOfFolder(dir);
    if (state == FolderState::NotFolder) {
        Err("目标 " + dir + " 已存在, 但不是文件夹。\n");
        return kExitFailed;
    }
    // With its separator the target folder's path follows a link: DIR itself may be one.
    std::string root = NormaliseSourceFolder(dir);
    Extraction extraction(index, selection, root, options);
    if (!extraction.Open(options)) return kExitFailed;
    if (!index.ForEach([&](const PacketLine& line) { return extraction.Plan(line); })) {
        Err(extraction.Message().empty() ? DescribeProblem(index.Problem(), packet)
                                         : "不解包 " + packet + ", 什么也没有写入: " + extraction.Message() + "\n");
        return kExitFailed;
    }
    if (state == FolderState::Missing && !MakeFolders(root)) {
        Err("无法创建目标文件夹 " + dir + "\n");
        return kExitFailed;
    }
    if (!extraction.Begin()) {
        Err("无法打开目标文件夹 " + dir + "\n");
        return kExitFailed;
    }
    if (!index.ForEach([&](const PacketLine& line) { return extraction.Write(line); })) {
        Err(extraction.Message().empty() ? DescribeProblem(index.Problem(), packet)
                                         : "解包 " + packet + " 中断, 已写入的留在 " + dir + ": " +
                                               extraction.Message() + "\n");
        return kExitFailed;
    }
    Out("已解包到 " + Shown(dir) + ": " + N(extraction.Files()) + " 个文件, " + N(extraction.Folders()) + " 个文件夹。\n");
    return kExitOk;
}

int RunCat(const std::string& packet, const std::vector<std::string>& paths, const CliOptions& options) {
    CPacketIndex index(CodingOf(options));
    if (!OpenChecked(index, packet)) return kExitFailed;
    std::vector<PacketLine> files;
    if (!FindAllNamed(index, packet, paths, options, files)) return kExitFailed;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (files[i].folder) {
            Err("数据包 " + packet + " 中的 " + paths[i] + " 是文件夹, 没有内容可输出\n");
            return kExitFailed;
        }
    }
    std::vector<char> buffer(options.bufferSize);
    for (const PacketLine& line : files) {
        for (long long done = 0; done < line.length;) {
            std::size_t want = static_cast<std::size_t>(std::min<long long>(line.length - done, buffer.size()));
            if (index.ReadAt(line.offset + done, buffer.data(), want) != static_cast<long long>(want)) {
                Err("读取数据包 " + packet + " 出错\n");
                return kExitFailed;
            }
            if (!OutBytes(buffer.data(), want)) {
                Err("写入标准输出出错\n");
                return kExitFailed;
            }
            done += static_cast<long long>(want);
        }
    }
    if (!OutBytes(nullptr, 0, true)) {
        Err("写入标准输出出错\n");
        return kExitFailed;
    }
    return kExitOk;
}
