// Comparing a packet with a folder: a tree the packet was made from holds no
// difference, each way a tree may have changed since is listed with its text, names
// are matched by their Unicode name, and a folder that is not there is refused.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "tests/viewer/ViewerTestSupport.h"
#include "viewer/FolderCompare.h"

namespace {

const std::string kZhongWen = "\xD6\xD0\xCE\xC4";  // GBK 中文
const std::string kZi = "\xD7\xD3";                // GBK 子

// Each folder's entries stand together, after the folder.
const std::vector<ViewItem> kItems = {
    Folder("a"),
    Folder("e"),
    File("top.txt", "0123456789"),
    File("a\\x.txt", "xxx"),
    Folder("a\\b"),
    File("a\\b\\y.txt", "yy"),
};

class ViewerFolderCompareTest : public testing::Test {
protected:
    void SetUp() override {
        MakeDirs(m_tree);
        WriteTree(m_tree, kItems);
        OpenPacket(m_packet, kItems);
    }
    void OpenPacket(const std::string& path, const std::vector<ViewItem>& items) {
        m_view.Close();
        WritePacket(path, items);
        std::string error;
        ASSERT_TRUE(m_view.Open(path, error)) << error;
    }
    // The tree's path in UTF-8, as the window gives it.
    std::string TreeUtf8() const {
#ifdef _WIN32
        std::string utf8;
        EXPECT_EQ(velkaron::GbkToUtf8(m_tree, utf8), VKR_OK);
        return utf8;
#else
        return m_tree;
#endif
    }
    // Each difference with the tree as "path: what", failing the test when it cannot compare.
    std::vector<std::string> Differences() {
        std::vector<FolderDifference> differences;
        bool stopped = true;
        std::string error;
        EXPECT_TRUE(CompareWithFolder(m_view, TreeUtf8(), differences, stopped, error, nullptr)) << error;
        EXPECT_FALSE(stopped);
        std::vector<std::string> lines;
        for (const FolderDifference& difference : differences)
            lines.push_back(difference.path + ": " + difference.what);
        return lines;
    }
    std::string Tree(const std::string& relative) const { return m_tree + NativePath(relative); }

    TempDir m_dir;
    std::string m_tree = m_dir / "tree/";
    std::string m_packet = m_dir / "p.pak";
    CPacketView m_view;
};

using Lines = std::vector<std::string>;

TEST_F(ViewerFolderCompareTest, TheTreeThePacketWasMadeFromHoldsNoDifference) {
    EXPECT_EQ(Differences(), Lines());
    // Nor with the packet lying in the tree, even one that once packed itself.
    std::vector<ViewItem> withItself = kItems;
    withItself.insert(withItself.begin() + 3, File("p.pak", "an older packet"));  // with the top level
    OpenPacket(Tree("p.pak"), withItself);
    EXPECT_EQ(Differences(), Lines());
}

TEST_F(ViewerFolderCompareTest, ChangedFilesTellTheFirstDifferingByteOrBothLengths) {
    WriteFileBytes(Tree("top.txt"), "0123X56789");
    WriteFileBytes(Tree("a/x.txt"), "xxxx");
    WriteFileBytes(Tree("a/b/y.txt"), "y");
    EXPECT_EQ(Differences(),
              (Lines{u8"top.txt: 内容不同, 自第 4 字节起", u8"a\\x.txt: 长度不同, 文件夹中 4 字节, 数据包中 3 字节",
                     u8"a\\b\\y.txt: 长度不同, 文件夹中 1 字节, 数据包中 2 字节"}));
}

TEST_F(ViewerFolderCompareTest, MissingOrReplacedEntriesAreListedOnceInPacketOrder) {
    RemoveTree(Tree("a/x.txt"));
    RemoveTree(Tree("a/b"));  // y.txt in it told by the folder alone
    RemoveTree(Tree("top.txt"));
    MakeDirs(Tree("top.txt/inside"));  // not looked into: the packet has a file there
    RemoveTree(Tree("e"));
    WriteFileBytes(Tree("e"), "");
    EXPECT_EQ(Differences(), (Lines{u8"e: 文件夹中这不是文件夹", u8"top.txt: 文件夹中这不是普通文件",
                                    u8"a\\x.txt: 文件夹中没有这个文件", u8"a\\b: 文件夹中没有这个文件夹"}));
}

TEST_F(ViewerFolderCompareTest, EntriesOnlyInTheFolderComeAfterThePacketsWithPacksReason) {
    WriteFileBytes(Tree("top.txt"), "");
    WriteFileBytes(Tree("new.txt"), "n");
    MakeDirs(Tree("a/b/nf/deeper"));  // told once, by the folder
    WriteFileBytes(Tree("a/b/nf/f"), "f");
    Lines expected = {u8"top.txt: 长度不同, 文件夹中 0 字节, 数据包中 10 字节", u8"new.txt: 不在数据包中",
                      u8"a\\b\\nf: 不在数据包中"};
#ifndef _WIN32
    ASSERT_EQ(::mkfifo(Tree("a/fifo").c_str(), 0600), 0);
    expected.insert(expected.end() - 1, u8"a\\fifo: 不在数据包中: 不是普通文件");
#endif
    EXPECT_EQ(Differences(), expected);
}

TEST_F(ViewerFolderCompareTest, NamesAreMatchedByTheirUnicodeName) {
    const std::vector<ViewItem> items = {Folder(kZhongWen), File("bad\xFF", "b"), File(kZhongWen + "\\" + kZi, "z")};
    WriteTree(m_tree, {items[0], items[2]});
    WriteFileBytes(m_tree + LocalName(u8"中文") + kPathSep + LocalName(u8"新"), "n");
    OpenPacket(m_packet, items);
    RemoveTree(Tree("a"));
    RemoveTree(Tree("e"));
    RemoveTree(Tree("top.txt"));
    Lines expected = {u8"bad\\xff: 名称不是有效的 GBK", u8"中文\\新: 不在数据包中"};
    // A name no GBK character holds, made as the file system names it (under Wine too).
    if (MakeLinuxEntry(m_tree, u8"\U0001F600", false)) {
        expected.insert(expected.begin() + 1, u8"\U0001F600: 不在数据包中: 名称无法转换为 GBK");
    }
    EXPECT_EQ(Differences(), expected);
}

TEST_F(ViewerFolderCompareTest, AMissingFolderOrAFileIsRefused) {
    std::vector<FolderDifference> differences;
    bool stopped = false;
    std::string error;
    EXPECT_FALSE(CompareWithFolder(m_view, TreeUtf8() + "none", differences, stopped, error, nullptr));
    EXPECT_NE(error.find(u8"不存在"), std::string::npos) << error;
    EXPECT_FALSE(CompareWithFolder(m_view, TreeUtf8() + "top.txt", differences, stopped, error, nullptr));
    EXPECT_NE(error.find(u8"不是文件夹"), std::string::npos) << error;
    EXPECT_TRUE(differences.empty());
}

TEST_F(ViewerFolderCompareTest, ProgressSayingNoStopsTheComparison) {
    WriteFileBytes(Tree("top.txt"), "changed");
    std::vector<FolderDifference> differences;
    bool stopped = false;
    std::string error;
    std::size_t asked = 0;
    EXPECT_TRUE(CompareWithFolder(m_view, TreeUtf8(), differences, stopped, error, [&](std::size_t, std::size_t) {
        ++asked;
        return false;
    }));
    EXPECT_TRUE(stopped);
    EXPECT_EQ(asked, 1u);
    EXPECT_TRUE(differences.empty()) << "stopped before the first entry";
}

}  // namespace
