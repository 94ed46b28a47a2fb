// The real Velkaron.exe under test: each case copies it into a private folder (so
// its settings file and work folder are its own), starts it and drives its dialog.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/resource.h"
#include "packer/PacketBuilder.h"
#include "platform/MbText.h"
#include "settings/ProgramDir.h"
#include "tests/gui/GuiDriver.h"
#include "tests/support/PacketReader.h"
#include "tests/support/TestFs.h"

namespace {

const DWORD kJobTimeoutMs = 120000;
const DWORD kBoxTimeoutMs = 20000;
const char kDone[] = "打包完成!";
const char kBoxCaption[] = "Velkaron";

class MultibyteEnvironment : public ::testing::Environment {
public:
    void SetUp() override { InitMultibyte(); }
};
const auto* const g_multibyte = ::testing::AddGlobalTestEnvironment(new MultibyteEnvironment);

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + what.size())) ++n;
    return n;
}

// The settings file's escape, byte by byte: trail bytes 5C of GBK characters too.
std::string Escaped(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (c == '\\') out += "\\\\";
        else if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

std::string SettingsBytes(const std::string& source, const std::string& packet) {
    return "\r\n[.]\r\nSourcePath=" + Escaped(source) + "\r\nPacketName=" + Escaped(packet) + "\r\n";
}

class VelkaronGui : public ::testing::Test {
protected:
    // Copies the program as `name` (and its instructions file when asked) into the private folder.
    void Install(bool bWithInstructions, const std::string& name) {
        std::string strBeside;
        GetProgramDir(strBeside);
        ASSERT_TRUE(CVelkaronProcess::Install(strBeside + "Velkaron.exe", m_dir.Path(), name));
        if (bWithInstructions) WriteFileBytes(m_dir / "velkaron.txt", ReadFileBytes(strBeside + "velkaron.txt"));
    }
    void Start(bool bWithInstructions = false, const std::string& name = "Velkaron.exe") {
        Install(bWithInstructions, name);
        ASSERT_TRUE(m_app.Start(m_dir / name)) << "the main dialog did not come up";
    }

    // Packs `source` in-process, as the program should: the packet and the log text to expect.
    void Reference(const std::string& source, std::string& packet, std::string& log) {
        CPacketBuilder builder;
        PackOptions options;
        options.workDir = m_dir / "ref-work";
        builder.SetOptions(options);
        ASSERT_TRUE(builder.BuildPacket(source, m_dir / "ref.dat"));
        packet = ReadFileBytes(m_dir / "ref.dat");
        std::string message;
        while (builder.TakeMessage(message)) log += message;
    }

    // Starts the program with a source of five small files and out.dat as the packet
    // in both fields; the source's path.
    std::string StartWithFiveFiles() {
        const std::string source = m_dir / "src";
        MakeDirs(source);
        for (int i = 0; i < 5; ++i) WriteFileBytes(source + "\\f" + std::to_string(i), "data");
        Start();
        EXPECT_TRUE(m_app.SetText(IDC_SOURCE_PATH, source));
        EXPECT_TRUE(m_app.SetText(IDC_PACKET_PATH, m_dir / "out.dat"));
        return source;
    }

    std::string Log() const { return m_app.Text(IDC_LOG); }
    bool WaitForLogEnd() const { return m_app.WaitForLogEnd(kJobTimeoutMs); }
    bool WaitForStatus(const std::string& status) const {
        return WaitUntil([&] { return m_app.Text(IDC_STATUS) == status; }, 10000);
    }
    // Waits for a message box of the program, checks its text and closes it.
    void ExpectMessageBox(const std::string& text, const std::string& caption = kBoxCaption) const {
        HWND hBox = m_app.WaitForDialog(caption, kBoxTimeoutMs);
        ASSERT_NE(hBox, nullptr) << "no message box";
        EXPECT_EQ(MessageBoxText(hBox), text);
        ::PostMessageA(hBox, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitUntil([hBox] { return !::IsWindow(hBox); }, kBoxTimeoutMs));
    }

    TempDir m_dir;
    CVelkaronProcess m_app;  // ends before the folder goes
};

TEST_F(VelkaronGui, RestoresBothFieldsFromTheSettingsFileAndShowsZeroCountsOnTheFirstTick) {
    WriteFileBytes(m_dir / "velkaron.ini",
                   "[other]\r\nSourcePath=wrong\r\n\r\n[.]\r\nPacketName=D:\\\\输出\\\\包.dat\r\n"
                   "SourcePath=D:\\\\资料\\\\乗\r\n");
    Start();
    EXPECT_EQ(m_app.Text(IDC_SOURCE_PATH), "D:\\资料\\乗");
    EXPECT_EQ(m_app.Text(IDC_PACKET_PATH), "D:\\输出\\包.dat");
    EXPECT_NE(m_app.Text(IDC_STATUS), "Status");
    EXPECT_TRUE(WaitForStatus("文件: 0 | 文件夹 0"));
    EXPECT_EQ(Log(), "");
    EXPECT_FALSE(PathExists(m_dir / "data")) << "no job runs at start";
}

TEST_F(VelkaronGui, PacksWithTrailingBackslashesAndSavesBothFieldsAsTyped) {
    // A GBK name whose last byte is 5C travels through the fields, the job and the
    // settings file unchanged.
    const std::string source = m_dir / "源乗";
    MakeDirs(source + "\\深\\乗");
    WriteFileBytes(source + "\\a.txt", "alpha");
    WriteFileBytes(source + "\\深\\b.txt", "bravo!");
    WriteFileBytes(source + "\\深\\乗\\empty", "");
    std::string packet, log;
    Reference(source + "\\", packet, log);

    Start();
    const std::string typedSource = source + "\\\\\\";
    const std::string typedPacket = m_dir / "out.dat";
    ASSERT_TRUE(m_app.SetText(IDC_SOURCE_PATH, typedSource));
    ASSERT_TRUE(m_app.SetText(IDC_PACKET_PATH, typedPacket));
    m_app.Click(IDC_PACK);

    ASSERT_TRUE(WaitForLogEnd()) << Log();
    EXPECT_EQ(Log(), log);
    EXPECT_TRUE(WaitForStatus("文件: 3 | 文件夹 2")) << m_app.Text(IDC_STATUS);
    EXPECT_EQ(ReadFileBytes(typedPacket), packet);
    EXPECT_EQ(ReadFileBytes(m_dir / "velkaron.ini"), SettingsBytes(typedSource, typedPacket));
    // The fields themselves are left as typed.
    EXPECT_EQ(m_app.Text(IDC_SOURCE_PATH), typedSource);
}

TEST_F(VelkaronGui, LogKeepsTheNewest200LinesAndEndsWithPackingComplete) {
    const std::string source = m_dir / "many";
    MakeDirs(source);
    for (int i = 0; i < 260; ++i) WriteFileBytes(source + "\\f" + std::to_string(1000 + i), "x");
    std::string packet, log;
    Reference(source + "\\", packet, log);
    // The last 199 index lines, then the final text on the 200th line.
    std::size_t cut = log.size();
    for (int lines = 0; lines < 200; ++lines) cut = log.rfind("\r\n", cut - 1);
    const std::string expected = log.substr(cut + 2);

    Start();
    ASSERT_TRUE(m_app.SetText(IDC_SOURCE_PATH, source));
    ASSERT_TRUE(m_app.SetText(IDC_PACKET_PATH, m_dir / "out.dat"));
    m_app.Click(IDC_PACK);

    ASSERT_TRUE(WaitForLogEnd());
    EXPECT_EQ(Log(), expected);
    EXPECT_EQ(Count(Log(), "\r\n"), 199u);
    EXPECT_EQ(::SendMessageA(::GetDlgItem(m_app.Dialog(), IDC_LOG), EM_GETLINECOUNT, 0, 0), 200);
    EXPECT_TRUE(WaitForStatus("文件: 260 | 文件夹 0"));
}

TEST_F(VelkaronGui, SecondPackWhileAJobRunsIsIgnored) {
    const std::string source = StartWithFiveFiles();
    ASSERT_FALSE(HasFatalFailure());

    // Queued together: the job's first pump opens the about box, whose modal loop then
    // delivers the second pack command, and after it the instructions command, whose
    // message box shows that the second pack has been handled.
    ASSERT_TRUE(m_app.Suspend());
    m_app.Command(IDC_PACK);
    ::PostMessageA(m_app.Dialog(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    m_app.Command(IDC_PACK);
    m_app.Command(IDC_INSTRUCTIONS);
    ASSERT_TRUE(m_app.Resume());

    // The about box shows itself once its loop finds the queue empty, after the
    // instructions message box.
    ExpectMessageBox(m_dir / "velkaron.txt\r\n怎么会找不到这个文件?");
    HWND hAbout = m_app.WaitForDialog("关于 Velkaron", kBoxTimeoutMs);
    ASSERT_NE(hAbout, nullptr);
    // The first job is held in its pump by the about box: nothing is finished or saved.
    EXPECT_TRUE(PathExists(m_dir / "data"));
    EXPECT_FALSE(PathExists(m_dir / "velkaron.ini")) << "the ignored command saved the settings";
    EXPECT_FALSE(PathExists(m_dir / "out.dat"));
    ::PostMessageA(hAbout, WM_COMMAND, IDOK, 0);

    ASSERT_TRUE(WaitForLogEnd());
    EXPECT_TRUE(WaitForStatus("文件: 5 | 文件夹 0"));
    EXPECT_EQ(Count(Log(), kDone), 1u) << Log();
    EXPECT_EQ(Count(Log(), "#F,"), 5u) << Log();
    EXPECT_EQ(ReadFileBytes(m_dir / "velkaron.ini"), SettingsBytes(source, m_dir / "out.dat"));
}

TEST_F(VelkaronGui, ExitWhileAJobRunsEndsTheProgramOnlyAfterTheJob) {
    const std::string source = StartWithFiveFiles();
    ASSERT_FALSE(HasFatalFailure());

    // The job's first pump opens the about box, whose loop then delivers Exit: the
    // job is held in the middle while the program has been told to end.
    ASSERT_TRUE(m_app.Suspend());
    m_app.Command(IDC_PACK);
    ::PostMessageA(m_app.Dialog(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    m_app.Command(IDCANCEL);
    ASSERT_TRUE(m_app.Resume());

    HWND hAbout = m_app.WaitForDialog("关于 Velkaron", kBoxTimeoutMs);
    ASSERT_NE(hAbout, nullptr);
    EXPECT_FALSE(m_app.WaitForExit(1000)) << "the program ended in the middle of the job";
    EXPECT_FALSE(PathExists(m_dir / "out.dat"));
    ::PostMessageA(hAbout, WM_COMMAND, IDOK, 0);

    ASSERT_TRUE(m_app.WaitForExit(kJobTimeoutMs));
    Packet packet = ReadValidPacket(m_dir / "out.dat");
    EXPECT_EQ(packet.entries.size(), 5u);
    EXPECT_EQ(ReadFileBytes(m_dir / "velkaron.ini"), SettingsBytes(source, m_dir / "out.dat"));
}

TEST_F(VelkaronGui, EnterInTheEmptySourceFieldAsksForAFolderAndStartsNoJob) {
    Start();  // first start: no settings file, both fields empty
    ASSERT_EQ(m_app.Text(IDC_SOURCE_PATH), "");
    m_app.Key(IDC_SOURCE_PATH, VK_RETURN);
    ExpectMessageBox("请先选择源文件夹。");

    // Backslashes alone would name the same drive root.
    ASSERT_TRUE(m_app.SetText(IDC_SOURCE_PATH, "\\\\"));
    ASSERT_TRUE(m_app.SetText(IDC_PACKET_PATH, m_dir / "out.dat"));
    m_app.Click(IDC_PACK);
    ExpectMessageBox("请先选择源文件夹。");

    EXPECT_TRUE(WaitForStatus("文件: 0 | 文件夹 0"));
    EXPECT_EQ(Log(), "");
    EXPECT_FALSE(PathExists(m_dir / "data"));
    EXPECT_FALSE(PathExists(m_dir / "out.dat"));
    EXPECT_FALSE(PathExists(m_dir / "velkaron.ini"));
}

// Types `path` into the file name field of the program's open or save dialog and confirms it.
void ChooseInFileDialog(const CVelkaronProcess& app, const std::string& path) {
    HWND hFileDialog = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (HWND hWnd : DialogsOfProcess(app.ProcessId())) {
                if (hWnd != app.Dialog()) hFileDialog = hWnd;
            }
            return hFileDialog != nullptr;
        },
        kBoxTimeoutMs));
    // The explorer-style dialog's file name field: an edit, or the edit of an extended combo box.
    HWND hName = ::GetDlgItem(hFileDialog, 0x480);
    if (hName == nullptr) {
        hName = reinterpret_cast<HWND>(::SendMessageA(::GetDlgItem(hFileDialog, 0x47C), CBEM_GETEDITCONTROL, 0, 0));
    }
    ASSERT_NE(hName, nullptr);
    ASSERT_TRUE(SetWindowTextTo(hName, path));
    ::PostMessageA(hFileDialog, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([hFileDialog] { return !::IsWindow(hFileDialog); }, kBoxTimeoutMs));
}

TEST_F(VelkaronGui, FolderPickerKeepsTheFolderOfTheChosenFileAndBrowseAddsTheDatExtension) {
    // 乗 is 81 5C: cutting at the last backslash byte would cut inside the file name.
    const std::string folder = m_dir / "资料乗";
    MakeDirs(folder);
    Start();
    m_app.Click(IDC_SELECT_FOLDER);
    ChooseInFileDialog(m_app, folder + "\\不存在的乗.txt");
    EXPECT_EQ(m_app.Text(IDC_SOURCE_PATH), folder);

    m_app.Click(IDC_BROWSE_PACKET);
    ChooseInFileDialog(m_app, folder + "\\结果");
    EXPECT_EQ(m_app.Text(IDC_PACKET_PATH), folder + "\\结果.dat");
}

TEST_F(VelkaronGui, EscEndsTheProgram) {
    Start();
    m_app.Key(IDC_SOURCE_PATH, VK_ESCAPE);
    EXPECT_TRUE(m_app.WaitForExit(20000));
}

TEST_F(VelkaronGui, ExitButtonEndsTheProgram) {
    Start();
    m_app.Click(IDCANCEL);
    EXPECT_TRUE(m_app.WaitForExit(20000));
}

TEST_F(VelkaronGui, MissingInstructionsFileShowsItsPathAndTheQuestion) {
    Start();
    m_app.Click(IDC_INSTRUCTIONS);
    ExpectMessageBox(m_dir / "velkaron.txt\r\n怎么会找不到这个文件?");
    // The dialog goes on as before.
    m_app.Click(IDCANCEL);
    EXPECT_TRUE(m_app.WaitForExit(20000));
}

TEST_F(VelkaronGui, MessageBoxesTakeTheirCaptionFromTheProgramsFileName) {
    // 乗 is 81 5C: a byte-wise search for the last backslash would cut the name to nothing.
    Start(false, "乗.exe");
    m_app.Click(IDC_INSTRUCTIONS);
    ExpectMessageBox(m_dir / "velkaron.txt\r\n怎么会找不到这个文件?", "乗");
}

}  // namespace
