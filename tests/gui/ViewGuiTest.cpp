// The real VelkaronView.exe under test: each case copies it into a private folder (so
// its settings file is its own), packs a tree there, starts the browser on the packet
// and drives it through its window classes, control ids and keys.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "packer/PacketBuilder.h"
#include "packer/PacketFormat.h"
#include "settings/ProgramDir.h"
#include "tests/gui/GuiDriver.h"
#include "tests/gui/ViewDriver.h"
#include "tests/support/TestFs.h"
#include "viewer/resource.h"

namespace {

const wchar_t kTitle[] = L"Velkaron 数据包查看器";

std::wstring W(const std::string& ansi) {
    std::wstring wide(ansi.size(), L'\0');
    const int n = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0],
                                        static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return wide;
}

class ViewGui : public ::testing::Test {
protected:
    // Packs `source` (below the private folder) into packet.dat there.
    void Pack(const std::string& source) {
        CPacketBuilder builder;
        PackOptions options;
        options.workDir = m_dir / "work";
        builder.SetOptions(options);
        ASSERT_TRUE(builder.BuildPacket(m_dir / source, Packet()));
    }
    // A tree of ASCII and Chinese names: two folders, two files at the top.
    // Writes `bytes` to the file at `path` below the private folder, its folders made first.
    void Put(const std::string& path, const std::string& bytes) const {
        MakeDirs(m_dir / path.substr(0, path.rfind('/')));
        WriteFileBytes(m_dir / path, bytes);
    }
    void PackSample() {
        MakeDirs(m_dir / "src/Alpha/深");
        MakeDirs(m_dir / "src/beta");
        MakeDirs(m_dir / "src/图片");
        WriteFileBytes(m_dir / "src/Alpha/深/山水.txt", "mountains");
        WriteFileBytes(m_dir / "src/beta/x.bin", std::string(1234, 'x'));
        WriteFileBytes(m_dir / "src/c.txt", "ccc");
        WriteFileBytes(m_dir / "src/B.txt", "b");
        Pack("src");
    }
    std::string Packet() const { return m_dir / "packet.dat"; }
    void Start(const std::string& packet) {
        std::string beside;
        GetProgramDir(beside);
        ASSERT_TRUE(::CopyFileA((beside + "VelkaronView.exe").c_str(), (m_dir / "VelkaronView.exe").c_str(), FALSE));
        ASSERT_TRUE(m_app.Start(W(m_dir / "VelkaronView.exe"), W(packet))) << "the main window did not come up";
    }
    std::vector<std::wstring> Names() const {
        std::vector<std::wstring> names;
        for (const std::wstring& row : m_app.Rows()) names.push_back(row.substr(0, row.find(L'|')));
        return names;
    }
    bool WaitForNames(const std::vector<std::wstring>& names) const {
        return WaitUntil([&] { return Names() == names; }, 10000);
    }
    bool WaitForAddress(const std::wstring& address) const {
        return WaitUntil([&] { return m_app.Text(IDC_VIEW_ADDRESS) == address; }, 10000);
    }
    void Command(int id) const { ::PostMessageW(m_app.Window(), WM_COMMAND, static_cast<WPARAM>(id), 0); }
    // Opens 解压到 with F5, types `destination` (unless empty) into its first edit
    // field and starts; the field's text as the browser filled it.
    std::wstring Extract(const std::string& destination) const {
        m_app.Key(IDC_VIEW_LIST, VK_F5);
        HWND hDialog = m_app.WaitForDialog(L"解压到");
        EXPECT_NE(hDialog, nullptr);
        if (hDialog == nullptr) return std::wstring();
        HWND hEdit = ::FindWindowExW(hDialog, nullptr, L"Edit", nullptr);
        wchar_t filled[1024] = L"";
        ::SendMessageW(hEdit, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(filled));
        if (!destination.empty()) m_app.SetText(hEdit, W(destination));
        CViewProcess::Click(hDialog, IDOK);
        return filled;
    }
    // Waits for the dialog `title`, checks that its message holds `part`, and presses `button`.
    void Answer(const std::wstring& title, const std::wstring& part, int button) const {
        HWND hDialog = m_app.WaitForDialog(title);
        ASSERT_NE(hDialog, nullptr) << "no dialog box";
        EXPECT_NE(CViewProcess::MessageText(hDialog).find(part), std::wstring::npos) << CViewProcess::MessageText(hDialog);
        CViewProcess::Click(hDialog, button);
        EXPECT_TRUE(WaitUntil([hDialog] { return !::IsWindow(hDialog) || !::IsWindowVisible(hDialog); }, 20000));
    }

