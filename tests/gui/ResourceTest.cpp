// The program's resources as the dialog manager and the version API see them:
// both dialog templates control by control, the about-menu text, the icon images,
// the version block of the real Velkaron.exe and the manifest as the system reads it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/resource.h"
#include "settings/ProgramDir.h"
#include "tests/gui/GuiDriver.h"

namespace {

INT_PTR CALLBACK PassiveDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

struct ExpectedControl {
    int id;
    const char* cls;
    const char* text;  // null: not compared
    RECT units;        // x, y, width, height in dialog units
    DWORD style;       // these bits must be set...
    DWORD styleMask;   // ...out of these
    bool border;       // WS_BORDER, which edit controls turn into a client edge
    bool staticEdge;
};

const DWORD kCommon = WS_CHILD | WS_VISIBLE;

// The child windows in template order.
std::vector<HWND> Children(HWND hDialog) {
    std::vector<HWND> children;
    for (HWND h = ::GetWindow(hDialog, GW_CHILD); h != nullptr; h = ::GetWindow(h, GW_HWNDNEXT)) children.push_back(h);
    return children;
}

void ExpectControls(HWND hDialog, const std::vector<ExpectedControl>& expected) {
    std::vector<HWND> children = Children(hDialog);
    ASSERT_EQ(children.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const ExpectedControl& e = expected[i];
        HWND h = children[i];
        SCOPED_TRACE("control " + std::to_string(i + 1));
        EXPECT_EQ(static_cast<int>(static_cast<short>(::GetDlgCtrlID(h))), e.id);
        char cls[32] = {};
        ::GetClassNameA(h, cls, sizeof(cls));
        EXPECT_EQ(lstrcmpiA(cls, e.cls), 0) << cls;
        if (e.text != nullptr) {
            EXPECT_EQ(WindowText(h), e.text);
        }
        DWORD style = static_cast<DWORD>(::GetWindowLongPtrA(h, GWL_STYLE));
        EXPECT_EQ(style & (e.styleMask | kCommon), e.style | kCommon) << std::hex << style;
        DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrA(h, GWL_EXSTYLE));
        EXPECT_EQ((style & WS_BORDER) != 0 || (exStyle & WS_EX_CLIENTEDGE) != 0, e.border);
        EXPECT_EQ((exStyle & WS_EX_STATICEDGE) != 0, e.staticEdge);

        // Position and size convert from dialog units each on its own.
        RECT want = e.units;
        ::MapDialogRect(hDialog, &want);
        RECT got;
        ::GetWindowRect(h, &got);
        ::MapWindowPoints(nullptr, hDialog, reinterpret_cast<POINT*>(&got), 2);
        EXPECT_EQ(got.left, want.left);
        EXPECT_EQ(got.top, want.top);
        // The icon control sizes itself to the icon.
        if ((e.style & SS_TYPEMASK) != SS_ICON || std::string(e.cls) != "Static") {
            EXPECT_EQ(got.right - got.left, want.right);
            EXPECT_EQ(got.bottom - got.top, want.bottom);
        }
    }
}

void ExpectFont(HWND hDialog) {
    LOGFONTA font = {};
    HFONT hFont = reinterpret_cast<HFONT>(::SendMessageA(hDialog, WM_GETFONT, 0, 0));
    ASSERT_NE(hFont, nullptr);
    ASSERT_NE(::GetObjectA(hFont, sizeof(font), &font), 0);
    EXPECT_STREQ(font.lfFaceName, "宋体");
    HDC hDC = ::GetDC(hDialog);
    EXPECT_EQ(font.lfHeight, -MulDiv(9, ::GetDeviceCaps(hDC, LOGPIXELSY), 72));
    ::ReleaseDC(hDialog, hDC);
}

struct Dialog {
    explicit Dialog(int id)
        : h(::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), nullptr, &PassiveDialogProc, 0)) {}
    ~Dialog() {
        if (h != nullptr) ::DestroyWindow(h);
    }
    HWND h;
};

