// The application object: runs the main dialog modally; the program ends when it closes.
#pragma once

class CVelkaronApp {
public:
    CVelkaronApp();
    virtual ~CVelkaronApp();
    CVelkaronApp(const CVelkaronApp&) = delete;
    CVelkaronApp& operator=(const CVelkaronApp&) = delete;

    // Runs the main dialog until it closes. Always false: there is no message loop
    // of the application's own to enter afterwards.
    virtual bool InitInstance();
};

extern CVelkaronApp theApp;
