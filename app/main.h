// The program's main window.
#pragma once
#include <windows.h>

#include "app/ProgramVersion.h"

namespace app {

// Read by the entry function before the window is created.
extern TProgramVersion ProgramVersion;

class TMainForm {
public:
    TMainForm();
    ~TMainForm();
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // Creates the window and shows it; false when the system refuses it.
    bool Show(int showCommand);
    HWND Handle() const { return FHandle; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    HWND FHandle = nullptr;
};

}  // namespace app
