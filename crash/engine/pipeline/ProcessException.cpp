// The core of a report run: ProcessException's stages, from the options of
// the module that raised to the after-report steps.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "crash/engine/ECore.h"
#include "crash/engine/system/SystemInfo.h"
#include "crash/engine/EHash.h"
#include "crash/engine/capture/Capture.h"
#include "crash/engine/errors/InternalErrors.h"
#include "crash/engine/events/ExceptionEvents.h"
#include "crash/engine/modules/ModuleLists.h"
#include "crash/engine/objects/ObjectsAndWindows.h"
#include "crash/engine/pipeline/PipelineInternal.h"
#include "crash/engine/stack/CallStack.h"
#include "crash/engine/stack/StackInternal.h"
#include "crash/engine/threads/ThreadRegistry.h"
#include "rtl/CheckedMemory.h"

namespace crash::pipeline {
namespace {

// The report's call stack, kept until the report ends (or the send thread
// has used it).
std::unique_ptr<TVexlorStackList> gCallStack;

const TVexlorModuleOptions* OptionsOfModule(HMODULE module)
{
    if (module == nullptr) return nullptr;
    const TVexlorModuleInfo* info = ModuleInfoByHandle(module);
    return info != nullptr ? info->ExtraInformation.Options.get() : nullptr;
}

// The options of the module that raised: the module holding the address,
// else the module whose hook caught it, else the other of this module and
// the main module; with boUseMainModuleOptions that other one wins.
void ChooseOptions(TPipelineState& state, void* addr, HMODULE moduleHandle)
{
    const HMODULE own = LibraryModuleHandle();
    const HMODULE main = ::GetModuleHandleW(nullptr);
    HMODULE chosen = nullptr;
    const TVexlorModuleOptions* options = nullptr;
    if (state.CallFromCOMObject) {
        chosen = main;
        options = OptionsOfModule(main);
    } else {
        state.Stage = 101;
        chosen = addr != nullptr ? ModuleHandleByAddr(addr) : nullptr;
        options = OptionsOfModule(chosen);
        if (options == nullptr) {
            state.Stage = 102;
            chosen = moduleHandle;
            options = OptionsOfModule(chosen);
        }
        const HMODULE other = moduleHandle == own ? main : own;
        if (options == nullptr) {
            state.Stage = 103;
            chosen = other;
            options = OptionsOfModule(chosen);
        }
        if (options != nullptr && options->BehaviourOptions().Contains(boUseMainModuleOptions)) {
            if (const TVexlorModuleOptions* otherOptions = OptionsOfModule(other)) {
                chosen = other;
                options = otherOptions;
            }
        }
    }
    if (options != nullptr) state.Options->Assign(options);
    state.Options->SetModuleName(GetModuleFullFileName(chosen));
    state.Options->SetModuleHandle(chosen);
}

TExceptionDialogType DialogKindOfFilter(TFilterDialogType type, TExceptionDialogType unchanged)
{
    switch (type) {
    case fdtNone: return edtNone;
    case fdtUnchanged: return unchanged;
    case fdtMessageBox: return edtMessageBox;
    case fdtMSClassic: return edtMSClassic;
    case fdtVexlorLog: return edtVexlorLog;
    }
    return unchanged;
}

std::string HexIdentifier(std::uint16_t crc)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", crc);
    return text;
}

// The identifier's text: the three header texts, then the source frames of
// the exception thread.
std::string IdentifierText(TReportContext& context, const TVexlorStackList* stack)
{
    std::string text = ReportSteps.ApplicationNameText ? ReportSteps.ApplicationNameText(context)
                                                       : DefaultApplicationNameText(context);
    text += ReportSteps.ExceptionModuleText ? ReportSteps.ExceptionModuleText(context)
                                            : DefaultExceptionModuleText(context);
    text +=
        ReportSteps.ExceptionClassText ? ReportSteps.ExceptionClassText(context) : DefaultExceptionClassText(context);
    if (stack != nullptr && stack->Count() > 0) {
        const std::uint32_t thread = stack->Items(0)->ThreadID;
        for (int i = 0; i < stack->Count(); ++i) {
            const TVexlorDebugInfo* item = stack->Items(i);
            if (item->DebugDetail != ddSourceCode || item->ThreadID != thread) continue;
            text += item->UnitName.View();
            text += item->ClassName.View();
            text += item->ProcedureName.View();
            text += std::to_string(item->ProcOffsetLine);
        }
    }
    return text;
}

bool IsRuntimeThread(const TVexlorThreadInfo& item) noexcept
{
    return item.ID == rtl::MainThreadID() || item.Thread != nullptr;
}

bool IsThreadShownInCallStack(const TVexlorThreadInfo& item, const TVexlorModuleOptions& options) noexcept
{
    return IsRuntimeThread(item) ? options.CallStackOptions().Contains(csoShowBorlandThreads)
                                 : options.CallStackOptions().Contains(csoShowWindowsThreads);
}

bool IsThreadToPause(const TVexlorThreadInfo& item, const TVexlorModuleOptions& options) noexcept
{
    const TBehaviourOptions behaviour = options.BehaviourOptions();
    if (!IsRuntimeThread(item)) return behaviour.Contains(boPauseWindowsThreads);
    if (item.ID == rtl::MainThreadID() && behaviour.Contains(boDoNotPauseMainThread)) return false;
    return behaviour.Contains(boPauseBorlandThreads);
}

void AppendCreatorStack(TVexlorStackList& list, const TVexlorThreadInfo& item, const TVexlorModuleOptions& options)
{
    if (item.CallerStackDump == nullptr || item.CallerStackSize == 0) return;
    const auto start = reinterpret_cast<std::uintptr_t>(item.CallerStackDump);
    stack::ScanStackRange(list, 0, {start, start + item.CallerStackSize - 1, start}, item.CallerID, false, true, -1, -1,
                          GetShownDebugDetails(options), true);
}

// Stage 10's work: the other threads' stacks. Every buffer is made before any
// thread is suspended (a thread suspended inside the heap's lock would hang
// the report); the copies are scanned once all threads run again.
void AppendOtherThreads(TVexlorThreadsList& snapshot, DWORD exceptionThread, TVexlorStackList& list,
                        const TVexlorModuleOptions& options)
{
    struct TCopy {
        DWORD ID = 0;
        std::uint32_t Eip = 0;
        std::uint32_t Esp = 0;
        std::uint32_t Size = 0;
        std::unique_ptr<std::uint8_t[]> Bytes;
        const TVexlorThreadInfo* Item = nullptr;
    };
    std::vector<TCopy> copies;
    for (int i = 0; i < snapshot.Count(); ++i) {
        const TVexlorThreadInfo* item = snapshot.GetItem(i);
        if (item->ID == exceptionThread || item->ID == ::GetCurrentThreadId()) continue;
        if (!IsThreadShownInCallStack(*item, options) || item->TopOfStack == 0) continue;
        TCopy copy;
        copy.ID = item->ID;
        copy.Item = item;
        copy.Bytes.reset(new std::uint8_t[kMaxStackScan]);
        copies.push_back(std::move(copy));
    }
    if (copies.empty()) return;
    TVexlorThreadsList* registry = ThreadsList();
    if (registry != nullptr) registry->BeginWrite();
    for (TCopy& copy : copies) {
        const HANDLE handle = copy.Item->Handle;
        if (::SuspendThread(handle) == static_cast<DWORD>(-1)) continue;
        CONTEXT context{};
        context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
        if (::GetThreadContext(handle, &context) && context.Eip != 0 && context.Esp != 0 &&
            context.Esp < copy.Item->TopOfStack) {
            const std::uint32_t size = std::min<std::uint32_t>(copy.Item->TopOfStack - context.Esp, kMaxStackScan);
            if (rtl::ReadMemory(reinterpret_cast<const void*>(context.Esp), copy.Bytes.get(), size)) {
                copy.Eip = context.Eip;
                copy.Esp = context.Esp;
                copy.Size = size;
            }
        }
        ::ResumeThread(handle);
    }
    if (registry != nullptr) registry->EndWrite();
    const TVexlorDebugDetails details = GetShownDebugDetails(options);
    for (TCopy& copy : copies) {
        if (copy.Size == 0) continue;
        // The function the thread is executing: its EIP, with no line
        // claimed for it; the scan from the stack pointer cannot find it.
        TVexlorDebugInfo first;
        GetDebugInfoByAddr(copy.Eip, copy.ID, first, false, true);
        if (details.Contains(first.DebugDetail)) {
            first.Line = 0;
            const int index = list.AddFrom(first);
            list.Items(index)->ThreadID = copy.ID;
            list.Items(index)->RunningThread = true;
        }
        const auto start = reinterpret_cast<std::uintptr_t>(copy.Bytes.get());
        stack::ScanStackRange(list, 0, {start, start + copy.Size - 1, copy.Esp}, copy.ID, true, true, -1, -1, details,
                              true);
        AppendCreatorStack(list, *copy.Item, options);
    }
}

// The threads a report pauses, resumed on every way out.
class TPausedThreads {
public:
    ~TPausedThreads() { Resume(); }
    void Pause(TVexlorThreadsList& snapshot, DWORD exceptionThread, const TVexlorModuleOptions& options)
    {
        TVexlorThreadsList* registry = ThreadsList();
        for (int i = 0; i < snapshot.Count(); ++i) {
            const TVexlorThreadInfo* item = snapshot.GetItem(i);
            if (item->ID == exceptionThread || item->ID == ::GetCurrentThreadId()) continue;
            if (!IsThreadToPause(*item, options)) continue;
            FHandles.reserve(FHandles.size() + 1);
            if (registry != nullptr) registry->BeginWrite();
            const bool paused = ::SuspendThread(item->Handle) != static_cast<DWORD>(-1);
            if (registry != nullptr) registry->EndWrite();
            if (paused) FHandles.push_back(item->Handle);
        }
    }
    void Resume() noexcept
    {
        for (HANDLE handle : FHandles) ::ResumeThread(handle);
        FHandles.clear();
    }

private:
    std::vector<HANDLE> FHandles;
};

void RunOnMainThread(const TMainThreadProc& proc)
{
    CallInMainThread(proc);
}

void SetEnvironment(const char* name, const std::string& value)
{
    ::SetEnvironmentVariableA(name, value.c_str());
}

std::string FileNameOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

// ---- Small steps ----

bool IsConsoleProgramImage() noexcept
{
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(::GetModuleHandleW(nullptr));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const char*>(dos) + dos->e_lfanew);
    return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI;
}

