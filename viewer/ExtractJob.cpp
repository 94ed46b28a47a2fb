// The browser's extract: the chosen entries written through a confined tree whose
// names are UTF-8 (each stored GBK name checked by the command line's rules, then
// converted strictly), a file under its real name only once it is whole.
#include "viewer/ExtractJob.h"

#include <algorithm>

#include "cli/TargetNames.h"

namespace {

constexpr std::size_t kPiece = 256 * 1024;  // bytes read and written at a time

// Why the confined tree refused a step at `what`.
std::string StatusReason(TreeStatus status, const char* failed) {
    switch (status) {
        case TreeStatus::Exists:
            return u8"在解包时出现 (也许与前面的条目同名), 不会覆盖";
        case TreeStatus::Link:
            return u8"是一个链接; 不会经由链接写入";
        case TreeStatus::NotFolder:
            return u8"已存在, 但不是文件夹";
        case TreeStatus::Changed:
            return u8"在解包时被替换, 不会在其中写入";
        default:
            return failed;
    }
}

std::string WithSeparator(const std::string& folder) {
    if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) return folder;
    return folder + (kWindowsNames ? '\\' : '/');
}

}  // namespace

CExtractJob::CExtractJob(const CPacketView& view, std::size_t base, const std::vector<std::size_t>& entries,
                         std::string destination)
    : m_view(view), m_base(base), m_strDestination(std::move(destination)) {
    for (std::size_t entry : entries) {
        const std::vector<std::size_t> below = view.WithEverythingBelow(entry);
        m_entries.insert(m_entries.end(), below.begin(), below.end());
    }
    std::sort(m_entries.begin(), m_entries.end());
    m_entries.erase(std::unique(m_entries.begin(), m_entries.end()), m_entries.end());
    for (std::size_t index : m_entries) {
        if (view.IsFolder(index)) continue;
        ++m_nTotalFiles;
        m_nTotalBytes += view.Length(index);
    }
}

bool CExtractJob::Run(IExtractEvents& events) {
    m_problems.clear();
    m_strMessage.clear();
    m_nFiles = m_nDoneFiles = 0;
    m_nBytes = m_nDoneBytes = 0;
    m_bCancelled = m_bAnsweredAll = false;
    if (!MakeFolderPath(m_strDestination, TreeNames::Utf8)) {
        m_strMessage = u8"无法创建目标文件夹 " + m_strDestination;
        return false;
    }
    m_strFullRoot = FullFolderPath(WithSeparator(m_strDestination), TreeNames::Utf8);
    m_tree.reset(new CConfinedTree);
    if (!m_tree->Open(m_strDestination, TreeNames::Utf8)) {
        m_tree.reset();
        m_strMessage = u8"无法打开目标文件夹 " + m_strDestination;
        return false;
    }
    m_skipped.assign(m_view.Packet().Count(), false);
    m_buffer.resize(kPiece);
    for (std::size_t index : m_entries) {
        if (events.Cancelled()) {
            m_bCancelled = true;
            break;
        }
        const std::size_t parent = m_view.Parent(index);
        const bool folder = m_view.IsFolder(index);
        std::vector<std::string> names;
        std::string shown;
        if ((parent != m_base && parent < m_skipped.size() && m_skipped[parent]) || !TargetOf(index, names, shown)) {
            if (folder) {
                m_skipped[index] = true;  // listed once, by the folder that could not be made
            } else {
                ++m_nDoneFiles;
                m_nDoneBytes += m_view.Length(index);
            }
            continue;
        }
        if (folder) {
            WriteFolder(index, names, shown);
        } else if (!WriteFile(index, names, shown, events)) {
            m_bCancelled = true;
            break;
        }
    }
    m_tree.reset();  // the destination's folders are no longer held
    m_buffer = std::vector<char>();
    return true;
}