TEST(DialogTemplates, MainDialogHasItsControlsInTabOrderWithTheirTextsPlacesAndStyles) {
    Dialog dlg(IDD_VELKARON_DIALOG);
    ASSERT_NE(dlg.h, nullptr);
    EXPECT_EQ(WindowText(dlg.h), "Velkaron");
    DWORD style = static_cast<DWORD>(::GetWindowLongPtrA(dlg.h, GWL_STYLE));
    const DWORD frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE;
    EXPECT_EQ(style & (frame | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), frame);
    EXPECT_NE(::GetWindowLongPtrA(dlg.h, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
    ExpectFont(dlg.h);

    const DWORD edit = WS_TABSTOP | ES_AUTOHSCROLL | ES_MULTILINE | ES_READONLY;
    const DWORD button = WS_TABSTOP | BS_TYPEMASK;
    const DWORD label = WS_GROUP | SS_TYPEMASK;
    ExpectControls(dlg.h, {
        {IDC_SOURCE_PATH, "Edit", "", {7, 45, 244, 14}, WS_TABSTOP | ES_AUTOHSCROLL, edit, true, false},
        {IDC_PACKET_PATH, "Edit", "", {7, 75, 244, 14}, WS_TABSTOP | ES_AUTOHSCROLL, edit, true, false},
        {IDC_SELECT_FOLDER, "Button", "选择文件夹", {263, 44, 50, 14}, WS_TABSTOP | BS_PUSHBUTTON, button, false, false},
        {IDC_BROWSE_PACKET, "Button", "浏览...", {263, 74, 50, 14}, WS_TABSTOP | BS_PUSHBUTTON, button, false, false},
        {IDC_PACK, "Button", "打包(&D)", {7, 8, 50, 14}, WS_TABSTOP | BS_DEFPUSHBUTTON, button, false, false},
        {IDCANCEL, "Button", "退出", {263, 7, 50, 14}, WS_TABSTOP | BS_PUSHBUTTON, button, false, false},
        {IDC_STATIC, "Static", "源文件路经:", {7, 33, 45, 8}, WS_GROUP | SS_LEFT, label, false, false},
        {IDC_LOG, "Edit", "", {7, 98, 306, 177},
         WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY,
         edit | WS_VSCROLL | WS_HSCROLL | ES_AUTOVSCROLL, false, true},
        {IDC_STATIC, "Static", "保存路经:", {7, 63, 37, 8}, WS_GROUP | SS_LEFT, label, false, false},
        {IDC_STATUS, "Static", "Status", {7, 280, 153, 11}, WS_GROUP | SS_LEFT, label, false, true},
        {IDC_FOOTER, "Static", nullptr, {161, 280, 152, 11}, WS_GROUP | SS_RIGHT, label, false, true},
        {IDC_INSTRUCTIONS, "Button", "说明(&S)", {146, 7, 50, 14}, WS_TABSTOP | BS_PUSHBUTTON, button, false, false},
    });
    EXPECT_EQ(LOWORD(::SendMessageA(dlg.h, DM_GETDEFID, 0, 0)), IDC_PACK);
}

TEST(DialogTemplates, AboutBoxShowsIconNameVersionAndOkButton) {
    Dialog dlg(IDD_ABOUTBOX);
    ASSERT_NE(dlg.h, nullptr);
    EXPECT_EQ(WindowText(dlg.h), "关于 Velkaron");
    DWORD style = static_cast<DWORD>(::GetWindowLongPtrA(dlg.h, GWL_STYLE));
    const DWORD frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    EXPECT_EQ(style & (frame | WS_VISIBLE), frame);
    ExpectFont(dlg.h);
    ExpectControls(dlg.h, {
        {IDC_STATIC, "Static", nullptr, {11, 17, 20, 20}, SS_ICON, SS_TYPEMASK, false, false},
        {IDC_STATIC, "Static", "Velkaron 1.0 版", {40, 10, 119, 8}, WS_GROUP | SS_LEFT | SS_NOPREFIX,
         WS_GROUP | SS_TYPEMASK | SS_NOPREFIX, false, false},
        {IDC_STATIC, "Static", nullptr, {40, 25, 119, 8}, WS_GROUP | SS_LEFT, WS_GROUP | SS_TYPEMASK, false, false},
        {IDOK, "Button", "确定", {178, 7, 50, 14}, WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON,
         WS_GROUP | WS_TABSTOP | BS_TYPEMASK, false, false},
    });
    EXPECT_NE(::SendMessageA(Children(dlg.h).front(), STM_GETICON, 0, 0), 0) << "the icon was not found";

    // On Windows the box shows in 宋体 9 pt at 96 DPI: 6 pixels a byte (12 a double-byte
    // character) and 1.5 pixels a dialog unit. Each line fits its 119 units with two
    // characters to spare; Wine's wider substitute font cannot show it.
    for (HWND hLine : {Children(dlg.h)[1], Children(dlg.h)[2]}) {
        const std::string text = WindowText(hLine);
        EXPECT_LE(text.size() * 6 + 2 * 12, 119u * 6 / 4) << text;
    }
}

TEST(ProgramResources, AboutMenuTextAndTwoSixteenColourIconImages) {
    char text[128] = {};
    ASSERT_GT(::LoadStringA(::GetModuleHandleA(nullptr), IDS_ABOUTBOX, text, sizeof(text)), 0);
    EXPECT_STREQ(text, "关于 Velkaron(&A)...");

#pragma pack(push, 2)
    struct GroupEntry {
        BYTE width, height, colours, reserved;
        WORD planes, bits;
        DWORD bytes;
        WORD id;
    };
#pragma pack(pop)
    HRSRC hGroup = ::FindResourceA(nullptr, MAKEINTRESOURCEA(IDR_MAINFRAME), MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
    ASSERT_NE(hGroup, nullptr);
    const auto* pHeader = static_cast<const WORD*>(::LockResource(::LoadResource(nullptr, hGroup)));
    ASSERT_EQ(pHeader[2], 2);
    const auto* pEntries = reinterpret_cast<const GroupEntry*>(pHeader + 3);
    std::vector<int> sizes;
    for (int i = 0; i < 2; ++i) {
        sizes.push_back(pEntries[i].width);
        EXPECT_EQ(pEntries[i].height, pEntries[i].width);
        EXPECT_EQ(pEntries[i].colours, 16);
        EXPECT_EQ(pEntries[i].bits, 4);
    }
    EXPECT_EQ(sizes, (std::vector<int>{32, 16}));
}

std::string VersionString(const std::vector<char>& block, const char* name) {
    char* pValue = nullptr;
    UINT nLength = 0;
    std::string query = std::string("\\StringFileInfo\\080404B0\\") + name;
    if (!::VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&pValue), &nLength)) return "<none>";
    return nLength > 0 ? std::string(pValue) : std::string();
}

TEST(ProgramResources, VersionBlockOfTheProgram) {
    std::string program;
    GetProgramDir(program);
    program += "Velkaron.exe";
    DWORD nSize = ::GetFileVersionInfoSizeA(program.c_str(), nullptr);
    ASSERT_GT(nSize, 0u);
    std::vector<char> block(nSize);
    ASSERT_TRUE(::GetFileVersionInfoA(program.c_str(), 0, nSize, block.data()));

    VS_FIXEDFILEINFO* pFixed = nullptr;
    UINT nLength = 0;
    ASSERT_TRUE(::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&pFixed), &nLength));
    EXPECT_EQ(pFixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(pFixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(pFixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(pFixed->dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(pFixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(pFixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(pFixed->dwFileFlags, 0u);

    EXPECT_EQ(VersionString(block, "CompanyName"), "");
    EXPECT_EQ(VersionString(block, "FileDescription"), "Velkaron Microsoft 基础类应用程序");
    EXPECT_EQ(VersionString(block, "FileVersion"), "1, 0, 0, 1");
    EXPECT_EQ(VersionString(block, "InternalName"), "Velkaron");
    EXPECT_EQ(VersionString(block, "LegalTrademarks"), "");
    EXPECT_EQ(VersionString(block, "OriginalFilename"), "Velkaron.EXE");
    EXPECT_EQ(VersionString(block, "ProductName"), "Velkaron 应用程序");
    EXPECT_EQ(VersionString(block, "ProductVersion"), "1, 0, 0, 1");

    WORD* pTranslation = nullptr;
    ASSERT_TRUE(::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&pTranslation),
                                 &nLength));
    ASSERT_EQ(nLength, 4u);
    EXPECT_EQ(pTranslation[0], 0x0804);
    EXPECT_EQ(pTranslation[1], 0x04B0);
}

// The process's activation context, read by the system from the manifest that is
// linked in with the resources: the settings of one name space, or "<none>".
std::wstring ManifestSetting(const wchar_t* pszNamespace, const wchar_t* pszName) {
    using QueryFn = BOOL(WINAPI*)(DWORD, HANDLE, const wchar_t*, const wchar_t*, wchar_t*, SIZE_T, SIZE_T*);
    auto pQuery = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "QueryActCtxSettingsW")));
    wchar_t value[64] = {};
    SIZE_T nWritten = 0;
    if (pQuery == nullptr || !pQuery(0, nullptr, pszNamespace, pszName, value, 64, &nWritten)) return L"<none>";
    return value;
}

TEST(ProgramResources, ManifestAsksForSystemDpiAndLongPaths) {
    EXPECT_EQ(ManifestSetting(L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware"), L"true");
    EXPECT_EQ(ManifestSetting(L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"longPathAware"), L"true");
}

}  // namespace
