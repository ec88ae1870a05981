// Careful tools for a damaged process: object and class tests that never
// fault, copies of exception objects, the address-space reserve a report
// starts with, the process's main window and its other windows, the
// clipboard, a restart of the program, and event redirection by name.
//
// A class is its C++ type information (std::type_info); the tests are the
// runtime's (rtl/System.h), under the names the crash reporter uses. Every
// test answers false, empty or null for memory it cannot read. Unless a
// declaration says otherwise the routines run in the report zone (they may
// allocate) on any thread, take no lock and raise nothing but a failed
// allocation.
#pragma once
#include <windows.h>

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "rtl/Classes.h"
#include "rtl/SysUtils.h"

namespace crash {

// ---- Objects and classes ------------------------------------------------------

// Whether classType is sane type information of a class (readable, printable name).
// No allocation.
inline bool IsValidClass(const std::type_info* classType) noexcept
{
    return rtl::IsValidClassType(classType);
}

// A live polymorphic object; a TObject of more than 1024 bytes must be readable
// to its end. No allocation.
using rtl::IsValidObject;
// The class name of a valid object, else empty.
using rtl::SafeClassName;
// The object's class or a parent has the name (blanks around it ignored,
// letters compared without case); false for an object that is not valid.
using rtl::IsObjectOfClassName;

// IsObjectOfClassName with the class's name, so that the same class compiled
// into another module is recognised too.
bool IsObjectOfClass(const void* object, const std::type_info& classType);
// IsObjectOfClass for any of the classes (null entries are skipped).
bool IsObjectOfAnyClass(const void* object, std::initializer_list<const std::type_info*> classes);

// A valid object of no class named "EAbort": one a report is made for.
bool IsReportableObject(const void* object);
// Not of a class named "EExternal": raised by the program rather than made
// from a fault of the system.
bool IsLanguageException(const void* object);

// A copy of the object that lives on after the application has freed the
// original: a report sent from a thread of its own reads the copy. The copy
// is the class's own (Clone: strings and owned members copied, not shared),
// so it is freed with delete. Null for null, for a pointer that is no valid
// TObject, and for a class that cannot be copied (no RTL_CLASS of its own).
std::unique_ptr<rtl::TObject> CopyObjectInstance(const void* object);

// Frees the copy (CopyObjectInstance) a record holds as its exception object
// and sets the field to null. Any record with an ExceptionObject pointer field.
template <class TRecord>
void FreeCopiedExceptionObject(TRecord& record)
{
    delete static_cast<rtl::TObject*>(record.ExceptionObject);
    record.ExceptionObject = nullptr;
}

// ---- An error of a COM call ------------------------------------------------------

// An error reported by a COM (safecall) call that names its kind by a type
// text instead of a class: the report shows ExceptionType() as the class, and
// exception filters match against it.
class TActiveXException : public rtl::Exception {
public:
    RTL_CLASS(TActiveXException)
    // exceptionType holds the type and its parents, one per line (CR, LF or
    // CR LF); the first line is the type, empty when there is none.
    TActiveXException(const std::string& exceptionType, std::string message);

    const std::string& ExceptionType() const noexcept { return FExceptionType; }
    const std::vector<std::string>& Parents() const noexcept { return FParents; }

private:
    std::string FExceptionType;
    std::vector<std::string> FParents;
};

// ---- The emergency reserve ---------------------------------------------------------
// 5 MB of reserved, inaccessible address space, given back when a report
// starts so that the report finds room even when memory is exhausted, and
// taken again when the report is over. Safe in hooks: no heap, no lock.

inline constexpr std::size_t kEmergencyReserveSize = 0x500000;

// Reserves the region unless it is reserved already.
void ReserveEmergencyAddressSpace() noexcept;
// Releases the region, if reserved.
void ReleaseEmergencyAddressSpace() noexcept;
// The reserved region, or null.
void* EmergencyAddressSpace() noexcept;

// ---- Windows of a process --------------------------------------------------------
// The searches send no message to a window, so none of them waits on the
// thread that owns it, however busy or hung that thread is.

// The window, or 0 for the desktop window: with nothing in the foreground
// the system may answer the desktop (class "#32769"), which is no window the
// user worked in.
HWND UserWindowOrNone(HWND window) noexcept;

// The first top-level window of the process (Z order) that is visible, has a
// positive width and height, is not owned by an ordinary window (an owner that
// is a tool window counts as its own owner; a "TApplication" window is no
// owner), and is no tool window unless it asks for a taskbar button; else 0.
HWND FindProcessMainWindow(DWORD processId);

// Whether a top-level window of the process has the class "TAppBuilder"; false
// for process 0.
bool IsIDEProcess(DWORD processId);

// The union of the process's visible top-level windows of positive width;
// (-1, -1, -1, -1) when there is none.
void GetProcessWindowsRect(DWORD processId, RECT& rect);

// Main thread only. SnapshotProcessWindows lists the own process's top-level
// windows (the list cleared first); IsNewWindow tells a window that is not in
// that list.
void SnapshotProcessWindows();
bool IsOwnProcessWindow(HWND window);
bool IsNewWindow(HWND window);

// Removes one message from the calling thread's queue and dispatches it. A
// quit message is not dispatched but put back, so that the thread's message
// loop still ends on it. Exceptions are swallowed.
void ProcessOneMessage() noexcept;

// When the process's main window is minimised: restores it and brings it to
// the foreground. Asynchronous (posted and ShowWindowAsync), so it may be
// called from any thread without waiting for the window's own.
void RestoreMainWindow();

// ---- Clipboard and restart ----------------------------------------------------------

// Puts the 8-bit text on the clipboard as CF_TEXT; an empty text changes
// nothing. Failures are not reported.
void CopyTextToClipboard(const std::string& text);

// Records the current folder as the folder of the program's start (start-up
// calls it first thing); StartFolder answers it, empty before.
void RecordStartFolder();
std::string StartFolder();

// With restart: starts the program again with the own command line and
// start-up information, in the start folder (the current folder when none
// was recorded). Then, whether that worked or not, the process ends with
// exit code 1 at once.
[[noreturn]] void RestartApplication(bool restart);

// ---- Events by name ------------------------------------------------------------------

// Sets the code of a component's event (rtl::TComponent::EventProperty) to
// newCode, keeping its data pointer, when the event exists and its code
// differs; true with oldCode holding the code before. Else false and oldCode
// null. Main thread.
bool ReplaceMethodProperty(rtl::TObject* object, std::string_view propertyName, void* newCode, void*& oldCode);

}  // namespace crash