bool CExtractJob::TargetOf(std::size_t index, std::vector<std::string>& names, std::string& shown) {
    std::vector<std::size_t> chain;
    for (std::size_t at = index; at != m_base && at != kRootFolder; at = m_view.Parent(at)) chain.push_back(at);
    std::reverse(chain.begin(), chain.end());
    const NameCoding coding = m_view.ReadAsGbk() ? NameCoding::Gbk : NameCoding::Local;
    const char* problem = nullptr;
    std::string reason;
    for (std::size_t at : chain) {
        if (!shown.empty()) shown += '\\';
        shown += m_view.Name(at);
        if (!reason.empty()) continue;
        const std::string stored = m_view.StoredName(at);
        std::string utf8;
        if ((problem = TargetNameProblem(stored, kWindowsNames, coding)) != nullptr) {
            reason = Utf8Of(problem);
        } else if (velkaron::GbkToUtf8(stored, utf8) != VKR_OK) {
            reason = u8"名称不是有效的 GBK";
        }
        names.push_back(utf8);
    }
    if (reason.empty() &&
        (problem = TargetPathProblem(m_strFullRoot, names, m_view.IsFolder(index), TreeNames::Utf8)) != nullptr) {
        reason = Utf8Of(problem);
    }
    if (reason.empty()) return true;
    Problem(shown, m_view.IsFolder(index) ? reason + u8"; 其中的内容均未解包" : reason);
    return false;
}

void CExtractJob::WriteFolder(std::size_t index, std::vector<std::string>& names, const std::string& shown) {
    const std::string name = names.back();
    names.pop_back();
    TreeStatus status = m_tree->Enter(names);
    if (status == TreeStatus::Ok) status = m_tree->MakeFolder(name, true);
    if (status == TreeStatus::Ok) return;
    m_skipped[index] = true;
    Problem(shown, StatusReason(status, u8"无法创建文件夹") + u8"; 其中的内容均未解包");
}

bool CExtractJob::WriteFile(std::size_t index, std::vector<std::string>& names, const std::string& shown,
                            IExtractEvents& events) {
    events.OnProgress(m_nDoneFiles, m_nDoneBytes, shown);
    const std::int64_t length = m_view.Length(index);
    const std::string name = names.back();
    names.pop_back();
    CTreeFile file;
    TreeStatus status = m_tree->Enter(names);
    if (status == TreeStatus::Ok) status = m_tree->CreateFile(name, false, file);
    if (status == TreeStatus::Exists) {
        ConflictAnswer answer = m_bAnsweredAll
                                    ? (m_bOverwriteAll ? ConflictAnswer::OverwriteAll : ConflictAnswer::SkipAll)
                                    : events.OnConflict(shown);
        if (answer == ConflictAnswer::Cancel) return false;
        if (answer == ConflictAnswer::OverwriteAll || answer == ConflictAnswer::SkipAll) {
            m_bAnsweredAll = true;
            m_bOverwriteAll = answer == ConflictAnswer::OverwriteAll;
        }
        if (answer == ConflictAnswer::Skip || answer == ConflictAnswer::SkipAll) {
            Problem(shown, u8"已存在, 已跳过");
            status = TreeStatus::Failed;
        } else {
            status = m_tree->CreateFile(name, true, file);
            if (status != TreeStatus::Ok) Problem(shown, StatusReason(status, u8"无法替换已存在的文件"));
        }
    } else if (status != TreeStatus::Ok) {
        Problem(shown, StatusReason(status, u8"无法创建文件"));
    }
    if (status == TreeStatus::Ok && !Write(file, index, shown, events)) return false;
    ++m_nDoneFiles;
    m_nDoneBytes += length;
    return true;
}

// Copies the file's content piece by piece and commits it; false when cancelled, the
// file dropped with it.
bool CExtractJob::Write(CTreeFile& file, std::size_t index, const std::string& shown, IExtractEvents& events) {
    const std::int64_t length = m_view.Length(index);
    velkaron::Entry entry;
    if (m_view.Packet().EntryAt(index, entry) != VKR_OK) {
        Problem(shown, u8"读取数据包出错: " + velkaron::LastMessage());
        return true;
    }
    for (std::int64_t done = 0; done < length;) {
        if (events.Cancelled()) return false;
        const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(length - done, kPiece));
        std::size_t got = 0;
        const velkaron::Status status = m_view.Packet().Read(entry, done, m_buffer.data(), want, got);
        if (status != VKR_OK || got != want) {
            Problem(shown, u8"读取数据包出错: " +
                               (status != VKR_OK ? velkaron::LastMessage() : std::string(u8"数据包已变短")));
            return true;
        }
        if (!file.Write(m_buffer.data(), want)) {
            Problem(shown, u8"写入出错 (磁盘已满?)");
            return true;
        }
        done += static_cast<std::int64_t>(want);
    }
    const TreeStatus status = file.Commit();
    if (status != TreeStatus::Ok) {
        Problem(shown, StatusReason(status, u8"写入出错 (磁盘已满?)"));
        return true;
    }
    ++m_nFiles;
    m_nBytes += length;
    return true;
}
