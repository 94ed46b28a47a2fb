// The dialogs run inside the test process, from the program's own resources: the
// log's line cap on the real log control, and the system menu with its about item.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/resource.h"
#include "tests/gui/GuiDriver.h"
#include "ui/VelkaronDlg.h"

namespace {

INT_PTR CALLBACK PassiveDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The main dialog's template, created modeless with a do-nothing procedure.
HWND CreateTemplateDialog() {
    return ::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_VELKARON_DIALOG), nullptr,
                                &PassiveDialogProc, 0);
}

// The main dialog's template, for its log control.
class LogControl : public ::testing::Test {
protected:
    void SetUp() override {
        m_hDialog = CreateTemplateDialog();
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

// Beside LogControl's log a second one, both hidden: the first is given a tick's
// texts one by one, the second the whole tick at once.
class LogTicks : public LogControl {
protected:
    void SetUp() override {
        LogControl::SetUp();
        m_hBatched = CreateTemplateDialog();
        ASSERT_NE(m_hBatched, nullptr);
        m_batched.Attach(::GetDlgItem(m_hBatched, IDC_LOG));
        ::ShowWindow(m_hDialog, SW_HIDE);
        ::ShowWindow(m_hBatched, SW_HIDE);
    }
    void TearDown() override {
        if (m_hBatched != nullptr) ::DestroyWindow(m_hBatched);
        LogControl::TearDown();
    }

    // Gives both logs the same tick and expects the same text, lines and caret.
    void Tick(const std::vector<std::string>& texts) {
        for (const std::string& text : texts) Append(text);
        EXPECT_EQ(CVelkaronDlg::AppendLogTexts(&m_batched, texts), 1);
        EXPECT_EQ(WindowText(m_batched.GetSafeHwnd()), Text());
        EXPECT_EQ(m_batched.Send(EM_GETLINECOUNT), Lines());
        EXPECT_EQ(Selection(m_batched), Selection(m_edit));
    }
    static std::pair<DWORD, DWORD> Selection(const CEdit& edit) {
        DWORD start = 0, end = 0;
        edit.Send(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        return {start, end};
    }

    HWND m_hBatched = nullptr;
    CEdit m_batched;
};

// `count` texts made by `make`, numbered from `first`.
std::vector<std::string> Texts(int first, int count, std::string (*make)(int)) {
    std::vector<std::string> texts;
    for (int i = first; i < first + count; ++i) texts.push_back(make(i));
    return texts;
}

std::string IndexLine(int i) { return "#F," + std::to_string(64 + i) + ",1,文件夹\\文件" + std::to_string(i) + "\r\n"; }

// Two texts in three wider than the log, in words and in double-byte characters;
// 200 of them pass the 30,000 characters an edit control takes by default.
std::string WrappingLine(int i) {
    if (i % 3 == 1) {
        return "#F,0,0," + std::string(30 + i % 17, 'w') + " " + std::string(20, 'x') + " tail" +
               std::string(400, 'y') + "\r\n";
    }
    if (i % 3 == 2) {
        std::string wide = "#D,0,0,";
        for (int n = 0; n < 60 + i % 23; ++n) wide += "数据";
        return wide + "\r\n";
    }
    return IndexLine(i);
}

// Line ends only now and then: pieces run on into the next text.
std::string Fragment(int i) {
    if (i % 7 == 0) return "打包完成!";
    return i % 3 == 0 ? "片段" + std::to_string(i) + "\r\n" : "片段" + std::to_string(i) + " ";
}

TEST_F(LogTicks, LeaveTheLogAsAppendingEachTextInTurnWould) {
    // Around the point where the oldest texts of a tick can be left out, and well past it.
    const int sizes[] = {1, 2, 150, 199, 200, 201, 202, 700};
    int next = 0;
    for (auto make : {&IndexLine, &WrappingLine, &Fragment}) {
        for (int size : sizes) {
            SCOPED_TRACE("tick of " + std::to_string(size) + " texts from " + std::to_string(next));
            Tick(Texts(next, size, make));
            next += size;
        }
    }
    // A tick that starts with what the last job left without a line end.
    Tick({"打包完成!"});
    Tick(Texts(next, 300, &IndexLine));
}

// Counts the control's EM_REPLACESEL messages while it is subclassed.
LRESULT CALLBACK CountingEditProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
    auto* pState = reinterpret_cast<std::pair<WNDPROC, int>*>(::GetPropA(hWnd, "count"));
    if (nMsg == EM_REPLACESEL) ++pState->second;
    return ::CallWindowProcA(pState->first, hWnd, nMsg, wParam, lParam);
}

TEST_F(LogTicks, ATickOfThousandsOfLinesCostsAFewReplacements) {
    HWND hEdit = m_batched.GetSafeHwnd();
    std::pair<WNDPROC, int> state{nullptr, 0};
    ::SetPropA(hEdit, "count", &state);
    state.first = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hEdit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountingEditProc)));

    CVelkaronDlg::AppendLogTexts(&m_batched, Texts(0, 5000, &IndexLine));
    ::SetWindowLongPtrA(hEdit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(state.first));
    ::RemovePropA(hEdit, "count");

    EXPECT_LE(state.second, 4);
    EXPECT_EQ(m_batched.Send(EM_GETLINECOUNT), 201);
    EXPECT_EQ(WindowText(hEdit).substr(0, IndexLine(4800).size()), IndexLine(4800));
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

    // Opens the about box from the system menu of `hDialog`; the box, or null.
    HWND OpenAboutBox(HWND hDialog) {
        ::PostMessageA(hDialog, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        HWND hAbout = nullptr;
        WaitUntil(
            [&] {
                for (HWND hWnd : DialogsOfThread(m_nThreadId)) {
                    if (WindowText(hWnd) == "关于 Velkaron") hAbout = hWnd;
                }
                return hAbout != nullptr;
            },
            20000);
        return hAbout;
    }
    static void CloseAboutBox(HWND hAbout) {
        ::PostMessageA(hAbout, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(hAbout); }, 20000));
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

    HWND hAbout = OpenAboutBox(hDialog);
    ASSERT_NE(hAbout, nullptr);
    EXPECT_EQ(::GetWindow(hAbout, GW_OWNER), hDialog);
    EXPECT_FALSE(::IsWindowEnabled(hDialog)) << "the about box is modal";
    CloseAboutBox(hAbout);
    EXPECT_TRUE(::IsWindowEnabled(hDialog));

    ::PostMessageA(hDialog, WM_COMMAND, IDCANCEL, 0);
    m_ui.join();
    EXPECT_EQ(m_nResult, IDCANCEL);
}

