// The browser's view of a packet: opening (and refusing) packets, names as the window
// shows them, listings, figures, searches and lookups by shown path.
#include <gtest/gtest.h>

#include <chrono>

#include "tests/viewer/ViewerTestSupport.h"
#include "viewer/ExtractJob.h"
#include "viewer/PacketCheck.h"
#include "viewer/PacketView.h"

namespace {

const std::string kZhongWen = "\xD6\xD0\xCE\xC4";  // GBK 中文
const std::string kZi = "\xD7\xD3";                // GBK 子

class ViewerPacketViewTest : public testing::Test {
protected:
    // Writes `items` as a packet and opens it, failing the test when it does not open.
    void OpenPacket(const std::vector<ViewItem>& items) {
        m_view.Close();  // Windows keeps others from writing a file the test opens itself
        WritePacket(m_packet, items);
        std::string error;
        ASSERT_TRUE(m_view.Open(m_packet, error)) << error;
    }
    // The index of the entry whose shown path below the root is `path`.
    std::size_t IndexOf(const std::string& path) {
        for (std::size_t i = 0; i < m_view.Packet().Count(); ++i) {
            const std::size_t parent = m_view.Parent(i);
            const std::string shown =
                parent == kRootFolder ? m_view.Name(i) : m_view.Path(parent) + "\\" + m_view.Name(i);
            if (shown == path) return i;
        }
        ADD_FAILURE() << "no entry " << path;
        return 0;
    }
    // Why `bytes` as a packet does not open; fails the test when it does.
    std::string RefusalOf(const std::string& bytes) {
        m_view.Close();
        WriteFileBytes(m_packet, bytes);
        std::string error;
        EXPECT_FALSE(m_view.Open(m_packet, error));
        EXPECT_FALSE(m_view.IsOpen());
        return error;
    }