bool ShouldSendReport()
{
    const TPipelineState& state = PipelineState();
    const TVexlorModuleOptions& options = *state.Options;
    const bool sendMode = options.EMailSendMode() != esmNoSend || options.WebSendMode() != wsmNoSend;
    return sendMode && !state.Duplicate && (state.SendChosen || options.ExceptionDialogType() == edtNone);
}

bool WillShowReport(const TExceptNotifyParams&, TRaiserType raiserType)
{
    const TPipelineState& state = PipelineState();
    const TVexlorModuleOptions& options = *state.Options;
    const bool gui =
        !(ReportSteps.IsConsoleApplication ? ReportSteps.IsConsoleApplication() : IsConsoleProgramImage()) &&
        !ReportSteps.IsWebApplication();
    if (!(raiserType == rtLocal || (raiserType == rtUnknown && gui))) return false;
    const bool sendMode = options.EMailSendMode() != esmNoSend || options.WebSendMode() != wsmNoSend;
    const bool sendShows = sendMode && (options.CommonSendOptions().Contains(sndShowSendDialog) ||
                                        options.CommonSendOptions().Contains(sndSendScreenshot));
    return sendShows || state.DialogKind != edtNone;
}

int ReportOutputKind(TRaiserType raiserType)
{
    if (raiserType == rtWeb || ReportSteps.IsWebApplication()) return 2;
    const bool console =
        ReportSteps.IsConsoleApplication ? ReportSteps.IsConsoleApplication() : IsConsoleProgramImage();
    return console ? 1 : 0;
}