RECT WindowRect(HWND hWnd) {
    RECT rect = {};
    ::GetWindowRect(hWnd, &rect);
    return rect;
}

// Centred on `area` to the pixel, give or take the rounding of an odd difference.
void ExpectCentredOn(HWND hWnd, const RECT& area) {
    RECT rect = WindowRect(hWnd);
    EXPECT_NEAR(rect.left - area.left, area.right - rect.right, 1);
    EXPECT_NEAR(rect.top - area.top, area.bottom - rect.bottom, 1);
}

TEST_F(MainDialogInProcess, OpensCentredOnTheWorkAreaWithTheAboutBoxCentredOverItAndWithinTheWorkArea) {
    HWND hDialog = WaitForDialog();
    ASSERT_NE(hDialog, nullptr);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    ASSERT_TRUE(::GetMonitorInfoA(::MonitorFromWindow(hDialog, MONITOR_DEFAULTTONEAREST), &monitor));
    const RECT work = monitor.rcWork;
    ExpectCentredOn(hDialog, work);

    HWND hAbout = OpenAboutBox(hDialog);
    ASSERT_NE(hAbout, nullptr);
    ExpectCentredOn(hAbout, WindowRect(hDialog));
    CloseAboutBox(hAbout);

    // Over a main dialog pushed past the bottom right corner, the about box stops at it.
    ::SetWindowPos(hDialog, nullptr, work.right - 100, work.bottom - 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    hAbout = OpenAboutBox(hDialog);
    ASSERT_NE(hAbout, nullptr);
    RECT about = WindowRect(hAbout);
    EXPECT_EQ(about.right, work.right);
    EXPECT_EQ(about.bottom, work.bottom);
    CloseAboutBox(hAbout);
}

}  // namespace
