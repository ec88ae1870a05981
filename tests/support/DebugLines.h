// The debugger-output lines a test's code writes: OutputDebugStringA raises
// DBG_PRINTEXCEPTION_C first, which a vectored handler sees before the system.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

// Collects the lines written while it lives (the list is emptied when it is made).
class DebugLines {
public:
    DebugLines()
    {
        Lines().clear();
        FHandler = AddVectoredExceptionHandler(1, &Catch);
    }
    ~DebugLines() { RemoveVectoredExceptionHandler(FHandler); }
    DebugLines(const DebugLines&) = delete;
    DebugLines& operator=(const DebugLines&) = delete;

    static std::vector<std::string>& Lines()
    {
        static std::vector<std::string> lines;
        return lines;
    }
    // The warnings whose line holds part.
    static int Count(std::string_view part)
    {
        int n = 0;
        for (const std::string& line : Lines())
            if (line.starts_with("[WARNING]") && line.find(part) != std::string::npos) ++n;
        return n;
    }

private:
    static LONG CALLBACK Catch(EXCEPTION_POINTERS* info)
    {
        const EXCEPTION_RECORD& record = *info->ExceptionRecord;
        if (record.ExceptionCode == DBG_PRINTEXCEPTION_C && record.NumberParameters >= 2)
            Lines().emplace_back(reinterpret_cast<const char*>(record.ExceptionInformation[1]));
        return EXCEPTION_CONTINUE_SEARCH;
    }
    void* FHandler;
};

}  // namespace testsupport
