// The browser's view of an open packet: everything asked of the reader when it is
// needed (names converted as they are shown, listings as they are opened), so that
// opening a packet costs what the reader's own check costs and no more. Every text it
// gives is UTF-8, in every build (u8 literals: Windows builds make narrow ones GBK).
#include "viewer/PacketView.h"

#include <algorithm>

#include "platform/FileSystem.h"

namespace {

constexpr std::size_t kSearchStep = 4096;  // entries between two questions to keepGoing

// What went wrong with an open, in Chinese, for the reader's status.
const char* OpenProblem(velkaron::Status status) {
    switch (status) {
        case VKR_E_OPEN:
            return u8"找不到文件或无法打开";
        case VKR_E_INVALID:
            return u8"不是有效的数据包";
        case VKR_E_IO:
            return u8"读取文件出错";
        case VKR_E_MAP:
            return u8"无法映射文件";
        case VKR_E_ENCODING:
            return u8"文件路径不是有效的 UTF-8";
        case VKR_E_MEMORY:
            return u8"内存不足";
        default:
            return u8"无法打开数据包";
    }
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

void AppendEscaped(std::string& out, unsigned char c) {
    static const char kHex[] = "0123456789abcdef";
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 0xF];
}

// Converts `size` GBK bytes at `text` into `out` (appended); false when they are not
// well-formed GBK. A buffer of three bytes per byte holds any result (80, the euro
// sign, is the widest).
bool AppendGbk(const char* text, std::size_t size, std::string& out) {
    const std::size_t at = out.size();
    out.resize(at + 3 * size + 1);
    std::size_t length = 0;
    if (vkr_gbk_to_utf8(text, size, &out[at], 3 * size + 1, &length) != VKR_OK) {
        out.resize(at);
        return false;
    }
    out.resize(at + length);
    return true;
}

// `utf8` with its control characters escaped.
std::string EscapeControls(const std::string& utf8) {
    if (std::none_of(utf8.begin(), utf8.end(), [](char c) { return IsControl(static_cast<unsigned char>(c)); })) {
        return utf8;
    }
    std::string shown;
    for (char c : utf8) {
        if (IsControl(static_cast<unsigned char>(c))) {
            AppendEscaped(shown, static_cast<unsigned char>(c));
        } else {
            shown += c;
        }
    }
    return shown;
}

// A name that is not GBK as a whole, character by character: each well-formed one
// converted, every other byte escaped.
std::string ShownPiecewise(const std::string& name) {
    std::string shown;
    for (std::size_t pos = 0; pos < name.size();) {
        const unsigned char c = static_cast<unsigned char>(name[pos]);
        if (c < 0x80) {
            if (IsControl(c)) {
                AppendEscaped(shown, c);
            } else {
                shown += static_cast<char>(c);
            }
            ++pos;
        } else if (pos + 1 < name.size() && AppendGbk(&name[pos], 2, shown)) {
            pos += 2;
        } else if (!AppendGbk(&name[pos], 1, shown)) {
            AppendEscaped(shown, c);
            ++pos;
        } else {
            ++pos;
        }
    }
    return shown;
}

// True when every stored path is well-formed GBK; nothing allocated per entry.
bool EveryPathGbk(const velkaron::Packet& packet) {
    std::vector<char> path(256);
    for (std::size_t i = 0, count = packet.Count(); i < count; ++i) {
        std::size_t length = 0;
        vkr_status status = vkr_entry_path(packet.Handle(), i, path.data(), path.size(), &length);
        if (status == VKR_E_BUFFER) {
            path.resize(length + 1);
            status = vkr_entry_path(packet.Handle(), i, path.data(), path.size(), &length);
        }
        if (status != VKR_OK || vkr_gbk_to_utf8(path.data(), length, nullptr, 0, nullptr) != VKR_OK) return false;
    }
    return true;
}

// `path` without leading and trailing separators.
std::string TrimSeparators(const std::string& path) {
    const std::size_t first = path.find_first_not_of("\\/");
    if (first == std::string::npos) return std::string();
    const std::size_t last = path.find_last_not_of("\\/");
    return path.substr(first, last - first + 1);
}

}  // namespace

bool CPacketView::Open(const std::string& path, std::string& error) {
    Close();
    velkaron::Status status = m_packet.Open(path, VKR_OPEN_GBK | VKR_OPEN_UTF8_PATH);
    bool gbk = status == VKR_OK;
    if (status == VKR_E_INVALID) {
        // A name that is no GBK: read the names as stored, shown escaped where they are not.
        const std::string gbkDetail = velkaron::LastMessage();
        status = m_packet.Open(path, VKR_OPEN_UTF8_PATH);
        if (status != VKR_OK) {
            error = std::string(OpenProblem(status)) + ": " + path + "\n" + gbkDetail;
            Close();
            return false;
        }
    } else if (status != VKR_OK) {
        error = std::string(OpenProblem(status)) + ": " + path + "\n" + velkaron::LastMessage();
        Close();
        return false;
    }
    PacketFigures figures;
    if (!GetUtf8FileSize(path, figures.size)) {
        error = std::string(u8"无法读取文件大小: ") + path;
        Close();
        return false;
    }
    // The data ends where the last entry's content does (a folder's offset is that of
    // the next file's content): the index starts there.
    const std::size_t count = m_packet.Count();
    figures.indexOffset = count == 0 ? 64 : Offset(count - 1) + Length(count - 1);
    figures.indexLength = figures.size - figures.indexOffset;
    for (std::size_t i = 0; i < count; ++i) ++(IsFolder(i) ? figures.folders : figures.files);
    m_figures = figures;
    m_strPath = path;
    m_bReadAsGbk = gbk;
    return true;
}