    TempDir m_dir;
    std::string m_packet = m_dir / "p.pak";  // ASCII: the same in UTF-8 and the local code page
    CPacketView m_view;
};

// Each folder's entries stand together, after the folder.
const std::vector<ViewItem> kTree = {
    Folder("a"),
    File("top.txt", "t"),
    Folder(kZhongWen),
    File("a\\x.txt", "xxx"),
    Folder("a\\b"),
    File("a\\b\\y.txt", "yy"),
    Folder(kZhongWen + "\\" + kZi),
    File(kZhongWen + "\\" + kZi + "\\z", "z"),
};

TEST_F(ViewerPacketViewTest, OpenRefusesMissingFilesAndDamagedPacketsWithAChineseReason) {
    std::string error;
    EXPECT_FALSE(m_view.Open(m_dir / "none.pak", error));
    EXPECT_EQ(error.rfind(u8"找不到文件或无法打开", 0), 0u) << error;

    const std::string good = MakePacket(kTree);
    const std::string notPacket = u8"不是有效的数据包";
    EXPECT_EQ(RefusalOf("just some text, long enough to have a header's length at least........").rfind(notPacket, 0),
              0u);
    EXPECT_EQ(RefusalOf(good.substr(0, good.size() - 5)).rfind(notPacket, 0), 0u);  // cut inside the index
    std::string damaged = good;
    damaged[damaged.find("#F")] = 'X';
    const std::string why = RefusalOf(damaged);
    EXPECT_EQ(why.rfind(notPacket, 0), 0u) << why;
    EXPECT_GT(why.size(), why.find('\n') + 1) << "the reader's detail follows";
}

TEST_F(ViewerPacketViewTest, GbkNamesAreShownAsUtf8AndOthersEscapedByte) {
    OpenPacket(kTree);
    EXPECT_TRUE(m_view.AllNamesGbk());
    EXPECT_EQ(m_view.Path(IndexOf(u8"中文\\子")), u8"中文\\子");
    EXPECT_EQ(m_view.StoredName(IndexOf(u8"中文\\子")), kZi);

    // FF begins no GBK character, 01 is a control character: the names are read as stored.
    OpenPacket({Folder(kZhongWen), File("c\x01", "2"), File(kZhongWen + "\\x\xFFy", "1")});
    EXPECT_FALSE(m_view.AllNamesGbk());
    EXPECT_EQ(m_view.Name(1), "c\\x01");
    EXPECT_EQ(m_view.Name(2), "x\\xffy");
    EXPECT_EQ(m_view.Name(0), u8"中文");
}

TEST_F(ViewerPacketViewTest, ListsFoldersAndTellsTheFigures) {
    OpenPacket(kTree);
    const std::size_t a = IndexOf("a"), b = IndexOf("a\\b");
    EXPECT_EQ(m_view.Children(kRootFolder), (std::vector<std::size_t>{a, IndexOf("top.txt"), IndexOf(u8"中文")}));
    EXPECT_EQ(m_view.Children(a), (std::vector<std::size_t>{IndexOf("a\\x.txt"), b}));
    EXPECT_TRUE(m_view.Children(IndexOf("top.txt")).empty());
    EXPECT_TRUE(m_view.HasSubfolders(a));
    EXPECT_FALSE(m_view.HasSubfolders(b));
    EXPECT_EQ(m_view.Parent(b), a);
    EXPECT_EQ(m_view.Length(IndexOf("a\\x.txt")), 3);
    EXPECT_EQ(m_view.WithEverythingBelow(a),
              (std::vector<std::size_t>{a, IndexOf("a\\x.txt"), b, IndexOf("a\\b\\y.txt")}));

    const PacketFigures& figures = m_view.Figures();
    EXPECT_EQ(figures.files, 4u);
    EXPECT_EQ(figures.folders, 4u);
    EXPECT_EQ(figures.size, static_cast<std::int64_t>(MakePacket(kTree).size()));
    EXPECT_EQ(figures.indexOffset, 64 + 3 + 2 + 1 + 1);
    EXPECT_EQ(figures.indexOffset + figures.indexLength, figures.size);
}

TEST_F(ViewerPacketViewTest, FindsFoldersByShownPathAndEntriesByShownName) {
    OpenPacket(kTree);
    std::size_t folder = 0;
    for (const char* path : {"a/b", "\\a\\b\\", "a\\\\b"}) {
        EXPECT_TRUE(m_view.FindFolder(path, folder)) << path;
        EXPECT_EQ(folder, IndexOf("a\\b")) << path;
    }
    EXPECT_TRUE(m_view.FindFolder(u8"中文/子", folder));
    EXPECT_EQ(folder, IndexOf(u8"中文\\子"));
    EXPECT_TRUE(m_view.FindFolder("", folder));
    EXPECT_EQ(folder, kRootFolder);
    EXPECT_FALSE(m_view.FindFolder("a\\x.txt", folder));  // a file
    EXPECT_FALSE(m_view.FindFolder("A\\B", folder));      // case as stored
    EXPECT_FALSE(m_view.FindFolder("a\\nothing", folder));

    const auto found = m_view.Search([](const std::string& name) { return name.find(".txt") != std::string::npos; });
    EXPECT_EQ(found, (std::vector<std::size_t>{IndexOf("top.txt"), IndexOf("a\\x.txt"), IndexOf("a\\b\\y.txt")}));
    EXPECT_EQ(m_view.Search([](const std::string& name) { return name == "top.txt"; }).size(), 1u);
}

TEST_F(ViewerPacketViewTest, EscapedNamesAreFoundByTheirShownPath) {
    OpenPacket({Folder("d\xFF"), Folder("d\xFF\\e"), File("d\xFF\\e\\f", "")});
    std::size_t folder = 0;
    ASSERT_TRUE(m_view.FindFolder("d\\xff\\e", folder));
    EXPECT_EQ(folder, 1u);
}

TEST_F(ViewerPacketViewTest, AHundredThousandEntriesOpenAndListAtOnce) {
    std::vector<ViewItem> items;
    for (int f = 0; f < 1000; ++f) items.push_back(Folder("folder" + std::to_string(f)));
    for (int f = 0; f < 1000; ++f) {
        for (int i = 0; i < 99; ++i)
            items.push_back(File("folder" + std::to_string(f) + "\\file" + std::to_string(i), ""));
    }
    WritePacket(m_packet, items);
    const auto start = std::chrono::steady_clock::now();
    std::string error;
    ASSERT_TRUE(m_view.Open(m_packet, error)) << error;
    std::vector<std::string> names;
    for (std::size_t index : m_view.Children(kRootFolder)) names.push_back(m_view.Name(index));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(names.size(), 1000u);
    EXPECT_EQ(m_view.Figures().files, 99000u);
    // About the reader's own check in an optimised build (0.05 s to 0.1 s here); the
    // bound is for the sanitizers and Wine, and catches work that grows faster than
    // the packet (a listing or conversion per entry would take minutes).
    EXPECT_LT(seconds, 5.0);
}

TEST_F(ViewerPacketViewTest, ContentsCheckNamesTheFilesAPacketCutAfterOpeningLacks) {
    OpenPacket({File("one", "1111"), Folder("d"), File("three", "3333"), File("d\\two", "2222")});
    std::size_t calls = 0;
    EXPECT_TRUE(CheckContents(m_view, [&](std::size_t, std::size_t) { return ++calls > 0; }).empty());
    EXPECT_GT(calls, 0u);

    CutFile(m_packet, 64 + 6);  // "three" and "two" are past the end now
    const std::vector<CheckProblem> problems = CheckContents(m_view, nullptr);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].index, 2u);
    EXPECT_EQ(problems[1].index, 3u);
    EXPECT_EQ(problems[0].reason.rfind(u8"读取出错: ", 0), 0u);
    EXPECT_GT(problems[0].reason.size(), std::string(u8"读取出错: ").size());
}

