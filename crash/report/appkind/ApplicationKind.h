// What kind of program carries the crash reporter: console, CGI, WinCGI,
// ISAPI library, web or windowed. The report's header, its output and the
// dialogs choose by it.
//
// Any thread; none raises beyond running out of memory, none keeps state
// (each asks again when called). Report zone and ordinary code.
#pragma once
#include <string>

namespace crash {

// The program's main module is built for the console subsystem.
bool IsConsoleApplication();
// A console program and the variable "REQUEST_METHOD" exists, even empty.
bool IsCGIApplication();
// A windowed program started by the WinCGI rules: its first parameter names
// an openable profile of at most 102400 bytes whose "Request Method" of
// section "CGI" is not empty, and the output file (the third parameter, else
// "Output File" of section "System") exists. The profile is read where it
// lies (read-only too); asking makes no file, folder or warning.
bool IsWinCGIApplication();
// The output file of a WinCGI request (its profile's "Output File", or the
// third argument); empty when the program is not serving one.
std::string WinCGIOutputFile();
// The crash reporter lives in a library that exports "HttpExtensionProc".
bool IsISAPIApplication();
// The IntraWeb framework is never linked here: false.
bool IsIntraWebApplication();
// ISAPI, CGI, WinCGI or IntraWeb, asked in this order.
bool IsWebApplication();
// Neither a web nor a console program.
bool IsGUIApplication();

// The name has no "*" or "?", and the file exists and opens for reading with
// every kind of sharing (closed again at once).
bool IsOpenableFile(const std::string& fileName);

// Start-up: fills the pipeline's application-kind slots.
void RegisterApplicationKindSteps();

}  // namespace crash