    TempDir m_dir;
    CViewProcess m_app;  // ends before the folder goes
};

TEST_F(ViewGui, ShowsTheRootFoldersFirstInNameOrderWithSizesTypesAndCounts) {
    PackSample();
    Start(Packet());
    ASSERT_TRUE(WaitForNames({L"Alpha", L"beta", L"图片", L"B.txt", L"c.txt"}));
    EXPECT_EQ(m_app.Cell(4, 1), L"3");
    EXPECT_EQ(m_app.Cell(0, 3), L"文件夹");
    EXPECT_EQ(m_app.TreeSelection(), L"packet.dat");
    EXPECT_EQ(m_app.Text(IDC_VIEW_ADDRESS), L"\\");
    EXPECT_TRUE(WaitUntil([&] { return m_app.Text(IDC_VIEW_STATUS) == L"5 个项目"; }, 5000))
        << m_app.Text(IDC_VIEW_STATUS).size();
}

TEST_F(ViewGui, EnterOpensAFolderBackspaceGoesUpAndTheAddressFieldJumps) {
    PackSample();
    Start(Packet());
    ASSERT_TRUE(WaitForNames({L"Alpha", L"beta", L"图片", L"B.txt", L"c.txt"}));
    ASSERT_TRUE(m_app.Select({L"beta"}));
    m_app.Key(IDC_VIEW_LIST, VK_RETURN);
    ASSERT_TRUE(WaitForAddress(L"\\beta"));
    EXPECT_TRUE(WaitForNames({L"x.bin"}));
    EXPECT_EQ(m_app.Cell(0, 1), L"1,234");
    EXPECT_EQ(m_app.TreeSelection(), L"beta");
    m_app.Key(IDC_VIEW_LIST, VK_BACK);
    ASSERT_TRUE(WaitForAddress(L"\\"));
    EXPECT_EQ(m_app.TreeSelection(), L"packet.dat");

    m_app.SetText(m_app.Pane(IDC_VIEW_ADDRESS), L"/ALPHA\\深\\");
    m_app.Key(IDC_VIEW_ADDRESS, VK_RETURN);
    EXPECT_TRUE(WaitForNames({L"山水.txt"}));
    EXPECT_TRUE(WaitForAddress(L"\\Alpha\\深"));
    EXPECT_EQ(m_app.TreeSelection(), L"深");
}

TEST_F(ViewGui, AHeaderClickSortsByItsColumnAndASecondReversesFoldersStayingFirst) {
    MakeDirs(m_dir / "src/z");
    MakeDirs(m_dir / "src/a");
    WriteFileBytes(m_dir / "src/big", "12345");
    WriteFileBytes(m_dir / "src/small", "1");
    WriteFileBytes(m_dir / "src/mid", "123");
    Pack("src");
    Start(Packet());
    ASSERT_TRUE(WaitForNames({L"a", L"z", L"big", L"mid", L"small"}));
    m_app.ClickHeader(1);
    EXPECT_TRUE(WaitForNames({L"a", L"z", L"small", L"mid", L"big"}));
    m_app.ClickHeader(1);
    EXPECT_TRUE(WaitForNames({L"z", L"a", L"big", L"mid", L"small"}));
}

TEST_F(ViewGui, F5ExtractsTheSelectionIntoTheFolderTypedInTheFirstEditField) {
    PackSample();
    Start(Packet());
    ASSERT_TRUE(WaitForNames({L"Alpha", L"beta", L"图片", L"B.txt", L"c.txt"}));
    ASSERT_TRUE(m_app.Select({L"Alpha", L"c.txt"}));
    Extract(m_dir / "out");
    ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(m_dir / "out/c.txt") == "ccc"; }, 30000));
    EXPECT_TRUE(WaitUntil([&] { return ReadTree(m_dir / "out").size() == 4; }, 10000));
    const std::map<std::string, std::string> expected = {
        {"Alpha/", ""}, {"Alpha/深/", ""}, {"Alpha/深/山水.txt", "mountains"}, {"c.txt", "ccc"}};
    EXPECT_EQ(ReadTree(m_dir / "out"), expected);
}

