// The disassembler's instruction templates. Private to crash/engine/disasm.
#pragma once

namespace crash::disasm_detail {

extern const char* const kOneByteTemplates[256];      // by the opcode byte
extern const char* const kTwoByteTemplates[256];      // by the byte after 0F
extern const char* const kGroupTemplates[80];         // groups a to j, by the reg field
extern const char* const kGroupTailTemplates[32];     // tails 1 to 4, by the reg field
extern const char* const kCoprocessorTemplates[576];  // D8 to DF, 72 forms each

}  // namespace crash::disasm_detail
