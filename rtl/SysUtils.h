// The runtime's exception classes.
#pragma once
#include <string>

#include "rtl/System.h"

namespace rtl {

// Base of every exception the system raises. The message is 8-bit text in the
// system ANSI code page.
class Exception : public TObject {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}
    const std::string& Message() const { return FMessage; }
    void SetMessage(std::string message) { FMessage = std::move(message); }

private:
    std::string FMessage;
};

// The silent abort: handlers that see it show nothing.
class EAbort : public Exception {
public:
    using Exception::Exception;
};

// Raises the silent abort.
[[noreturn]] void Abort();

}  // namespace rtl