TEST_F(ViewGui, F5WithNothingSelectedOffersThePacketsNameAndExtractsTheWholeFolder) {
    PackSample();
    Start(Packet());
    ASSERT_TRUE(WaitForNames({L"Alpha", L"beta", L"图片", L"B.txt", L"c.txt"}));
    EXPECT_EQ(Extract(""), W(m_dir / "packet"));
    ASSERT_TRUE(WaitUntil([&] { return ReadTree(m_dir / "packet") == ReadTree(m_dir / "src"); }, 30000));
}

TEST_F(ViewGui, TakenNamesAreAskedOneByOneUntilAnAnswerForAll) {
    for (const char* name : {"a", "b", "c", "d"}) Put(std::string("src/") + name, "new");
    Pack("src");
    for (const char* name : {"a", "b", "c", "d"}) Put(std::string("out/") + name, "old");
    Start(Packet());
    ASSERT_TRUE(WaitForNames({L"a", L"b", L"c", L"d"}));
    Extract(m_dir / "out");
    Answer(L"文件已存在", L"a", IDC_OVERWRITE);
    Answer(L"文件已存在", L"b", IDC_SKIP);
    Answer(L"文件已存在", L"c", IDC_OVERWRITE_ALL);
    Answer(L"解压结果", L"以下 1 项没有解压", IDOK);
    const std::map<std::string, std::string> expected = {{"a", "new"}, {"b", "old"}, {"c", "new"}, {"d", "new"}};
    EXPECT_EQ(ReadTree(m_dir / "out"), expected);
}

TEST_F(ViewGui, SkipAllKeepsEveryTakenFileAndListsEachInTheReport) {
    for (const char* name : {"a", "b", "c"}) Put(std::string("src/") + name, "new");
    Pack("src");
    for (const char* name : {"a", "c"}) Put(std::string("out/") + name, "old");
    Start(Packet());
    ASSERT_TRUE(WaitForNames({L"a", L"b", L"c"}));
    Extract(m_dir / "out");
    Answer(L"文件已存在", L"a", IDC_SKIP_ALL);
    Answer(L"解压结果", L"以下 2 项没有解压", IDOK);
    const std::map<std::string, std::string> expected = {{"a", "old"}, {"b", "new"}, {"c", "old"}};
    EXPECT_EQ(ReadTree(m_dir / "out"), expected);
}

TEST_F(ViewGui, CancelPartWayLeavesOnlyWholeFiles) {
    const std::string big(48 << 20, 'v');
    for (const char* name : {"1", "2", "3", "4", "5"}) Put(std::string("src/") + name, big);
    Pack("src");
    Start(Packet());
    ASSERT_TRUE(WaitForNames({L"1", L"2", L"3", L"4", L"5"}));
    Extract(m_dir / "out");
    Answer(L"正在解压", L"", IDCANCEL);
    Answer(L"解压结果", L"解压已取消", IDOK);
    const std::vector<std::string> names = NamesIn(m_dir / "out");
    EXPECT_LT(names.size(), 5u) << "the job ended before the cancel";
    for (const std::string& name : names) EXPECT_EQ(ReadFileBytes(m_dir / ("out/" + name)).size(), big.size()) << name;
}

