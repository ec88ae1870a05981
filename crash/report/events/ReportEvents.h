// The report's events and its exception filter: the procedures that tell the
// application that the exception information is being shown or was shown,
// that the log is being saved, was saved or could not be saved; and the
// search for the options' filter that applies to an exception.
//
// Threads: the notify procedures are meant for the raising thread (the report
// steps run them through CallInMainThread); the filter search runs on the
// report thread under the main report lock. Zone: report thread (they
// allocate). Failure: nothing here raises of its own; a handler's exception
// leaves the notify procedure (CallInMainThread swallows it).
#pragma once
#include "crash/engine/EOptions.h"
#include "crash/engine/events/ExceptionEvents.h"

namespace crash {

// Each forwards its action event to the module that raised (when that is
// another module with its own copy of the library), then fires it here
// (every TVexlorLog, then the global procedure), with the events' shared
// Execute flag (VexlorEventData) as the flag the handlers may clear.
void NotifyShowingExceptionInfo();  // atShowingExceptionInfo
void NotifyShowedExceptionInfo();   // atShowedExceptionInfo
void NotifySavingLogFile();         // atSavingLogFile
void NotifySavedLogFile();          // atSavedLogFile
// The error event of a failed log save (action atSavedLogFile), forwarded and
// fired the same way with the shared Retry flag; answers that flag, true when
// a handler asks for the save to be tried again.
bool NotifyLogFileError();

// Whether the filter applies to the exception object, reported as handled
// (handled) or not. An error that came through a COM call (TActiveXException)
// matches when the filter's class name is one of the lines of its type text,
// without case, whatever the filter's exception type; any other object when
// the exception type lets it pass (fetHandled only handled ones, fetUnhandled
// only the others) and the object is of the filter's class or a class derived
// from it (by name, so across modules). Activity is not looked at.
bool ExceptionFilterMatches(const TVexlorExceptionFilter& filter, const void* exceptionObject, bool handled);

// The index of the first active filter of the list that matches, -1 when none
// does.
int FindExceptionFilter(const TVexlorExceptionsFilters& filters, const void* exceptionObject, bool handled);

// Fills the pipeline's slots (ReportSteps) with the notify procedures the
// pipeline runs and with the filter search over the report's options
// (ReportOptions()). Called by the crash reporter's start-up.
void RegisterReportEventSteps() noexcept;

}  // namespace crash
