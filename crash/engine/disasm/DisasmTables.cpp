// The instruction templates of the disassembler, in its escape notation:
// "#" operand (kind, size, role), "@" prefix, escape, group or register, "%c"
// no instruction. Mnemonics are padded with blanks to 8 characters.
#include "crash/engine/disasm/DisasmTables.h"

// clang-format off
namespace crash::disasm_detail {

// One-byte opcodes, by the opcode byte.
const char* const kOneByteTemplates[256] = {
    "add     #Eb , #Gb ", "add     #Ev , #Gv ", "add     #Gb , #Eb ", "add     #Gv , #Ev ",  // 00
    "add     al, #Hb ", "add     @eax, #Hv ", "push    es", "pop     es",  // 04
    "or      #Eb , #Gb ", "or      #Ev , #Gv ", "or      #Gb , #Eb ", "or      #Gv , #Ev ",  // 08
    "or      al, #Hb ", "or      @eax, #Hv ", "push    cs", "@c2",  // 0C
    "adc     #Eb , #Gb ", "adc     #Ev , #Gv ", "adc     #Gb , #Eb ", "adc     #Gv , #Ev ",  // 10
    "adc     al, #Hb ", "adc     @eax, #Hv ", "push    ss", "pop     ss",  // 14
    "sbb     #Eb , #Gb ", "sbb     #Ev , #Gv ", "sbb     #Gb , #Eb ", "sbb     #Gv , #Ev ",  // 18
    "sbb     al, #Hb ", "sbb     @eax, #Hv ", "push    ds", "pop     ds",  // 1C
    "and     #Eb , #Gb ", "and     #Ev , #Gv ", "and     #Gb , #Eb ", "and     #Gv , #Ev ",  // 20
    "and     al, #Hb ", "and     @eax, #Hv ", "@pe", "daa",  // 24
    "sub     #Eb , #Gb ", "sub     #Ev , #Gv ", "sub     #Gb , #Eb ", "sub     #Gv , #Ev ",  // 28
    "sub     al, #Hb ", "sub     @eax, #Hv ", "@pc", "das",  // 2C
    "xor     #Eb , #Gb ", "xor     #Ev , #Gv ", "xor     #Gb , #Eb ", "xor     #Gv , #Ev ",  // 30
    "xor     al, #Hb ", "xor     @eax, #Hv ", "@ps", "aaa",  // 34
    "cmp     #Eb , #Gb ", "cmp     #Ev , #Gv ", "cmp     #Gb , #Eb ", "cmp     #Gv , #Ev ",  // 38
    "cmp     al, #Hb ", "cmp     @eax, #Hv ", "@pd", "aas",  // 3C
    "inc     @eax", "inc     @ecx", "inc     @edx", "inc     @ebx",  // 40
    "inc     @esp", "inc     @ebp", "inc     @esi", "inc     @edi",  // 44
    "dec     @eax", "dec     @ecx", "dec     @edx", "dec     @ebx",  // 48
    "dec     @esp", "dec     @ebp", "dec     @esi", "dec     @edi",  // 4C
    "push    @eax", "push    @ecx", "push    @edx", "push    @ebx",  // 50
    "push    @esp", "push    @ebp", "push    @esi", "push    @edi",  // 54
    "pop     @eax", "pop     @ecx", "pop     @edx", "pop     @ebx",  // 58
    "pop     @esp", "pop     @ebp", "pop     @esi", "pop     @edi",  // 5C
    "pusha@o4", "popa@o4", "bound   #Gv , #Ma ", "arpl    #Ew , #Gw ",  // 60
    "@pf", "@pg", "@so", "@sa",  // 64
    "push    #Iv ", "imul    #Gv , #Ev , #Iv ", "push    #Ibs", "imul    #Gv , #Ev , #Ibs",  // 68
    "insb", "ins@o4", "outsb", "outs@o4",  // 6C
    "jo      #Jbj", "jno     #Jbj", "jb      #Jbj", "jnb     #Jbj",  // 70
    "jz      #Jbj", "jnz     #Jbj", "jbe     #Jbj", "jnbe    #Jbj",  // 74
    "js      #Jbj", "jns     #Jbj", "jp      #Jbj", "jnp     #Jbj",  // 78
    "jl      #Jbj", "jnl     #Jbj", "jle     #Jbj", "jnle    #Jbj",  // 7C
    "@ga#Eb , #Ib ", "@ga#Ev , #Iv ", "@ga#Eb , #Ib ", "@ga#Ev , #Ibs",  // 80
    "test    #Eb , #Gb ", "test    #Ev , #Gv ", "xchg    #Eb , #Gb ", "xchg    #Ev , #Gv ",  // 84
    "mov     #Eb , #Gb ", "mov     #Ev , #Gv ", "mov     #Gb , #Eb ", "mov     #Gv , #Ev ",  // 88
    "mov     #Ew , #Sw ", "lea     #Gv , @m #Mv ", "mov     #Sw , #Ew ", "pop     #Ev ",  // 8C
    "nop", "xchg    @eax, @ecx", "xchg    @eax, @edx", "xchg    @eax, @ebx",  // 90
    "xchg    @eax, @esp", "xchg    @eax, @ebp", "xchg    @eax, @esi", "xchg    @eax, @edi",  // 94
    "cwde", "c@o4@o8", "call    #Ap ", "wait",  // 98
    "pushf@o4", "popf@o4", "sahf", "lahf",  // 9C
    "mov     al, #Ob ", "mov     @eax, #Ov ", "mov     #Ob , al", "mov     #Ov , @eax",  // A0
    "movsb", "movs@o4", "cmpsb", "cmps@o4",  // A4
    "test    al, #Hb ", "test    @eax, #Hv ", "stosb", "stos@o4",  // A8
    "lodsb", "lods@o4", "scasb", "scas@o4",  // AC
    "mov     al, #Ib ", "mov     cl, #Ib ", "mov     dl, #Ib ", "mov     bl, #Ib ",  // B0
    "mov     ah, #Ib ", "mov     ch, #Ib ", "mov     dh, #Ib ", "mov     bh, #Ib ",  // B4
    "mov     @eax, #Iv ", "mov     @ecx, #Iv ", "mov     @edx, #Iv ", "mov     @ebx, #Iv ",  // B8
    "mov     @esp, #Iv ", "mov     @ebp, #Iv ", "mov     @esi, #Iv ", "mov     @edi, #Iv ",  // BC
    "@gb#Eb , #Ib ", "@gb#Ev , #Ib ", "ret     #Iw ", "ret",  // C0
    "les     #Gv , #Mp ", "lds     #Gv , #Mp ", "mov     #Eb , #Ib ", "mov     #Ev , #Iv ",  // C4
    "enter   #Iw , #Ib ", "leave", "retf    #Iw ", "retf",  // C8
    "int     3", "int     #Ib ", "into", "iret@o4",  // CC
    "@gb#Eb , 1", "@gb#Ev , 1", "@gb#Eb , cl", "@gb#Ev , cl",  // D0
    "aam     #Ib ", "aad     #Ib ", "%c ", "xlat",  // D4
    "@ca", "@cb", "@cc", "@cd",  // D8
    "@ce", "@cf", "@cg", "@ch",  // DC
    "loopne  #Jbj", "loope   #Jbj", "loop    #Jbj", "jecxz   #Jbj",  // E0
    "in      al, #Ib ", "in      @eax, #Ib ", "out     #Ib , al", "out     #Ib , @eax",  // E4
    "call    #Jvc", "jmp     #Jvj", "jmp     #Ap ", "jmp     #Jbj",  // E8
    "in      al, dx", "in      @eax, dx", "out     dx, al", "out     dx, @eax",  // EC
    "lock    @c1", "%c ", "repne   @c1", "rep     @c1",  // F0
    "hlt", "cmc", "@gc#Eb @h1", "@gc#Ev @h2",  // F4
    "clc", "stc", "cli", "sti",  // F8
    "cld", "std", "@gd#Eb ", "@ge@h4",  // FC
};

// Opcodes after 0F, by the second byte.
const char* const kTwoByteTemplates[256] = {
    "@gf", "@gg", "lar     #Gv , #Ew ", "lsl     #Gv , #Ew ",  // 0F 00
    "%c ", "syscall", "clts", "sysret",  // 0F 04
    "invd", "wbinvd", "%c ", "%c ",  // 0F 08
    "%c ", "prefetch #Mb ", "femms", "%c ",  // 0F 0C
    "movups  #Vq , @m #Wq ", "movups  @m #Wq , #Vq ", "movlps  #Vq , #Wq ", "movlps  #Wq , #Vq ",  // 0F 10
    "unpcklps #Vq , @m #Wq ", "unpckhps #Vq , @m #Wq ", "movhps  #Vq , #Wq ", "movhps  #Wq , #Vq ",  // 0F 14
    "prefetch #Mb ", "%c ", "%c ", "%c ",  // 0F 18
    "%c ", "%c ", "%c ", "%c ",  // 0F 1C
    "mov     #Rd , #Cd ", "mov     #Rd , #Dd ", "mov     #Cd , #Rd ", "mov     #Dd , #Rd ",  // 0F 20
    "%c ", "%c ", "%c ", "%c ",  // 0F 24
    "movaps  #Vq , @m #Wq ", "movaps  @m #Wq , #Vq ", "cvtpi2ps #Vq , #Qq ", "movntps @m #Wq , #Vq ",  // 0F 28
    "cvttps2pi #Pq , #Wq ", "cvtps2pi #Pq , #Wq ", "ucomiss #Vd , #Wd ", "comiss  #Vd , #Wd ",  // 0F 2C
    "wrmsr", "rdtsc", "rdmsr", "rdpmc",  // 0F 30
    "sysenter", "sysexit", "%c ", "%c ",  // 0F 34
    "%c ", "%c ", "%c ", "%c ",  // 0F 38
    "%c ", "%c ", "%c ", "%c ",  // 0F 3C
    "cmovo   #Gv , #Ev ", "cmovno  #Gv , #Ev ", "cmovb   #Gv , #Ev ", "cmovnb  #Gv , #Ev ",  // 0F 40
    "cmovz   #Gv , #Ev ", "cmovnz  #Gv , #Ev ", "cmovbe  #Gv , #Ev ", "cmovnbe #Gv , #Ev ",  // 0F 44
    "cmovs   #Gv , #Ev ", "cmovns  #Gv , #Ev ", "cmovp   #Gv , #Ev ", "cmovnp  #Gv , #Ev ",  // 0F 48
    "cmovl   #Gv , #Ev ", "cmovnl  #Gv , #Ev ", "cmovle  #Gv , #Ev ", "cmovnle #Gv , #Ev ",  // 0F 4C
    "movmskps #Gd , #Wq ", "sqrtps  #Vq , @m #Wq ", "rsqrtps #Vq , @m #Wq ", "rcpps   #Vq , @m #Wq ",  // 0F 50
    "andps   #Vq , @m #Wq ", "andnps  #Vq , @m #Wq ", "orps    #Vq , @m #Wq ", "xorps   #Vq , @m #Wq ",  // 0F 54
    "addps   #Vq , @m #Wq ", "mulps   #Vq , @m #Wq ", "cvtps2pd #Vq , @m #Wq ", "cvtdq2ps #Vq , @m #Wq ",  // 0F 58
    "subps   #Vq , @m #Wq ", "minps   #Vq , @m #Wq ", "divps   #Vq , @m #Wq ", "maxps   #Vq , @m #Wq ",  // 0F 5C
    "punpcklbw #Pq , #Qq ", "punpcklwd #Pq , #Qq ", "punpckldq #Pq , #Qq ", "packsswb #Pq , #Qq ",  // 0F 60
    "pcmpgtb #Pq , #Qq ", "pcmpgtw #Pq , #Qq ", "pcmpgtd #Pq , #Qq ", "packuswb #Pq , #Qq ",  // 0F 64
    "punpckhbw #Pq , #Qq ", "punpckhwd #Pq , #Qq ", "punpckhdq #Pq , #Qq ", "packssdw #Pq , #Qq ",  // 0F 68
    "%c ", "%c ", "movd    #Pq , #Ed ", "movq    #Pq , #Qq ",  // 0F 6C
    "pshufw  #Pq , #Qq , #Ib ", "@h3w    #Qq , #Ib ", "@h3d    #Qq , #Ib ", "@h3q    #Qq , #Ib ",  // 0F 70
    "pcmpeqb #Pq , #Qq ", "pcmpeqw #Pq , #Qq ", "pcmpeqd #Pq , #Qq ", "emms",  // 0F 74
    "%c ", "%c ", "%c ", "%c ",  // 0F 78
    "%c ", "%c ", "movd    #Ed , #Pq ", "movq    #Qq , #Pq ",  // 0F 7C
    "jo      #Jvj", "jno     #Jvj", "jb      #Jvj", "jnb     #Jvj",  // 0F 80
    "jz      #Jvj", "jnz     #Jvj", "jbe     #Jvj", "jnbe    #Jvj",  // 0F 84
    "js      #Jvj", "jns     #Jvj", "jp      #Jvj", "jnp     #Jvj",  // 0F 88
    "jl      #Jvj", "jnl     #Jvj", "jle     #Jvj", "jnle    #Jvj",  // 0F 8C
    "seto    #Eb ", "setno   #Eb ", "setb    #Eb ", "setnb   #Eb ",  // 0F 90
    "setz    #Eb ", "setnz   #Eb ", "setbe   #Eb ", "setnbe  #Eb ",  // 0F 94
    "sets    #Eb ", "setns   #Eb ", "setp    #Eb ", "setnp   #Eb ",  // 0F 98
    "setl    #Eb ", "setnl   #Eb ", "setle   #Eb ", "setnle  #Eb ",  // 0F 9C
    "push    fs", "pop     fs", "cpuid", "bt      #Ev , #Gv ",  // 0F A0
    "shld    #Ev , #Gv , #Ib ", "shld    #Ev , #Gv , cl", "%c #Ev ", "%c #Ev ",  // 0F A4
    "push    gs", "pop     gs", "rsm", "bts     #Ev , #Gv ",  // 0F A8
    "shrd    #Ev , #Gv , #Ib ", "shrd    #Ev , #Gv , cl", "@gj", "imul    #Gv , #Ev ",  // 0F AC
    "cmpxchg #Eb , #Gb ", "cmpxchg #Ev , #Gv ", "lss     #Gv , #Mp ", "btr     #Ev , #Gv ",  // 0F B0
    "lfs     #Gv , #Mp ", "lgs     #Gv , #Mp ", "movzx   #Gv , @m #Eb ", "movzx   #Gv , @m #Ew ",  // 0F B4
    "%c ", "%c ", "@gh#Ev , #Ib ", "btc     #Ev , #Gv ",  // 0F B8
    "bsf     #Gv , #Ev ", "bsr     #Gv , #Ev ", "movsx   #Gv , @m #Eb ", "movsx   #Gv , @m #Ew ",  // 0F BC
    "xadd    #Eb , #Gb ", "xadd    #Ev , #Gv ", "cmpps   #Vq , @m #Wq , #Ib ", "movnti  #Md , #Gd ",  // 0F C0
    "pinsrw  #Pq , #Ed , #Ib ", "pextrw  #Gd , #Qq , #Ib ", "shufps  #Vq , @m #Wq , #Ib ", "@gi",  // 0F C4
    "bswap   @eax", "bswap   @ecx", "bswap   @edx", "bswap   @ebx",  // 0F C8
    "bswap   @esp", "bswap   @ebp", "bswap   @esi", "bswap   @edi",  // 0F CC
    "%c ", "psrlw   #Pq , #Qq ", "psrld   #Pq , #Qq ", "psrlq   #Pq , #Qq ",  // 0F D0
    "paddq   #Pq , #Qq ", "pmullw  #Pq , #Qq ", "%c ", "pmovmskb #Gd , #Qq ",  // 0F D4
    "psubusb #Pq , #Qq ", "psubusw #Pq , #Qq ", "pminub  #Pq , #Qq ", "pand    #Pq , #Qq ",  // 0F D8
    "paddusb #Pq , #Qq ", "paddusw #Pq , #Qq ", "pmaxub  #Pq , #Qq ", "pandn   #Pq , #Qq ",  // 0F DC
    "pavgb   #Pq , #Qq ", "psraw   #Pq , #Qq ", "psrad   #Pq , #Qq ", "pavgw   #Pq , #Qq ",  // 0F E0
    "pmulhuw #Pq , #Qq ", "pmulhw  #Pq , #Qq ", "%c ", "movntq  #Mq , #Pq ",  // 0F E4
    "psubsb  #Pq , #Qq ", "psubsw  #Pq , #Qq ", "pminsw  #Pq , #Qq ", "por     #Pq , #Qq ",  // 0F E8
    "paddsb  #Pq , #Qq ", "paddsw  #Pq , #Qq ", "pmaxsw  #Pq , #Qq ", "pxor    #Pq , #Qq ",  // 0F EC
    "%c ", "psllw   #Pq , #Qq ", "pslld   #Pq , #Qq ", "psllq   #Pq , #Qq ",  // 0F F0
    "pmuludq #Pq , #Qq ", "pmaddwd #Pq , #Qq ", "psadbw  #Pq , #Qq ", "maskmovq #Pq , #Qq ",  // 0F F4
    "psubb   #Pq , #Qq ", "psubw   #Pq , #Qq ", "psubd   #Pq , #Qq ", "psubq   #Pq , #Qq ",  // 0F F8
    "paddb   #Pq , #Qq ", "paddw   #Pq , #Qq ", "paddd   #Pq , #Qq ", "%c ",  // 0F FC
};

// Groups a to j, by the ModRM reg field.
const char* const kGroupTemplates[80] = {
    "add     ", "or      ", "adc     ", "sbb     ",  // a 80-83 /0
    "and     ", "sub     ", "xor     ", "cmp     ",  // a 80-83 /4
    "rol     ", "ror     ", "rcl     ", "rcr     ",  // b C0-C1 D0-D3 /0
    "shl     ", "shr     ", "sal     ", "sar     ",  // b C0-C1 D0-D3 /4
    "test    ", "%c ", "not     ", "neg     ",  // c F6-F7 /0
    "mul     ", "imul    ", "div     ", "idiv    ",  // c F6-F7 /4
    "inc     ", "dec     ", "%c ", "%c ",  // d FE /0
    "%c ", "%c ", "%c ", "%c ",  // d FE /4
    "inc     ", "dec     ", "call    ", "call    ",  // e FF /0
    "jmp     ", "jmp     ", "push    ", "%c ",  // e FF /4
    "sldt    #Ew ", "str     #Ew ", "lldt    #Ew ", "ltr     #Ew ",  // f 0F 00 /0
    "verr    #Ew ", "verw    #Ew ", "%c #Ew ", "%c #Ew ",  // f 0F 00 /4
    "sgdt    #Ms ", "sidt    #Ms ", "lgdt    #Ms ", "lidt    #Ms ",  // g 0F 01 /0
    "smsw    #Ew ", "%c #Ew ", "lmsw    #Ew ", "invlpg  #Mb ",  // g 0F 01 /4
    "%c ", "%c ", "%c ", "%c ",  // h 0F BA /0
    "bt      ", "bts     ", "btr     ", "btc     ",  // h 0F BA /4
    "%c #Mq ", "cmpxchg8b #Mq ", "%c #Mq ", "%c #Mq ",  // i 0F C7 /0
    "%c #Mq ", "%c #Mq ", "%c #Mq ", "%c #Mq ",  // i 0F C7 /4
    "fxsave  #Ms ", "fxrstor #Ms ", "ldmxcsr #Md ", "stmxcsr #Md ",  // j 0F AE /0
    "xsave   #Ms ", "xrstor  #Ms ", "xsaveopt #Ms ", "clflush #Mb ",  // j 0F AE /4
};

// Group tails 1 to 4, by the ModRM reg field.
const char* const kGroupTailTemplates[32] = {
    ", #Ib ", "", "", "",  // 1 F6 /0
    "", "", "", "",  // 1 F6 /4
    ", #Iv ", "", "", "",  // 2 F7 /0
    "", "", "", "",  // 2 F7 /4
    "%c ", "%c ", "psrl", "%c ",  // 3 0F 71-73 /0
    "psra", "%c ", "psll", "%c ",  // 3 0F 71-73 /4
    "#Ev ", "#Ev ", "#Ev ", "#Mp ",  // 4 FF /0
    "#Ev ", "#Mp ", "#Ev ", "#Ev ",  // 4 FF /4
};

// Coprocessor escapes D8 to DF: 8 memory forms by the reg field, then the
// 64 register forms by ModRM - C0.
const char* const kCoprocessorTemplates[576] = {
    "fadd    #Md ", "fmul    #Md ", "fcom    #Md ", "fcomp   #Md ",  // D8 /0
    "fsub    #Md ", "fsubr   #Md ", "fdiv    #Md ", "fdivr   #Md ",  // D8 /4
    "fadd    st(0), st(0)", "fadd    st(0), st(1)", "fadd    st(0), st(2)", "fadd    st(0), st(3)",  // D8 C0
    "fadd    st(0), st(4)", "fadd    st(0), st(5)", "fadd    st(0), st(6)", "fadd    st(0), st(7)",  // D8 C4
    "fmul    st(0), st(0)", "fmul    st(0), st(1)", "fmul    st(0), st(2)", "fmul    st(0), st(3)",  // D8 C8
    "fmul    st(0), st(4)", "fmul    st(0), st(5)", "fmul    st(0), st(6)", "fmul    st(0), st(7)",  // D8 CC
    "fcom    st(0)", "fcom    st(1)", "fcom    st(2)", "fcom    st(3)",  // D8 D0
    "fcom    st(4)", "fcom    st(5)", "fcom    st(6)", "fcom    st(7)",  // D8 D4
    "fcomp   st(0)", "fcomp   st(1)", "fcomp   st(2)", "fcomp   st(3)",  // D8 D8
    "fcomp   st(4)", "fcomp   st(5)", "fcomp   st(6)", "fcomp   st(7)",  // D8 DC
    "fsub    st(0), st(0)", "fsub    st(0), st(1)", "fsub    st(0), st(2)", "fsub    st(0), st(3)",  // D8 E0
    "fsub    st(0), st(4)", "fsub    st(0), st(5)", "fsub    st(0), st(6)", "fsub    st(0), st(7)",  // D8 E4
    "fsubr   st(0), st(0)", "fsubr   st(0), st(1)", "fsubr   st(0), st(2)", "fsubr   st(0), st(3)",  // D8 E8
    "fsubr   st(0), st(4)", "fsubr   st(0), st(5)", "fsubr   st(0), st(6)", "fsubr   st(0), st(7)",  // D8 EC
    "fdiv    st(0), st(0)", "fdiv    st(0), st(1)", "fdiv    st(0), st(2)", "fdiv    st(0), st(3)",  // D8 F0
    "fdiv    st(0), st(4)", "fdiv    st(0), st(5)", "fdiv    st(0), st(6)", "fdiv    st(0), st(7)",  // D8 F4
    "fdivr   st(0), st(0)", "fdivr   st(0), st(1)", "fdivr   st(0), st(2)", "fdivr   st(0), st(3)",  // D8 F8
    "fdivr   st(0), st(4)", "fdivr   st(0), st(5)", "fdivr   st(0), st(6)", "fdivr   st(0), st(7)",  // D8 FC
    "fld     #Md ", "%c #Md ", "fst     #Md ", "fstp    #Md ",  // D9 /0
    "fldenv  #Ms ", "fldcw   #Mw ", "fnstenv #Ms ", "fnstcw  #Mw ",  // D9 /4
    "fld     st(0)", "fld     st(1)", "fld     st(2)", "fld     st(3)",  // D9 C0
    "fld     st(4)", "fld     st(5)", "fld     st(6)", "fld     st(7)",  // D9 C4
    "fxch    st(0)", "fxch    st(1)", "fxch    st(2)", "fxch    st(3)",  // D9 C8
    "fxch    st(4)", "fxch    st(5)", "fxch    st(6)", "fxch    st(7)",  // D9 CC
    "fnop", "%c ", "%c ", "%c ",  // D9 D0
    "%c ", "%c ", "%c ", "%c ",  // D9 D4
    "%c ", "%c ", "%c ", "%c ",  // D9 D8
    "%c ", "%c ", "%c ", "%c ",  // D9 DC
    "fchs", "fabs", "%c ", "%c ",  // D9 E0
    "ftst", "fxam", "%c ", "%c ",  // D9 E4
    "fld1", "fldl2t", "fldl2e", "fldpi",  // D9 E8
    "fldlg2", "fldln2", "fldz", "%c ",  // D9 EC
    "f2xm1", "fyl2x", "fptan", "fpatan",  // D9 F0
    "fxtract", "fprem1", "fdecstp", "fincstp",  // D9 F4
    "fprem", "fyl2xp1", "fsqrt", "fsincos",  // D9 F8
    "frndint", "fscale", "fsin", "fcos",  // D9 FC
    "fiadd   #Md ", "fimul   #Md ", "ficom   #Md ", "ficomp  #Md ",  // DA /0
    "fisub   #Md ", "fisubr  #Md ", "fidiv   #Md ", "fidivr  #Md ",  // DA /4
    "fcmovb  st(0), st(0)", "fcmovb  st(0), st(1)", "fcmovb  st(0), st(2)", "fcmovb  st(0), st(3)",  // DA C0
    "fcmovb  st(0), st(4)", "fcmovb  st(0), st(5)", "fcmovb  st(0), st(6)", "fcmovb  st(0), st(7)",  // DA C4
    "fcmove  st(0), st(0)", "fcmove  st(0), st(1)", "fcmove  st(0), st(2)", "fcmove  st(0), st(3)",  // DA C8
    "fcmove  st(0), st(4)", "fcmove  st(0), st(5)", "fcmove  st(0), st(6)", "fcmove  st(0), st(7)",  // DA CC
    "fcmovbe st(0), st(0)", "fcmovbe st(0), st(1)", "fcmovbe st(0), st(2)", "fcmovbe st(0), st(3)",  // DA D0
    "fcmovbe st(0), st(4)", "fcmovbe st(0), st(5)", "fcmovbe st(0), st(6)", "fcmovbe st(0), st(7)",  // DA D4
    "fcmovu  st(0), st(0)", "fcmovu  st(0), st(1)", "fcmovu  st(0), st(2)", "fcmovu  st(0), st(3)",  // DA D8
    "fcmovu  st(0), st(4)", "fcmovu  st(0), st(5)", "fcmovu  st(0), st(6)", "fcmovu  st(0), st(7)",  // DA DC
    "%c ", "%c ", "%c ", "%c ",  // DA E0
    "%c ", "%c ", "%c ", "%c ",  // DA E4
    "%c ", "fucompp", "%c ", "%c ",  // DA E8
    "%c ", "%c ", "%c ", "%c ",  // DA EC
    "%c ", "%c ", "%c ", "%c ",  // DA F0
    "%c ", "%c ", "%c ", "%c ",  // DA F4
    "%c ", "%c ", "%c ", "%c ",  // DA F8
    "%c ", "%c ", "%c ", "%c ",  // DA FC
    "fild    #Md ", "fisttp  #Md ", "fist    #Md ", "fistp   #Md ",  // DB /0
    "%c #Mt ", "fld     #Mt ", "%c #Mt ", "fstp    #Mt ",  // DB /4
    "fcmovnb st(0), st(0)", "fcmovnb st(0), st(1)", "fcmovnb st(0), st(2)", "fcmovnb st(0), st(3)",  // DB C0
    "fcmovnb st(0), st(4)", "fcmovnb st(0), st(5)", "fcmovnb st(0), st(6)", "fcmovnb st(0), st(7)",  // DB C4
    "fcmovne st(0), st(0)", "fcmovne st(0), st(1)", "fcmovne st(0), st(2)", "fcmovne st(0), st(3)",  // DB C8
    "fcmovne st(0), st(4)", "fcmovne st(0), st(5)", "fcmovne st(0), st(6)", "fcmovne st(0), st(7)",  // DB CC
    "fcmovnbe st(0), st(0)", "fcmovnbe st(0), st(1)", "fcmovnbe st(0), st(2)", "fcmovnbe st(0), st(3)",  // DB D0
    "fcmovnbe st(0), st(4)", "fcmovnbe st(0), st(5)", "fcmovnbe st(0), st(6)", "fcmovnbe st(0), st(7)",  // DB D4
    "fcmovnu st(0), st(0)", "fcmovnu st(0), st(1)", "fcmovnu st(0), st(2)", "fcmovnu st(0), st(3)",  // DB D8
    "fcmovnu st(0), st(4)", "fcmovnu st(0), st(5)", "fcmovnu st(0), st(6)", "fcmovnu st(0), st(7)",  // DB DC
    "%c ", "%c ", "fnclex", "fninit",  // DB E0
    "%c ", "%c ", "%c ", "%c ",  // DB E4
    "fucomi  st(0), st(0)", "fucomi  st(0), st(1)", "fucomi  st(0), st(2)", "fucomi  st(0), st(3)",  // DB E8
    "fucomi  st(0), st(4)", "fucomi  st(0), st(5)", "fucomi  st(0), st(6)", "fucomi  st(0), st(7)",  // DB EC
    "fcomi   st(0), st(0)", "fcomi   st(0), st(1)", "fcomi   st(0), st(2)", "fcomi   st(0), st(3)",  // DB F0
    "fcomi   st(0), st(4)", "fcomi   st(0), st(5)", "fcomi   st(0), st(6)", "fcomi   st(0), st(7)",  // DB F4
    "%c ", "%c ", "%c ", "%c ",  // DB F8
    "%c ", "%c ", "%c ", "%c ",  // DB FC
    "fadd    #Mq ", "fmul    #Mq ", "fcom    #Mq ", "fcomp   #Mq ",  // DC /0
    "fsub    #Mq ", "fsubr   #Mq ", "fdiv    #Mq ", "fdivr   #Mq ",  // DC /4
    "fadd    st(0), st(0)", "fadd    st(1), st(0)", "fadd    st(2), st(0)", "fadd    st(3), st(0)",  // DC C0
    "fadd    st(4), st(0)", "fadd    st(5), st(0)", "fadd    st(6), st(0)", "fadd    st(7), st(0)",  // DC C4
    "fmul    st(0), st(0)", "fmul    st(1), st(0)", "fmul    st(2), st(0)", "fmul    st(3), st(0)",  // DC C8
    "fmul    st(4), st(0)", "fmul    st(5), st(0)", "fmul    st(6), st(0)", "fmul    st(7), st(0)",  // DC CC
    "%c ", "%c ", "%c ", "%c ",  // DC D0
    "%c ", "%c ", "%c ", "%c ",  // DC D4
    "%c ", "%c ", "%c ", "%c ",  // DC D8
    "%c ", "%c ", "%c ", "%c ",  // DC DC
    "fsubr   st(0), st(0)", "fsubr   st(1), st(0)", "fsubr   st(2), st(0)", "fsubr   st(3), st(0)",  // DC E0
    "fsubr   st(4), st(0)", "fsubr   st(5), st(0)", "fsubr   st(6), st(0)", "fsubr   st(7), st(0)",  // DC E4
    "fsub    st(0), st(0)", "fsub    st(1), st(0)", "fsub    st(2), st(0)", "fsub    st(3), st(0)",  // DC E8
    "fsub    st(4), st(0)", "fsub    st(5), st(0)", "fsub    st(6), st(0)", "fsub    st(7), st(0)",  // DC EC
    "fdivr   st(0), st(0)", "fdivr   st(1), st(0)", "fdivr   st(2), st(0)", "fdivr   st(3), st(0)",  // DC F0
    "fdivr   st(4), st(0)", "fdivr   st(5), st(0)", "fdivr   st(6), st(0)", "fdivr   st(7), st(0)",  // DC F4
    "fdiv    st(0), st(0)", "fdiv    st(1), st(0)", "fdiv    st(2), st(0)", "fdiv    st(3), st(0)",  // DC F8
    "fdiv    st(4), st(0)", "fdiv    st(5), st(0)", "fdiv    st(6), st(0)", "fdiv    st(7), st(0)",  // DC FC
    "fld     #Mq ", "fisttp  #Mq ", "fst     #Mq ", "fstp    #Mq ",  // DD /0
    "frstor  #Ms ", "%c #Ms ", "fnsave  #Ms ", "fnstsw  #Mw ",  // DD /4
    "ffree   st(0)", "ffree   st(1)", "ffree   st(2)", "ffree   st(3)",  // DD C0
    "ffree   st(4)", "ffree   st(5)", "ffree   st(6)", "ffree   st(7)",  // DD C4
    "%c ", "%c ", "%c ", "%c ",  // DD C8
    "%c ", "%c ", "%c ", "%c ",  // DD CC
    "fst     st(0)", "fst     st(1)", "fst     st(2)", "fst     st(3)",  // DD D0
    "fst     st(4)", "fst     st(5)", "fst     st(6)", "fst     st(7)",  // DD D4
    "fstp    st(0)", "fstp    st(1)", "fstp    st(2)", "fstp    st(3)",  // DD D8
    "fstp    st(4)", "fstp    st(5)", "fstp    st(6)", "fstp    st(7)",  // DD DC
    "fucom   st(0)", "fucom   st(1)", "fucom   st(2)", "fucom   st(3)",  // DD E0
    "fucom   st(4)", "fucom   st(5)", "fucom   st(6)", "fucom   st(7)",  // DD E4
    "fucomp  st(0)", "fucomp  st(1)", "fucomp  st(2)", "fucomp  st(3)",  // DD E8
    "fucomp  st(4)", "fucomp  st(5)", "fucomp  st(6)", "fucomp  st(7)",  // DD EC
    "%c ", "%c ", "%c ", "%c ",  // DD F0
    "%c ", "%c ", "%c ", "%c ",  // DD F4
    "%c ", "%c ", "%c ", "%c ",  // DD F8
    "%c ", "%c ", "%c ", "%c ",  // DD FC
    "fiadd   #Mw ", "fimul   #Mw ", "ficom   #Mw ", "ficomp  #Mw ",  // DE /0
    "fisub   #Mw ", "fisubr  #Mw ", "fidiv   #Mw ", "fidivr  #Mw ",  // DE /4
    "faddp   st(0), st(0)", "faddp   st(1), st(0)", "faddp   st(2), st(0)", "faddp   st(3), st(0)",  // DE C0
    "faddp   st(4), st(0)", "faddp   st(5), st(0)", "faddp   st(6), st(0)", "faddp   st(7), st(0)",  // DE C4
    "fmulp   st(0), st(0)", "fmulp   st(1), st(0)", "fmulp   st(2), st(0)", "fmulp   st(3), st(0)",  // DE C8
    "fmulp   st(4), st(0)", "fmulp   st(5), st(0)", "fmulp   st(6), st(0)", "fmulp   st(7), st(0)",  // DE CC
    "%c ", "%c ", "%c ", "%c ",  // DE D0
    "%c ", "%c ", "%c ", "%c ",  // DE D4
    "%c ", "fcompp", "%c ", "%c ",  // DE D8
    "%c ", "%c ", "%c ", "%c ",  // DE DC
    "fsubrp  st(0), st(0)", "fsubrp  st(1), st(0)", "fsubrp  st(2), st(0)", "fsubrp  st(3), st(0)",  // DE E0
    "fsubrp  st(4), st(0)", "fsubrp  st(5), st(0)", "fsubrp  st(6), st(0)", "fsubrp  st(7), st(0)",  // DE E4
    "fsubp   st(0), st(0)", "fsubp   st(1), st(0)", "fsubp   st(2), st(0)", "fsubp   st(3), st(0)",  // DE E8
    "fsubp   st(4), st(0)", "fsubp   st(5), st(0)", "fsubp   st(6), st(0)", "fsubp   st(7), st(0)",  // DE EC
    "fdivrp  st(0), st(0)", "fdivrp  st(1), st(0)", "fdivrp  st(2), st(0)", "fdivrp  st(3), st(0)",  // DE F0
    "fdivrp  st(4), st(0)", "fdivrp  st(5), st(0)", "fdivrp  st(6), st(0)", "fdivrp  st(7), st(0)",  // DE F4
    "fdivp   st(0), st(0)", "fdivp   st(1), st(0)", "fdivp   st(2), st(0)", "fdivp   st(3), st(0)",  // DE F8
    "fdivp   st(4), st(0)", "fdivp   st(5), st(0)", "fdivp   st(6), st(0)", "fdivp   st(7), st(0)",  // DE FC
    "fild    #Mw ", "fisttp  #Mw ", "fist    #Mw ", "fistp   #Mw ",  // DF /0
    "fbld    #Mt ", "fild    #Mq ", "fbstp   #Mt ", "fistp   #Mq ",  // DF /4
    "%c ", "%c ", "%c ", "%c ",  // DF C0
    "%c ", "%c ", "%c ", "%c ",  // DF C4
    "%c ", "%c ", "%c ", "%c ",  // DF C8
    "%c ", "%c ", "%c ", "%c ",  // DF CC
    "%c ", "%c ", "%c ", "%c ",  // DF D0
    "%c ", "%c ", "%c ", "%c ",  // DF D4
    "%c ", "%c ", "%c ", "%c ",  // DF D8
    "%c ", "%c ", "%c ", "%c ",  // DF DC
    "fnstsw  ax", "%c ", "%c ", "%c ",  // DF E0
    "%c ", "%c ", "%c ", "%c ",  // DF E4
    "fucomip st(0), st(0)", "fucomip st(0), st(1)", "fucomip st(0), st(2)", "fucomip st(0), st(3)",  // DF E8
    "fucomip st(0), st(4)", "fucomip st(0), st(5)", "fucomip st(0), st(6)", "fucomip st(0), st(7)",  // DF EC
    "fcomip  st(0), st(0)", "fcomip  st(0), st(1)", "fcomip  st(0), st(2)", "fcomip  st(0), st(3)",  // DF F0
    "fcomip  st(0), st(4)", "fcomip  st(0), st(5)", "fcomip  st(0), st(6)", "fcomip  st(0), st(7)",  // DF F4
    "%c ", "%c ", "%c ", "%c ",  // DF F8
    "%c ", "%c ", "%c ", "%c ",  // DF FC
};

}  // namespace crash::disasm_detail
// clang-format on