bool CPacketView::AllNamesGbk() const { return m_bReadAsGbk && EveryPathGbk(m_packet); }

void CPacketView::Close() {
    m_packet = velkaron::Packet();
    m_strPath.clear();
    m_figures = PacketFigures();
    m_bReadAsGbk = false;
}

bool CPacketView::IsFolder(std::size_t index) const {
    int kind = VKR_KIND_FILE;
    return m_packet.Kind(index, kind) == VKR_OK && kind == VKR_KIND_FOLDER;
}

std::int64_t CPacketView::Length(std::size_t index) const {
    std::int64_t length = 0;
    return m_packet.Length(index, length) == VKR_OK ? length : 0;
}

std::int64_t CPacketView::Offset(std::size_t index) const {
    std::int64_t offset = 0;
    return vkr_entry_offset(m_packet.Handle(), index, &offset) == VKR_OK ? offset : 0;
}

// The stored path's part after its parent's path and the separator: the reader has
// already told the names apart, by the packet's own coding.
std::string CPacketView::StoredName(std::size_t index) const {
    std::string path;
    if (m_packet.PathAt(index, path) != VKR_OK) return std::string();
    const std::size_t parent = Parent(index);
    if (parent == kRootFolder) return path;
    velkaron::Entry entry;
    if (m_packet.EntryAt(parent, entry) != VKR_OK || entry.path_length + 1 > path.size()) return path;
    return path.substr(entry.path_length + 1);
}

std::string CPacketView::Name(std::size_t index) const {
    const std::string stored = StoredName(index);
    std::string utf8;
    if (AppendGbk(stored.data(), stored.size(), utf8)) return EscapeControls(utf8);
    return ShownPiecewise(stored);
}

std::string CPacketView::Path(std::size_t folder) const {
    std::vector<std::size_t> chain;
    for (std::size_t at = folder; at != kRootFolder && chain.size() <= m_packet.Count(); at = Parent(at)) {
        chain.push_back(at);
    }
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.empty()) path += '\\';
        path += Name(*it);
    }
    return path;
}

std::size_t CPacketView::Parent(std::size_t index) const {
    std::size_t parent = kRootFolder;
    return m_packet.Parent(index, parent) == VKR_OK ? parent : kRootFolder;
}

std::vector<std::size_t> CPacketView::Children(std::size_t folder) const {
    std::vector<std::size_t> children;
    if (!IsOpen() || m_packet.Children(folder, children) != VKR_OK) children.clear();
    return children;
}

bool CPacketView::HasSubfolders(std::size_t folder) const {
    const std::vector<std::size_t> children = Children(folder);
    return std::any_of(children.begin(), children.end(), [this](std::size_t child) { return IsFolder(child); });
}

bool CPacketView::FindFolder(const std::string& path, std::size_t& folder) const {
    if (!IsOpen()) return false;
    const std::string trimmed = TrimSeparators(path);
    if (trimmed.empty()) {
        folder = kRootFolder;
        return true;
    }
    // Names shown as converted: the stored path is found at once.
    std::string stored;
    std::size_t index = 0;
    if (m_bReadAsGbk && velkaron::Utf8ToGbk(trimmed, stored) == VKR_OK && m_packet.FindIndex(stored, index) == VKR_OK) {
        if (!IsFolder(index)) return false;
        folder = index;
        return true;
    }
    // Escaped names, or a separator the lookup takes differently: folder by folder,
    // the longest shown name that starts what is left.
    std::size_t at = kRootFolder;
    for (std::size_t pos = 0; pos < trimmed.size();) {
        std::size_t best = kRootFolder, bestLength = 0;
        for (std::size_t child : Children(at)) {
            if (!IsFolder(child)) continue;
            const std::string name = Name(child);
            const std::size_t end = pos + name.size();
            if (name.size() > bestLength && trimmed.compare(pos, name.size(), name) == 0 &&
                (end == trimmed.size() || trimmed[end] == '\\' || trimmed[end] == '/')) {
                best = child;
                bestLength = name.size();
            }
        }
        if (best == kRootFolder) return false;
        at = best;
        pos += bestLength;
        while (pos < trimmed.size() && (trimmed[pos] == '\\' || trimmed[pos] == '/')) ++pos;
    }
    folder = at;
    return true;
}

std::vector<std::size_t> CPacketView::Search(const std::function<bool(const std::string& name)>& matches,
                                             const std::function<bool()>& keepGoing) const {
    std::vector<std::size_t> found;
    const std::size_t count = m_packet.Count();
    for (std::size_t i = 0; i < count; ++i) {
        if (i % kSearchStep == kSearchStep - 1 && keepGoing && !keepGoing()) break;
        if (matches(Name(i))) found.push_back(i);
    }
    return found;
}

std::vector<std::size_t> CPacketView::WithEverythingBelow(std::size_t index) const {
    std::vector<std::size_t> all;
    if (index != kRootFolder) all.push_back(index);
    std::vector<std::size_t> folders;
    if (index == kRootFolder || IsFolder(index)) folders.push_back(index);
    while (!folders.empty()) {
        const std::size_t folder = folders.back();
        folders.pop_back();
        for (std::size_t child : Children(folder)) {
            all.push_back(child);
            if (IsFolder(child)) folders.push_back(child);
        }
    }
    std::sort(all.begin(), all.end());
    return all;
}

std::string Utf8Of(const char* text) {
    // Narrow literals are GBK in Windows builds: the character 中 takes two bytes there.
    constexpr bool kGbkLiterals = sizeof("\u4e2d") == 3;
    std::string utf8 = text;
    if (kGbkLiterals) velkaron::GbkToUtf8(text, utf8);
    return utf8;
}