bool WriteConsoleReport(const TReportContext& context, const std::string& reportText) noexcept
{
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE) return false;
    try {
        const std::string line = context.TopText + reportText + "\r\n";
        DWORD written = 0;
        return ::WriteFile(output, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
               written == line.size();
    } catch (...) {
        return false;
    }
}

void SetReportEnvironmentFor(TReportContext& context)
{
    TPipelineState& state = PipelineState();
    const HMODULE main = ::GetModuleHandleW(nullptr);
    if (const TVexlorModuleInfo* module = ModuleInfoByHandle(main)) {
        SetEnvironment("_MainModuleName", FileNameOf(module->Name));
        SetEnvironment("_MainModuleDesc", module->Description);
        SetEnvironment("_MainModuleVer", module->Version);
    }
    if (const TVexlorModuleInfo* module = ModuleInfoByAddr(context.ExceptionAddress)) {
        SetEnvironment("_ExceptModuleName", FileNameOf(module->Name));
        SetEnvironment("_ExceptModuleDesc", module->Description);
        SetEnvironment("_ExceptModuleVer", module->Version);
    }
    SetEnvironment("_ExceptMsg", ReportSteps.ExceptionMessageText ? ReportSteps.ExceptionMessageText(context)
                                                                  : DefaultExceptionMessageText(context));
    SetEnvironment("_BugReport", state.ReportText);
    SetEnvironment("_LineBreak", "\r\n");
}

