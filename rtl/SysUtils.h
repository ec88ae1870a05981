// The runtime's exception classes, text conversions and the number and date
// texts of the system.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

#include "rtl/System.h"

namespace rtl {

// Base of every exception the system raises. The message is 8-bit text in the
// system ANSI code page. The raise address is the return address of the throw
// (for a hardware fault: the faulting instruction), set by the runtime's raise
// hook when the object is thrown; null for an object never thrown.
class Exception : public TObject {
public:
    RTL_CLASS(Exception)
    explicit Exception(std::string message) : FMessage(std::move(message)) {}
    const std::string& Message() const { return FMessage; }
    void SetMessage(std::string message) { FMessage = std::move(message); }
    void* RaiseAddress() const noexcept { return FRaiseAddress; }
    void SetRaiseAddress(void* address) noexcept { FRaiseAddress = address; }

private:
    std::string FMessage;
    void* FRaiseAddress = nullptr;
};

// The silent abort: handlers that see it show nothing.
class EAbort : public Exception {
public:
    RTL_CLASS(EAbort)
    using Exception::Exception;
};

// Raises the silent abort.
[[noreturn]] void Abort();

// A text that is not the number it should be.
class EConvertError : public Exception {
public:
    RTL_CLASS(EConvertError)
    using Exception::Exception;
};

// A failed system call; ErrorCode() is the system's error code.
class EOSError : public Exception {
public:
    RTL_CLASS(EOSError)
    EOSError(std::string message, DWORD errorCode) : Exception(std::move(message)), FErrorCode(errorCode) {}
    DWORD ErrorCode() const { return FErrorCode; }

private:
    DWORD FErrorCode;
};

// ---- Exceptions of the operating system ---------------------------------
// A system exception turned into an object (MapSystemException, rtl/ExceptHooks.h).
// The record is the system's, copied; its nested-record pointer is cleared,
// since the nested record lives only while the system dispatches.
class EExternal : public Exception {
public:
    RTL_CLASS(EExternal)
    EExternal(std::string message, const EXCEPTION_RECORD& record);
    const EXCEPTION_RECORD& ExceptionRecord() const noexcept { return FExceptionRecord; }
    DWORD ExceptionCode() const noexcept { return FExceptionRecord.ExceptionCode; }

private:
    EXCEPTION_RECORD FExceptionRecord;
};

// An access violation: the faulting instruction is the record's address; the
// accessed address and the kind of access come from its parameters.
class EAccessViolation : public EExternal {
public:
    RTL_CLASS(EAccessViolation)
    enum class TAccess { acRead, acWrite, acExecute };
    explicit EAccessViolation(const EXCEPTION_RECORD& record);
    TAccess Access() const noexcept { return FAccess; }
    const void* AccessAddress() const noexcept { return FAccessAddress; }

private:
    TAccess FAccess;
    const void* FAccessAddress;
};

class EStackOverflow : public EExternal {
public:
    RTL_CLASS(EStackOverflow)
    using EExternal::EExternal;
};

// Any other system exception, by its code.
class EExternalException : public EExternal {
public:
    RTL_CLASS(EExternalException)
    using EExternal::EExternal;
};

class EPrivilege : public EExternal {
public:
    RTL_CLASS(EPrivilege)
    using EExternal::EExternal;
};

class EIntError : public EExternal {
public:
    RTL_CLASS(EIntError)
    using EExternal::EExternal;
};
class EDivByZero : public EIntError {
public:
    RTL_CLASS(EDivByZero)
    using EIntError::EIntError;
};
class EIntOverflow : public EIntError {
public:
    RTL_CLASS(EIntOverflow)
    using EIntError::EIntError;
};
class ERangeError : public EIntError {
public:
    RTL_CLASS(ERangeError)
    using EIntError::EIntError;
};

class EMathError : public EExternal {
public:
    RTL_CLASS(EMathError)
    using EExternal::EExternal;
};
class EInvalidOp : public EMathError {
public:
    RTL_CLASS(EInvalidOp)
    using EMathError::EMathError;
};
class EZeroDivide : public EMathError {
public:
    RTL_CLASS(EZeroDivide)
    using EMathError::EMathError;
};
class EOverflow : public EMathError {
public:
    RTL_CLASS(EOverflow)
    using EMathError::EMathError;
};
class EUnderflow : public EMathError {
public:
    RTL_CLASS(EUnderflow)
    using EMathError::EMathError;
};

// Raises EOSError for GetLastError(): "System Error.  Code: N.\r\n<reason>".
[[noreturn]] void RaiseLastOSError();
[[noreturn]] void RaiseLastOSError(DWORD errorCode);

// The system's text for an error code, in the user's language, without the
// trailing line break and full stop; empty when the system has none.
std::wstring SysErrorMessage(DWORD errorCode);

// Conversions between UTF-16 and 8-bit text of the system ANSI code page.
// Characters the code page lacks become the code page's default character.
std::wstring AnsiToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);