TEST_F(ViewGui, EveryHostilePacketIsRefusedWithAMessageNamingItsPath) {
    WriteFileBytes(m_dir / "text.dat", "just some text, no packet at all");
    PackSample();
    std::string truncated = ReadFileBytes(Packet());
    truncated.resize(truncated.size() - 5);
    WriteFileBytes(m_dir / "truncated.dat", truncated);
    std::string damaged = ReadFileBytes(Packet());
    damaged[damaged.size() - 10] = '\x01';
    WriteFileBytes(m_dir / "damaged.dat", damaged);
    for (const char* name : {"missing.dat", "text.dat", "truncated.dat", "damaged.dat"}) {
        SCOPED_TRACE(name);
        CViewProcess app;
        std::string beside;
        GetProgramDir(beside);
        ASSERT_TRUE(app.Start(W(beside + "VelkaronView.exe"), W(m_dir / name)));
        HWND hBox = app.WaitForDialog(kTitle);
        ASSERT_NE(hBox, nullptr);
        EXPECT_NE(CViewProcess::MessageText(hBox).find(W(m_dir / name)), std::wstring::npos);
        CViewProcess::Click(hBox, IDOK);
        ::PostMessageW(app.Window(), WM_CLOSE, 0, 0);
        EXPECT_TRUE(app.WaitForExit(20000)) << "the browser did not end normally";
    }
}

TEST_F(ViewGui, FindListsHitsInTheWholePacketAndEnterShowsOneInItsFolder) {
    PackSample();
    Start(Packet());
    ASSERT_TRUE(WaitForNames({L"Alpha", L"beta", L"图片", L"B.txt", L"c.txt"}));
    Command(IDM_FIND);
    HWND hFind = m_app.WaitForDialog(L"查找");
    ASSERT_NE(hFind, nullptr);
    m_app.SetText(::GetDlgItem(hFind, IDC_FIND_TEXT), L"山水");
    CViewProcess::Click(hFind, IDC_FIND_GO);
    ASSERT_TRUE(WaitUntil([&] { return ::SendMessageW(::GetDlgItem(hFind, IDC_FIND_HITS), LVM_GETITEMCOUNT, 0, 0) == 1; },
                          10000));
    ::PostMessageW(hFind, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitForAddress(L"\\Alpha\\深"));
    EXPECT_TRUE(WaitForNames({L"山水.txt"}));
}

TEST_F(ViewGui, PropertiesShowTheHeaderFieldsAndTheCheckFindsTheContentsWhole) {
    PackSample();
    Start(Packet());
    ASSERT_TRUE(WaitForNames({L"Alpha", L"beta", L"图片", L"B.txt", L"c.txt"}));
    m_app.Key(IDC_VIEW_LIST, VK_RETURN, true);
    HWND hProperties = m_app.WaitForDialog(L"数据包属性");
    ASSERT_NE(hProperties, nullptr);
    wchar_t text[2048] = L"";
    ::SendMessageW(::GetDlgItem(hProperties, IDC_PROPERTIES_TEXT), WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text));
    const std::string header = ReadFileBytes(Packet()).substr(0, 64);
    EXPECT_NE(std::wstring(text).find(W(header.substr(0, header.find('\r')))), std::wstring::npos) << text;
    EXPECT_NE(std::wstring(text).find(L"文件: 4 个"), std::wstring::npos);
    CViewProcess::Click(hProperties, IDOK);
    Command(IDM_CHECK);
    Answer(kTitle, L"4 个文件都能完整读出", IDOK);
}

