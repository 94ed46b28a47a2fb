// The browser's view of one open packet, through the reader library's public
// interface: folders and files by index, their names as UTF-8 text for the window,
// folder listings, searches and the packet's figures. Knows no window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "velkaron/reader.hpp"

// The root folder's index, as the reader names it.
constexpr std::size_t kRootFolder = VKR_ROOT;

// What the properties box shows of an open packet.
struct PacketFigures {
    std::int64_t size = 0;        // bytes of the packet file
    std::int64_t indexOffset = 0;  // the header's first number: 64 + the data's bytes
    std::int64_t indexLength = 0;  // the header's second number: the index's bytes
    std::size_t files = 0;
    std::size_t folders = 0;
};

class CPacketView {
public:
    // Opens and checks the packet at `path` (UTF-8), closing any packet held before.
    // Names are read as GBK unless the packet passes the reader's check only without
    // (then as stored); shown converted where they are well-formed GBK, else escaped.
    // False with `error` set to why, in Chinese, the reader's English detail after it;
    // the view is then empty.
    bool Open(const std::string& path, std::string& error);
    void Close();
    bool IsOpen() const { return m_packet.IsOpen(); }
    const velkaron::Packet& Packet() const { return m_packet; }
    const std::string& PathOfPacket() const { return m_strPath; }

    bool IsFolder(std::size_t index) const;
    std::int64_t Length(std::size_t index) const;  // 0 for a folder
    std::int64_t Offset(std::size_t index) const;
    // The stored bytes of the entry's last name.
    std::string StoredName(std::size_t index) const;
    // The entry's last name for the window (UTF-8): converted from GBK, a byte that
    // begins no character or a control character as "\x" and two lower-case hex digits.
    std::string Name(std::size_t index) const;
    // The entry's path (a folder's or a file's) for the window, names joined by "\"; "" for the root.
    std::string Path(std::size_t folder) const;
    // The folder that holds the entry, kRootFolder at the top level.
    std::size_t Parent(std::size_t index) const;
    // The direct entries of a folder in index order; empty for a file.
    std::vector<std::size_t> Children(std::size_t folder) const;
    // True when the folder holds a folder.
    bool HasSubfolders(std::size_t folder) const;
    // The folder at `path` as the window shows paths ("\" or "/", case as stored; a
    // leading or trailing separator and "" mean the root). False when there is none.
    bool FindFolder(const std::string& path, std::size_t& folder) const;
    // Every entry whose shown name `matches` accepts, in index order; when `keepGoing`
    // (asked every few thousand entries) says no, only those found until then.
    std::vector<std::size_t> Search(const std::function<bool(const std::string& name)>& matches,
                                     const std::function<bool()>& keepGoing = nullptr) const;
    // The entry and, for a folder, everything below it, in index order (kRootFolder:
    // every entry).
    std::vector<std::size_t> WithEverythingBelow(std::size_t index) const;

    const PacketFigures& Figures() const { return m_figures; }
    // True when the packet was opened with its names read as GBK (a trail byte 5C is
    // no separator), which holds whenever that open passed the reader's check.
    bool ReadAsGbk() const { return m_bReadAsGbk; }
    // True when every name is well-formed GBK and read as such. Reads the whole index
    // each time (the properties box asks), so that opening a packet does not.
    bool AllNamesGbk() const;

private:
    velkaron::Packet m_packet;
    std::string m_strPath;
    PacketFigures m_figures;
    bool m_bReadAsGbk = false;
};

// A text of the platform or command-line layers (their narrow literals, GBK in
// Windows builds) as UTF-8, as every text of this core is.
std::string Utf8Of(const char* text);