// The text without the characters up to the blank (spaces and control
// characters) at both of its ends: a view into `text`, so a temporary must be
// copied before the end of the expression that trims it.
std::string_view Trim(std::string_view text) noexcept;
std::wstring_view Trim(std::wstring_view text) noexcept;

// Whether the texts are equal with the letters A-Z and a-z taken as the same
// (the C locale's case: other bytes must match exactly).
bool SameTextNoCase(std::string_view a, std::string_view b) noexcept;

// ---- Number texts -------------------------------------------------------

// A 32-bit integer in decimal, with "-" when negative.
std::wstring IntToStr(int value);

// Decimal with optional leading blanks and sign, or hexadecimal after "$",
// "0x" or "0X"; nothing may follow the digits. The value must fit 32 bits.
// StrToInt raises EConvertError ("'%s' is not a valid integer value").
bool TryStrToInt(std::wstring_view text, int& value);
bool TryStrToInt(std::string_view text, int& value);
int StrToInt(std::wstring_view text);
int StrToIntDef(std::wstring_view text, int defaultValue);

// Digits with the decimal separator of the user's locale and an optional
// exponent ("E", sign, digits), blanks allowed around it. StrToFloat raises
// EConvertError ("'%s' is not a valid floating point value").
bool TryStrToFloat(std::wstring_view text, double& value);
double StrToFloat(std::wstring_view text);

// The decimal separator of the user's locale ("." when it has none).
wchar_t DecimalSeparator();

enum class TFloatFormat { ffGeneral, ffFixed };

// The runtime's float texts. The value is first rounded to `precision`
// significant digits (half away from zero).
// ffFixed: `digits` decimals after the locale's decimal separator, e.g.
//   precision 4, digits 3: 20 -> "20,000", 123.456 -> "123,500". A value with
//   more integer digits than `precision` takes the ffGeneral scientific form.
// ffGeneral: the shortest of plain digits (integer part at most `precision`
//   digits and the value at least 0.00001) or scientific "d,dddE[-]xxx" with
//   trailing zeros dropped and an exponent of at least `digits` digits
//   (12345.678, precision 4, digits 3 -> "1,235E004").
// Not-a-number and infinities are "NAN", "INF" and "-INF". Never raises.
std::wstring FloatToStrF(double value, TFloatFormat format, int precision, int digits);

// ---- Date texts ---------------------------------------------------------

// The current local time.
SYSTEMTIME Now();

// A local time in the runtime's date format language:
//   d dd      day without / with a leading zero
//   m mm      month; right after an hour token (h, hh) they mean minutes
//   mmm mmmm  the locale's abbreviated / full month name
//   yy yyyy   two- / four-digit year
//   h hh      hour (24-hour form), n nn minutes, s ss seconds, z zzz milliseconds
//   'x' "x"   literal text; every other character stands for itself.
// Month names come from the user's locale. Never raises.
std::wstring FormatDateTime(std::wstring_view format, const SYSTEMTIME& time);

}  // namespace rtl