TEST_F(ViewGui, KeepsItsSettingsInItsOwnFileAndReopensARecentPacketFromTheMenu) {
    PackSample();
    Start(Packet());
    ASSERT_TRUE(WaitForNames({L"Alpha", L"beta", L"图片", L"B.txt", L"c.txt"}));
    ::PostMessageW(m_app.Window(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(m_app.WaitForExit(20000));
    const std::string settings = ReadFileBytes(m_dir / "velkaron-view.ini");
    std::string escaped;  // the store writes a backslash as two
    for (char c : Packet()) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    EXPECT_NE(settings.find("Packet0=" + escaped), std::string::npos) << settings;
    EXPECT_TRUE(ReadFileBytes(m_dir / "velkaron.ini").empty());

    CViewProcess again;
    ASSERT_TRUE(again.Start(W(m_dir / "VelkaronView.exe"), L""));
    ::PostMessageW(again.Window(), WM_COMMAND, IDM_RECENT_FIRST, 0);
    EXPECT_TRUE(WaitUntil([&] { return again.Rows().size() == 5; }, 10000));
}

TEST_F(ViewGui, TabMovesBetweenThePanesAndTypingSelectsByName) {
    PackSample();
    Start(Packet());
    ASSERT_TRUE(WaitForNames({L"Alpha", L"beta", L"图片", L"B.txt", L"c.txt"}));
    auto focus = [&] {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        ::GetGUIThreadInfo(::GetWindowThreadProcessId(m_app.Window(), nullptr), &info);
        return info.hwndFocus;
    };
    ASSERT_TRUE(WaitUntil([&] { return focus() == m_app.Pane(IDC_VIEW_LIST); }, 5000));
    m_app.Key(IDC_VIEW_LIST, VK_TAB);
    EXPECT_TRUE(WaitUntil([&] { return focus() == m_app.Pane(IDC_VIEW_TREE); }, 5000));
    m_app.Key(IDC_VIEW_TREE, VK_TAB);
    EXPECT_TRUE(WaitUntil([&] { return focus() == m_app.Pane(IDC_VIEW_ADDRESS); }, 5000));
    m_app.Key(IDC_VIEW_ADDRESS, VK_TAB);
    EXPECT_TRUE(WaitUntil([&] { return focus() == m_app.Pane(IDC_VIEW_LIST); }, 5000));

    ::PostMessageW(m_app.Pane(IDC_VIEW_LIST), WM_CHAR, L'C', 1);
    EXPECT_TRUE(WaitUntil(
        [&] { return ::SendMessageW(m_app.Pane(IDC_VIEW_LIST), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED) == 4; },
        5000));
}

TEST_F(ViewGui, AFileOpenedFromThePacketLivesInAPrivateFolderRemovedAtExit) {
    Put("src/notes.velkaron-test", "notes");
    Pack("src");
    Start(Packet());
    ASSERT_TRUE(WaitForNames({L"notes.velkaron-test"}));
    ASSERT_TRUE(m_app.Select({L"notes.velkaron-test"}));
    m_app.Key(IDC_VIEW_LIST, VK_RETURN);
    // No program is associated with the type: the browser says so, the file stays extracted.
    Answer(kTitle, L"没有程序能打开", IDOK);
    char temp[MAX_PATH + 1] = "";
    ::GetTempPathA(MAX_PATH + 1, temp);
    const std::string opened = std::string(temp) + "VelkaronView-" + std::to_string(m_app.ProcessId());
    EXPECT_EQ(ReadFileBytes(opened + "\\1\\notes.velkaron-test"), "notes");
    ::PostMessageW(m_app.Window(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(m_app.WaitForExit(20000));
    EXPECT_EQ(::GetFileAttributesA(opened.c_str()), INVALID_FILE_ATTRIBUTES);
}

// Run apart, under Windows-1252 (see CMakeLists.txt): names stored in GBK still show
// and extract as they were meant, though this system's code page cannot name them.
class ViewUnderCodePage1252 : public ViewGui {};

TEST_F(ViewUnderCodePage1252, ShowsAndExtractsGbkNamesAsTheyWereMeant) {
    ASSERT_EQ(::GetACP(), 1252u) << "to be run with VELKARON_WINE_LOCALE=C.UTF-8";
    const std::string folder = "\xCD\xBC\xC6\xAC";                   // 图片
    const std::string file = folder + "\\\xBB\xC6\xC9\xBD.txt";      // 图片\黄山.txt
    const std::string index = FormatFolderLine(64, folder) + FormatFileLine(64, 4, file);
    WriteFileBytes(Packet(), FormatPacketHeader(68, static_cast<int>(index.size())) + "data" + index);
    Start(Packet());
    ASSERT_TRUE(WaitForNames({L"图片"}));
    ASSERT_TRUE(m_app.Select({L"图片"}));
    m_app.Key(IDC_VIEW_LIST, VK_RETURN);
    ASSERT_TRUE(WaitForNames({L"黄山.txt"}));
    EXPECT_EQ(m_app.Text(IDC_VIEW_ADDRESS), L"\\图片");
    Extract(m_dir / "out");
    const std::wstring extracted = W(m_dir / "out") + L"\\黄山.txt";
    EXPECT_TRUE(WaitUntil([&] { return ::GetFileAttributesW(extracted.c_str()) != INVALID_FILE_ATTRIBUTES; }, 30000));
}

}  // namespace