// ---- The core ----

bool ProcessException(void* obj, void* addr, bool nativeException, TAsynchronousException asynchronousException,
                      HMODULE moduleHandle, TRaiserType raiserType, TExceptNotifyParams& params,
                      const std::string& foreignClassName)
{
    TPipelineState& state = PipelineState();
    TThreadRaiseState* raising = RaisingThreadState();
    TThreadRaiseState* self = ThreadRaiseState();
    bool result = false;
    state.Stage = 1;
    std::unique_ptr<TVexlorThreadsList> snapshot;
    TPausedThreads paused;
    TReportContext context;
    state.Context = &context;
    try {
        ::GetLocalTime(&state.ExceptionTime);
        if (self != nullptr) self->InProcessException = true;
        if (TVexlorThreadsList* registry = ThreadsList()) snapshot = std::make_unique<TVexlorThreadsList>(registry);
        // The address of a raise of the language is the return address of
        // the raising call.
        if (nativeException && addr != nullptr) addr = static_cast<char*>(addr) - 5;
        state.Record = TVexlorExceptionRecord{};
        state.Record.ExceptionObject = obj;
        state.Record.ExceptionAddress = addr;
        state.Record.ExceptionThreadID = params.ThreadID;
        state.ExceptionThreadID = params.ThreadID;
        ChooseOptions(state, addr, moduleHandle);
        TVexlorModuleOptions& options = *state.Options;

        state.Stage = 104;
        options.SetReproduceText(std::string());

        state.Stage = 2;
        ReportSteps.SetCustomErrorMessage(std::string());
        TFilterHandlerType handler = fhtVexlorLog;
        TFilterActionType action = fatNone;
        state.DialogKind = options.ExceptionDialogType();
        state.FilterMatched = false;
        if (asynchronousException != aeSynchronize && options.ActivateHandle() && ReportSteps.FindExceptionFilter) {
            const int index = ReportSteps.FindExceptionFilter(obj, params.Handled);
            state.Stage = 201;
            if (index >= 0 && index < options.ExceptionsFilters().Count()) {
                const TVexlorExceptionFilter& filter = *options.ExceptionsFilters().Items(index);
                action = filter.ActionType;
                handler = filter.HandlerType;
                state.DialogKind = DialogKindOfFilter(filter.DialogType, options.ExceptionDialogType());
                state.FilterMatched = true;
                if (!filter.ExceptionMessage.empty())
                    ReportSteps.SetCustomErrorMessage(ExpandEnvVars(filter.ExceptionMessage));
            }
        }

        state.Stage = 3;
        bool mustSend = ShouldSendReport();
        if (handler == fhtNone) {
            result = false;
        } else if (handler == fhtRTL) {
            result = true;
        } else {
            // Defaults from the raising thread's state.
            const std::uint32_t topOfStack = params.TopOfStack;
            const std::uint32_t stackPoint = params.StackPoint;
            CONTEXT* cpu = params.Context;
            if (cpu == nullptr && raising != nullptr && raising->Context.ContextFlags != 0) cpu = &raising->Context;
            if (cpu != nullptr && !rtl::IsReadableMemory(cpu, kContextCopySize)) cpu = nullptr;
            EXCEPTION_RECORD* record = params.ExceptionRecord;
            if (record == nullptr && raising != nullptr && raising->ExceptionRecord.ExceptionCode != 0)
                record = &raising->ExceptionRecord;
            if (record != nullptr && !rtl::IsReadableMemory(record, kExceptionRecordSize)) record = nullptr;
            // Copied now: the raising thread's state may change once it runs
            // the call slot's procedures.
            CONTEXT cpuCopy{};
            EXCEPTION_RECORD recordCopy{};
            if (cpu != nullptr) {
                CopyContextInto(cpuCopy, *cpu);
                cpu = &cpuCopy;
            }
            if (record != nullptr) {
                recordCopy = *record;
                record = &recordCopy;
            }
            context.ExceptionObject = obj;
            context.ExceptionAddress = addr;
            context.ExceptionClassName = foreignClassName.empty() ? rtl::SafeClassName(obj) : foreignClassName;
            context.StackPoint = stackPoint;
            context.Context = cpu;
            context.ActiveControlClass = params.ActiveControlClass;
            context.ActiveControlText = params.ActiveControlText;
            context.NativeException = nativeException;
            context.AsynchronousException = asynchronousException;
            context.RaiserType = raiserType;
            context.ModuleHandle = moduleHandle;
            context.Params = &params;
            const DWORD exceptionThread = params.ThreadID;

            state.Stage = 4;
            gCallStack.reset();
            if (std::unique_ptr<TVexlorStackList> synchronized =
                    raising != nullptr && raising->SynchronizedObject == obj ? TakeSynchronizedCallStack(obj)
                                                                             : nullptr) {
                // Built by the main thread where the synchronised call raised.
                gCallStack = std::move(synchronized);
                raising->SynchronizedObject = nullptr;
            } else if (params.CallStack != nullptr) {
                gCallStack = std::make_unique<TVexlorStackList>();
                for (int i = 0; i < params.CallStack->Count(); ++i) {
                    const int index = gCallStack->AddFrom(*params.CallStack->Items(i));
                    gCallStack->Items(index)->ThreadID = params.CallStack->Items(i)->ThreadID;
                }
            } else {
                // The raise's own snapshot when it is this thread's and this
                // raise's; else the raising thread's stack, which is intact
                // while it waits inside the hook.
                gCallStack = OwnedSnapshotCallStack(exceptionThread, obj);
                if (!gCallStack && stackPoint != 0 && topOfStack > stackPoint)
                    gCallStack =
                        GetCallStackByAddresses(reinterpret_cast<std::uintptr_t>(addr), stackPoint, topOfStack - 1,
                                                exceptionThread, false, true, -1, -1, kAllDebugDetails);
                if (!gCallStack) gCallStack = std::make_unique<TVexlorStackList>();
            }

            // The identifier.
            {
                state.ExceptionIdentifierText = IdentifierText(context, gCallStack.get());
                state.ExceptionIdentifier = HexIdentifier(GetCRC16(state.ExceptionIdentifierText));
            }

            if (asynchronousException != aeSynchronize && snapshot) {
                const int own = snapshot->FindByThreadID(exceptionThread);
                if (own >= 0) AppendCreatorStack(*gCallStack, *snapshot->GetItem(own), options);
                AppendOtherThreads(*snapshot, exceptionThread, *gCallStack, options);
            }

            if (asynchronousException != aeSynchronize) {
                state.Stage = 5;
                if (snapshot) paused.Pause(*snapshot, exceptionThread, options);

                state.Stage = 6;
                state.ContinueFlag = true;
                if (options.LogOptions().Contains(loSaveModulesAndProcessesSections)) {
                    RefreshModulesList();
                    RefreshProcessesList();
                }
                state.Stage = 7;
                state.Record.CallStack = gCallStack.get();
                state.Record.CurrentModuleOptions = state.Options.get();
                state.Record.Win32ExceptionRecord = record;
                state.Record.Win32Context = cpu;

                state.Stage = 702;
                SetReportText(ReportSteps.BuildReportText ? ReportSteps.BuildReportText(context)
                                                          : DefaultReportText(context));
                if (state.CallForGetLogText) {
                    state.CapturedLogText = context.TopText + state.ReportText;
                    state.CallForGetLogText = false;
                    paused.Resume();
                    result = false;
                } else {
                    state.Stage = 703;
                    state.Record.ModulesList = ModulesList();
                    state.Stage = 704;
                    SetCurrentExceptionRecord(&state.Record);
                    ReportSteps.CountDuplicateError(true);
                    state.Stage = 705;
                    ClearLastVexlorLogError();
                    state.Stage = 706;
                    SetReportEnvironmentFor(context);

                    if (ReportSteps.IsCGIApplication()) ReportSteps.LoadLastHTMLPage();
                    if (WillShowReport(params, raiserType)) RunOnMainThread([] { RestoreMainWindow(); });
                    VexlorEventData().Handled = true;
                    RunOnMainThread(params.Handled ? DoHandledExceptionNotify : DoExceptionNotify);
                    state.ContinueFlag = VexlorEventData().Handled;
                    state.Stage = 8;

                    if (!state.ContinueFlag) {
                        result = true;
                    } else {
                        ReportSteps.CapturePngScreenshot();
                        if (options.AutoCrashOperation() != tbNone) {
                            state.AutoCrashTimes.Add(DateTimeToStrFixed(NowDateTime()));
                            while (state.AutoCrashTimes.Count() > options.AutoCrashNumber())
                                state.AutoCrashTimes.Strings().erase(state.AutoCrashTimes.Strings().begin());
                        }
                        VexlorEventData().CustomData.Clear();
                        RunOnMainThread(DoCustomDataRequest);
                        state.CustomData.Strings() = VexlorEventData().CustomData.Strings();
                        if (state.CustomData.Count() > 0 && options.ShowOptions().Contains(soCustomData))
                            ReportSteps.InsertListSection(7, options.GetCustomizedExpandedTexts(mtLog_CustInfoHeader),
                                                          state.CustomData);
                        state.Stage = 9;
                        ++state.ExceptionCount;
                        state.Stage = 10;
                        {
                            const std::string message = ReportSteps.ExceptionMessageText
                                                            ? ReportSteps.ExceptionMessageText(context)
                                                            : DefaultExceptionMessageText(context);
                            state.LastExceptionMessage = ReportSteps.CleanMessageText
                                                             ? ReportSteps.CleanMessageText(message)
                                                             : DefaultCleanMessageText(message);
                        }
                        state.AskReproduce = false;
                        state.Stage = 11;
                        if (!state.FilterMatched) state.DialogKind = options.ExceptionDialogType();
                        state.DialogWorkArea = RECT{};
                        if (const HWND active = ::GetForegroundWindow()) {
                            MONITORINFO monitor{};
                            monitor.cbSize = sizeof monitor;
                            if (::GetMonitorInfoW(::MonitorFromWindow(active, MONITOR_DEFAULTTONEAREST), &monitor))
                                state.DialogWorkArea = monitor.rcWork;
                        }

                        const bool sendMode =
                            options.EMailSendMode() != esmNoSend || options.WebSendMode() != wsmNoSend;
                        if (state.DialogKind != edtNone) {
                            state.Stage = 12;
                            state.ShowFlag = true;
                            ClearLastVexlorLogError();
                            VexlorEventData().Execute = true;
                            RunOnMainThread([] {
                                if (ReportSteps.NotifyShowingExceptionInfo) {
                                    ReportSteps.NotifyShowingExceptionInfo();
                                } else {
                                    ForwardExceptionActionNotify(atShowingExceptionInfo, VexlorEventData().Execute);
                                    FireExceptionActionNotify(atShowingExceptionInfo, VexlorEventData().Execute);
                                }
                            });
                            state.ShowFlag = VexlorEventData().Execute;
                            state.SendChosen = sendMode;
                            state.AttachScreenshot = options.CommonSendOptions().Contains(sndSendScreenshot);
                            if (state.ShowFlag) {
                                state.Stage = 13;
                                switch (ReportOutputKind(raiserType)) {
                                case 1:
                                    if (!WriteConsoleReport(context, state.ReportText)) {
                                        state.ShowFlag = false;
                                        SetLastVexlorLogError(eeShowError,
                                                              "[Console] The report could not be written.");
                                    }
                                    break;
                                case 2: ReportSteps.ShowWebErrorPage(context, state.ReportText); break;
                                default:
                                    state.AskReproduce = state.DialogKind == edtVexlorLog;
                                    try {
                                        bool first = true;
                                        do {
                                            if (ReportSteps.ShowExceptionBox)
                                                ReportSteps.ShowExceptionBox(context, first);
                                            else
                                                DefaultShowExceptionBox(context, first);
                                            first = false;
                                        } while (state.DialogKind != edtNone);
                                    } catch (...) {
                                        state.ShowFlag = false;
                                        SetLastVexlorLogErrorFromException(eeShowError, "GUI");
                                    }
                                    break;
                                }
                            }
                            state.Stage = 14;
                            RunOnMainThread([] {
                                if (ReportSteps.NotifyShowedExceptionInfo) {
                                    ReportSteps.NotifyShowedExceptionInfo();
                                } else {
                                    ForwardExceptionActionNotify(atShowedExceptionInfo, VexlorEventData().Execute);
                                    FireExceptionActionNotify(atShowedExceptionInfo, VexlorEventData().Execute);
                                }
                            });
                        } else {
                            state.SendChosen = sendMode;
                            state.AttachScreenshot = options.CommonSendOptions().Contains(sndSendScreenshot);
                            if (ReportSteps.IsWebApplication())
                                ReportSteps.ShowWebErrorPage(context, state.LastExceptionMessage);
                        }

                        if (state.AskReproduce) {
                            ReportSteps.AskReproduceSteps(context);
                            if (options.LogOptions().Contains(loAppendReproduceText))
                                ReportSteps.InsertTextSection(
                                    7, options.GetCustomizedExpandedTexts(mtReproduceDialog_Caption),
                                    options.ReproduceText());
                        }
                        if (ShouldSendReport()) ReportSteps.SaveScreenshotFile(ReportSteps.ScreenshotFileName());
                        ReportSteps.ReleaseScreenshot();

                        state.Stage = 15;
                        if (options.LogOptions().Contains(loDeleteLogAtVersionChange))
                            ReportSteps.DeleteLogAtVersionChange();
                        mustSend = ShouldSendReport();
                        if (options.SaveLogFile()) ReportSteps.SaveReportToLog();
                        if (state.CopyToClipboard) {
                            state.CopyToClipboard = false;
                            CopyTextToClipboard(state.ReportText);
                        }

                        state.Stage = 16;
                        state.DeliveryHandedOver = mustSend &&
                                                   options.CommonSendOptions().Contains(sndSendInSeparatedThread) &&
                                                   !state.RaisingThreadMode;
                        if (mustSend) ReportSteps.StartSendReport();
                        if (!state.DeliveryHandedOver) ReportSteps.CheckAutoCrash();
                    }
                }
            }
            paused.Resume();
            state.Stage = 17;
            if (!state.DeliveryHandedOver) {
                state.Record.CallStack = nullptr;
                gCallStack.reset();
            }
            if (!state.TerminationRequested.load() && state.FilterMatched && handler == fhtVexlorLog) {
                if (action == fatTerminate || action == fatRestart) {
                    state.TerminationRequested = true;
                    ReportSteps.TerminateAfterReport();
                }
            }
            if (options.BehaviourOptions().Contains(boCallRTLExceptionEvent)) result = true;

            state.Stage = 18;
            if (asynchronousException != aeSynchronize && !state.DeliveryHandedOver) ReportSteps.TerminateAfterReport();
        }
    } catch (...) {
        // The stage names where the report failed.
        InternalErrorHook(std::to_string(state.Stage));
        state.FailedStage = state.Stage;
    }
    paused.Resume();
    state.DeliveryHandedOver = false;
    snapshot.reset();
    state.Context = nullptr;
    if (self != nullptr) self->InProcessException = false;
    return result;
}

}  // namespace crash::pipeline
