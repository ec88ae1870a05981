// The x86 disassembler: one instruction at a time into assembler text, with
// callbacks that let the owner rename targets, references and immediates.
//
// Thread: a TDisAsm is used by one thread at a time (the report thread). It
// reads the code it is given without checks: the caller validates the memory
// (15 bytes from the instruction's start). Nothing raises except bad_alloc.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "rtl/System.h"

namespace crash {

enum TRegister { rEax, rEcx, rEdx, rEbx, rEsp, rEbp, rEsi, rEdi };

// A memory reference: base register (MultiplyReg1 = 1) and index register
// with its scale (MultiplyReg2 = 1, 2, 4 or 8); a multiplier of 0 means the
// register is absent. Immidiate is the displacement's text ("" when none).
struct TdaRef {
    std::int32_t MultiplyReg1 = 0;
    TRegister ARegister1 = rEax;
    std::int32_t MultiplyReg2 = 0;
    TRegister ARegister2 = rEax;
    const char* Immidiate = "";
};

// Every callback gets the operand's default text in Result and may replace it.
// ValueAddress is the address of the operand's bytes in the code.
using TJumpInstrProc =
    std::function<void(void* param, const void* valueAddress, std::uint32_t jumpAddress, std::string& result)>;
using TCallInstrProc =
    std::function<void(void* param, const void* valueAddress, std::uint32_t callAddress, std::string& result)>;
using TAddressRefProc =
    std::function<void(void* param, const void* valueAddress, std::uint32_t refAddress, std::string& result)>;
using TRefProc = std::function<void(void* param, const TdaRef& ref, int refSize, std::string& result)>;
using TImmidiateDataProc =
    std::function<void(void* param, const void* valueAddress, int operandSize, bool sigend, std::string& result)>;

class TDisAsm : public rtl::TObject {
public:
    TJumpInstrProc OnJumpInstr;
    TCallInstrProc OnCallInstr;
    TAddressRefProc OnAddressRef;
    TRefProc OnRef;
    TImmidiateDataProc OnImmidiateData;
    void* Param = nullptr;

    // The text of the instruction at `code`; `size` receives the number of
    // bytes it takes. Bytes that are no instruction come back as "DB ...".
    std::string GetInstruction(const void* code, int& size);
};

}  // namespace crash
