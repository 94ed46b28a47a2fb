// The dialogs run inside the test process, from the program's own resources: the
// log's line cap on the real log control, and the system menu with its about item.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "app/resource.h"
#include "tests/gui/GuiDriver.h"
#include "ui/VelkaronDlg.h"

namespace {

INT_PTR CALLBACK PassiveDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The main dialog's template, created modeless with a do-nothing procedure, for its log control.
class LogControl : public ::testing::Test {
protected:
    void SetUp() override {
        m_hDialog = ::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_VELKARON_DIALOG),
                                         nullptr, &PassiveDialogProc, 0);
        ASSERT_NE(m_hDialog, nullptr);
        m_edit.Attach(::GetDlgItem(m_hDialog, IDC_LOG));
        ASSERT_NE(m_edit.GetSafeHwnd(), nullptr);
    }
    void TearDown() override {
        if (m_hDialog != nullptr) ::DestroyWindow(m_hDialog);
    }

    int Append(const std::string& text) { return CVelkaronDlg::AppendLogText(&m_edit, text); }
    int Lines() const { return static_cast<int>(m_edit.Send(EM_GETLINECOUNT)); }
    std::string Text() const { return WindowText(m_edit.GetSafeHwnd()); }

    HWND m_hDialog = nullptr;
    CEdit m_edit;
};

std::string Numbered(int i) {
    char line[32];
    std::snprintf(line, sizeof(line), "line %03d\r\n", i);
    return line;
}

TEST_F(LogControl, KeepsTheNewest200LinesAndAppendsWithoutAddingLineBreaks) {
    CEdit unbound;
    EXPECT_EQ(CVelkaronDlg::AppendLogText(nullptr, "x"), 0);
    EXPECT_EQ(CVelkaronDlg::AppendLogText(&unbound, "x"), 0);

    EXPECT_EQ(Append("run"), 1);
    EXPECT_EQ(Append("s on\r\n"), 1);
    EXPECT_EQ(Text(), "runs on\r\n");

    std::string expected;
    for (int i = 0; i < 250; ++i) {
        Append(Numbered(i));
        ASSERT_LE(Lines(), 201) << "after line " << i;
        if (i >= 50) expected += Numbered(i);
    }
    // 200 lines before the last append, then one more line and the empty one after it.
    EXPECT_EQ(Text(), expected);
    EXPECT_EQ(Lines(), 201);

    // Without a line end the final text takes the last line, the 200th.
    Append("打包完成!");
    EXPECT_EQ(Lines(), 200);
    EXPECT_EQ(Text(), expected.substr(Numbered(51).size()) + "打包完成!");
}

TEST_F(LogControl, WrappedPiecesCountAsLinesForTheCap) {
    const std::string wide(400, 'w');  // far wider than the log: several display lines
    Append(wide + "\r\n");
    const int pieces = Lines() - 1;
    ASSERT_GE(pieces, 3);

    // The log reaches 201 display lines only with the wide line's pieces counted;
    // the next append then cuts its first piece, not the whole text line.
    for (int i = 0; i <= 200 - pieces; ++i) Append(Numbered(i));
    EXPECT_EQ(Lines(), 201);
    const std::size_t left = Text().find_first_not_of('w');
    EXPECT_GT(left, 0u);
    EXPECT_LT(left, wide.size());
    EXPECT_EQ(Text().substr(left, 2), "\r\n");

    // A wide text arriving at a full log: before each append no more than 200 lines.
    for (int i = 0; i < 20; ++i) {
        Append(i % 5 == 0 ? wide + "\r\n" : Numbered(i));
        ASSERT_LE(Lines(), 200 + (i % 5 == 0 ? pieces : 1)) << "after append " << i;
    }
}

TEST_F(LogControl, LeavesTheCaretAtTheEndOfTheText) {
    Append("第一行\r\n");
    m_edit.Send(EM_SETSEL, 0, 0);
    Append("第二行");
    DWORD start = 0, end = 0;
    m_edit.Send(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    LRESULT lastStart = m_edit.Send(EM_LINEINDEX, 1);
    LRESULT textEnd = lastStart + m_edit.Send(EM_LINELENGTH, static_cast<WPARAM>(lastStart));
    EXPECT_EQ(static_cast<LRESULT>(start), textEnd);
    EXPECT_EQ(static_cast<LRESULT>(end), textEnd);
    EXPECT_EQ(Text(), "第一行\r\n第二行");
}

// The real main dialog on a thread of its own, driven from the test's thread. The
// thread's dialogs are cancelled and the thread joined on every way out of the test.
class MainDialogInProcess : public ::testing::Test {
protected:
    void SetUp() override {
        m_ui = std::thread([this] {
            m_nThreadId = ::GetCurrentThreadId();
            CVelkaronDlg dlg;
            m_nResult = dlg.DoModal();
        });
    }
    void TearDown() override {
        while (m_ui.joinable()) {
            for (HWND hWnd : DialogsOfThread(m_nThreadId)) ::PostMessageA(hWnd, WM_COMMAND, IDCANCEL, 0);
            if (WaitUntil([this] { return m_nResult != 0; }, 500)) m_ui.join();
        }
    }
    // The main dialog once its system menu holds the about item, or null.
    HWND WaitForDialog() {
        HWND hDialog = nullptr;
        WaitUntil(
            [&] {
                for (HWND hWnd : DialogsOfThread(m_nThreadId)) {
                    HMENU hMenu = ::GetSystemMenu(hWnd, FALSE);
                    int nCount = hMenu != nullptr ? ::GetMenuItemCount(hMenu) : 0;
                    if (::GetDlgItem(hWnd, IDC_PACK) != nullptr && nCount > 0 &&
                        ::GetMenuItemID(hMenu, nCount - 1) == static_cast<UINT>(IDM_ABOUTBOX))
                        hDialog = hWnd;
                }
                return hDialog != nullptr;
            },
            20000);
        return hDialog;
    }

    std::thread m_ui;
    std::atomic<DWORD> m_nThreadId{0};
    std::atomic<INT_PTR> m_nResult{0};
};

TEST_F(MainDialogInProcess, SystemMenuEndsWithSeparatorAndAboutItemThatOpensTheAboutBox) {
    HWND hDialog = WaitForDialog();
    ASSERT_NE(hDialog, nullptr) << "no main dialog with the about item in its system menu";

    HMENU hMenu = ::GetSystemMenu(hDialog, FALSE);
    ASSERT_NE(hMenu, nullptr);
    int count = ::GetMenuItemCount(hMenu);
    ASSERT_GE(count, 2);
    char text[128] = {};
    ::GetMenuStringA(hMenu, count - 1, text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ(text, "关于 Velkaron(&A)...");
    EXPECT_NE(::GetMenuState(hMenu, count - 2, MF_BYPOSITION) & MF_SEPARATOR, 0u);

    ::PostMessageA(hDialog, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    HWND hAbout = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (HWND hWnd : DialogsOfThread(m_nThreadId)) {
                if (WindowText(hWnd) == "关于 Velkaron") hAbout = hWnd;
            }
            return hAbout != nullptr;
        },
        20000));
    EXPECT_EQ(::GetWindow(hAbout, GW_OWNER), hDialog);
    EXPECT_FALSE(::IsWindowEnabled(hDialog)) << "the about box is modal";
    ::PostMessageA(hAbout, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(hAbout); }, 20000));
    EXPECT_TRUE(::IsWindowEnabled(hDialog));

    ::PostMessageA(hDialog, WM_COMMAND, IDCANCEL, 0);
    m_ui.join();
    EXPECT_EQ(m_nResult, IDCANCEL);
}

}  // namespace
