// The internal-error hook: the developers' bug report of an exception in the
// crash reporter's own code, with its call stack and address texts.
#include <cstdio>
#include <memory>

#include "crash/engine/EConsts.h"
#include "crash/engine/ECore.h"
#include "crash/engine/EDebugData.h"
#include "crash/engine/errors/ErrorsInternal.h"
#include "crash/engine/errors/InternalErrors.h"
#include "crash/engine/objects/ObjectsAndWindows.h"
#include "crash/engine/stack/CallStack.h"
#include "crash/engine/system/SystemInfo.h"
#include "rtl/CheckedMemory.h"
#include "rtl/ExceptHooks.h"
#include "rtl/Streams.h"

namespace crash {
namespace {

using errors::Hex8;

// Frames in the library's own units keep their details while the report is
// made; the setting the hook found comes back however it ends.
class TShowUnitsScope {
public:
    TShowUnitsScope() noexcept : FSaved(ShowVexlorLogUnits.exchange(true)) {}
    ~TShowUnitsScope() { ShowVexlorLogUnits.store(FSaved); }
    TShowUnitsScope(const TShowUnitsScope&) = delete;
    TShowUnitsScope& operator=(const TShowUnitsScope&) = delete;

private:
    bool FSaved;
};

std::string FileNamePart(const TVexlorModuleInfo* module)
{
    return module ? ExtractFileName(module->Name) : std::string();
}

std::uint32_t HandleOf(const TVexlorModuleInfo* module) noexcept
{
    return module ? module->Handle : 0;
}

std::string StackLine(int index, const TVexlorDebugInfo& item)
{
    char head[48];
    std::snprintf(head, sizeof head, "%02X $%08X - [%08X] ", static_cast<unsigned>(index),
                  static_cast<unsigned>(item.Addr), static_cast<unsigned>(HandleOf(item.ModuleInfo)));
    std::string line = head + FileNamePart(item.ModuleInfo) + " ";
    if (item.Line != 0)
        line += "- " + item.UnitName.Str() + " - " + item.ClassName.Str() + " - " + item.ProcedureName.Str() + " - " +
                std::to_string(item.Line) + "[" + std::to_string(item.ProcOffsetLine) + "]";
    return line + "\r\n";
}

// "$E8 $12 ... " of the 32 bytes at the address; empty when they cannot be read.
std::string DumpText(std::uintptr_t address)
{
    std::uint8_t bytes[32];
    if (!rtl::ReadMemory(reinterpret_cast<const void*>(address), bytes, sizeof bytes)) return {};
    std::string text;
    char piece[8];
    for (const std::uint8_t b : bytes) {
        std::snprintf(piece, sizeof piece, "$%02X ", b);
        text += piece;
    }
    return text;
}

// Written as a list of lines: each line ends with CR LF, whatever ended it
// in the text.
void SaveLines(const std::string& text, const std::string& fileName)
{
    std::string out;
    out.reserve(text.size() + 2);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find_first_of("\r\n", at);
        out.append(text, at, end == std::string::npos ? std::string::npos : end - at);
        out += "\r\n";
        if (end == std::string::npos) break;
        at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    rtl::TFileStream file(fileName, rtl::fmCreate);
    file.WriteBuffer(out.data(), out.size());
}

}  // namespace

std::string RADText()
{
    return "GNU C++ " __VERSION__;
}

std::string AddressText(std::uintptr_t address)
{
    TVexlorDebugInfo item;
    DebugInfoResolver.load()(address, ::GetCurrentThreadId(), item, true, true);
    char head[40];
    std::snprintf(head, sizeof head, "$%08X - [%08X] ", static_cast<unsigned>(address),
                  static_cast<unsigned>(HandleOf(item.ModuleInfo)));
    return head + FileNamePart(item.ModuleInfo) + " - " + item.UnitName.Str() + " - " + item.ClassName.Str() + " - " +
           item.ProcedureName.Str() + " - " + std::to_string(item.Line) + "[" + std::to_string(item.ProcOffsetLine) +
           "]";
}

__attribute__((noinline)) std::string InternalErrorCallStackText()
{
    const std::uintptr_t top = rtl::CurrentStackTop();
    const std::uintptr_t limit = rtl::CurrentStackLimit();
    auto start = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    if (!IntoIDE) {
        // The stack as the raise left it: the raising frames lie below the
        // handler that called the hook.
        const rtl::TThreadExceptState* state = rtl::CurrentExceptState();
        const std::uintptr_t raised = state ? state->LastRaise.Registers.Esp : 0;
        if (raised >= limit && raised < top) start = raised;
    }
    auto list = std::make_unique<TVexlorStackList>();
    try {
        ScanStackForReturnAddresses(*list, 0, start, top - 1, 0, true, true, -1, -1, kAllDebugDetails);
    } catch (...) {
        list = std::make_unique<TVexlorStackList>();
        ScanStackForReturnAddresses(*list, 0, start, top - 1, 0, true, true, -1, -1, kAllDebugDetails, false);
    }
    std::string text;
    for (int i = 0; i < list->Count(); ++i) {
        if (i > 0) text.append(12, ' ');
        text += StackLine(i, *list->GetItem(i));
    }
    return text;
}

void InternalErrorHook(const std::string& section) noexcept
{
    // What the fallback line can tell when the report fails on the way.
    bool reporting = false, lineWritten = false;
    std::uintptr_t address = 0;
    try {
        const TShowUnitsScope showUnits;
        const errors::TCurrentException current = errors::CurrentException();
        if (current.IsAbort) return;
        if (!IntoIDE && !errors::DebuggerTest.load()()) return;
        reporting = true;
        address = current.Address;
        std::string message = "General internal error.", className;
        if (current.HasMessage) {
            if (current.IsLanguage && address != 0) address -= 5;  // the CALL that raised
            message = current.Message;
            className = current.ClassName;
        }
        std::string lastExcept;
        if (const void* last = InternalErrorSteps.LastReportExceptionObject(); last && IsValidObject(last))
            lastExcept = SafeClassName(last);
        const std::string line =
            "[ERROR] - Section: " + section + " - Address: " + Hex8(address) + " - Message: \"" + message + "\"";
        ::OutputDebugStringA(line.c_str());
        lineWritten = true;

        const std::string text =
            "Version   : " + std::string(VexlorLogVersionText) + "\r\nDate      : " + MailDateText(NowDateTime()) +
            "\r\nOS        : " + WindowsVersionText() + "\r\nRAD       : " + RADText() +
            "\r\nDump      : " + DumpText(address) + "\r\nSection   : " + section + "\r\nLastExcept: " + lastExcept +
            "\r\nAddress   : " + AddressText(address) + "\r\nException : " + className + "\r\nMessage   : " + message +
            "\r\nCall Stack: " + InternalErrorCallStackText();
        std::string fileName = ChangeFileExt(Real_GetMainModuleFileName(), ".log");
        if (!GetWorkingFile(fileName, false, false)) return;
        SaveLines(text, fileName);

        const std::string subject = "VexlorLog " + std::string(VexlorLogVersionText) + " critical bug.";
        if (errors::MessageBoxProc.load()("Error: '" + message +
                                              "'\r\n\r\nThis is an internal VexlorLog bug.\r\n"
                                              "Do you want to send the bug information to VexlorLog author?",
                                          "Probably internal bug", 0x242014) != IDYES)
            return;
        const std::string to(kVexlorLogSupportAddress);
        if (InternalErrorSteps.VexlorLogSendEmail(to, subject, subject, fileName)) return;
        errors::MessageBoxProc.load()("Cannot connect with your email client.\r\nSend manually the \"" + fileName +
                                          "\" file to the " + to +
                                          " email address, after click on OK button to close this box.",
                                      "Information", 0x242030);
    } catch (...) {
        // No memory, a resolver that raises, a report file that cannot be
        // written: the developer still gets the line.
        if (reporting && !lineWritten) {
            char line[512];
            std::snprintf(line, sizeof line, "[ERROR] - Section: %s - Address: %08X - Message: \"%s\"", section.c_str(),
                          static_cast<unsigned>(address), "General internal error.");
            ::OutputDebugStringA(line);
        }
    }
}

}  // namespace crash