// Extraction events that take every default: overwrite nothing, never stop.
class QuietEvents : public IExtractEvents {
public:
    void OnProgress(std::size_t, std::int64_t, const std::string&) override {}
    ConflictAnswer OnConflict(const std::string&) override { return ConflictAnswer::Skip; }
    bool Cancelled() override { return false; }
};

// Every hostile packet the command line is tested on: refused with a reason naming
// it, or opened, walked folder by folder, checked and extracted whole without a write
// outside the destination.
TEST_F(ViewerPacketViewTest, EveryHostileFixtureIsRefusedOrWalkedCheckedAndExtractedSafely) {
    const std::string fixtures = FixturePacket("");
    const std::vector<std::string> names = NamesIn(fixtures);
    ASSERT_GT(names.size(), 20u);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        CPacketView view;
        std::string error;
        if (!view.Open(fixtures + name, error)) {
            EXPECT_NE(error.find(name), std::string::npos) << error;
            continue;
        }
        std::vector<std::size_t> folders = {kRootFolder};
        while (!folders.empty()) {
            const std::size_t folder = folders.back();
            folders.pop_back();
            std::size_t found = 0;
            EXPECT_TRUE(view.FindFolder(view.Path(folder), found) && found == folder) << view.Path(folder);
            for (std::size_t child : view.Children(folder)) {
                EXPECT_FALSE(view.Name(child).empty());
                if (view.IsFolder(child)) folders.push_back(child);
            }
        }
        EXPECT_TRUE(CheckContents(view, [](std::size_t, std::size_t) { return true; }).empty());
        TempDir target;
        const std::string full = FullFolderPath(target.Path(), TreeNames::Utf8);
        CExtractJob job(view, kRootFolder, view.Children(kRootFolder), full + "out");
        QuietEvents events;
        EXPECT_TRUE(job.Run(events)) << job.Message();
        EXPECT_EQ(NamesIn(target.Path()), std::vector<std::string>{"out"});
    }
}

}  // namespace

