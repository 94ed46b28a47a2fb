// Poses the program for its screenshot: starts the Velkaron.exe found in FOLDER,
// packs FOLDER\example into FOLDER\example.dat, writes the dialog's screen
// rectangle ("x y width height") to READY, waits for DONE to appear, then exits
// the program with its Exit button.
//   velkaron_shot.exe FOLDER READY DONE
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/resource.h"
#include "platform/FileSystem.h"
#include "tests/gui/GuiDriver.h"

namespace {

int Fail(const char* what) {
    std::fprintf(stderr, "velkaron_shot: %s\n", what);
    return 1;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return Fail("usage: velkaron_shot.exe FOLDER READY DONE");
    std::string strDir = argv[1];
    if (strDir.back() != '\\') strDir += '\\';

    CVelkaronProcess app;
    if (!app.Start(strDir + "Velkaron.exe")) return Fail("the main dialog did not come up");
    app.SetText(IDC_SOURCE_PATH, strDir + "example");
    app.SetText(IDC_PACKET_PATH, strDir + "example.dat");
    app.Click(IDC_PACK);
    if (!WaitUntil([&] { return EndsWith(app.Text(IDC_LOG), "打包完成!"); }, 60000))
        return Fail("the job did not finish");
    // The status line shows the final counts from the next tick on.
    ::Sleep(1500);
    ::SetForegroundWindow(app.Dialog());
    ::Sleep(300);

    RECT rect;
    ::GetWindowRect(app.Dialog(), &rect);
    FILE* pReady = std::fopen(argv[2], "w");
    if (pReady == nullptr) return Fail("cannot write the ready file");
    std::fprintf(pReady, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    std::fclose(pReady);

    if (!WaitUntil([&] { return PathExists(argv[3]); }, 120000)) return Fail("no screenshot was taken");
    app.Click(IDCANCEL);
    return app.WaitForExit(20000) ? 0 : Fail("the program did not exit");
}
