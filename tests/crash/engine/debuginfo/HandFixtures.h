// The fixtures written out by hand, one per format, each byte's meaning
// worked out beside it: a check of the readers that does not share the
// fixture generator's reading of the formats.
#pragma once
#include <cstdint>
#include <string_view>

namespace crash::test {

// ---- A linker map ------------------------------------------------------------------

// Three code units and a data segment. What each line is there to show:
//   - the publics-by-name header has other words between its own;
//   - hexadecimal in lower case with a trailing "H" (the class table, Fill);
//   - a public in segment 2 (DataVar at 2:10) that must not shadow 1:10;
//   - "(unit init)": a name that starts with "(" runs to its ")";
//     "Forms.TForm.Show(Sender)": a name ends at "(";
//   - the Forms unit is written with a folder and a "|" (the segment's event
//     gets "Forms", the scanner keeps it as written);
//   - four line numbers break the order rules: 12 at 1:10 (not above 11 at
//     1:10), 102 at 1:4 (below 101), 7 in segment 2, 8 above the top 1:200;
//   - Main's only public lies 8 bytes into the unit: below it, the public
//     before belongs to another unit and does not count.
inline constexpr char kHandMap[] =
    "\r\n"
    " Start         Length     Name                   Class\r\n"
    " 0001:00401000 000000300H .text                  CODE\r\n"
    " 0002:00402000 000000100H .data                  DATA\r\n"
    "\r\n"
    "Detailed map of segments\r\n"
    "\r\n"
    " 0001:00000000 00000100 C=CODE     S=.text    G=(none)   M=System ACBP=A9\r\n"
    " 0001:00000100 000000c0 C=CODE     S=.text    G=(none)   M=C:\\Lib\\Vcl|Forms.pas ACBP=A9\r\n"
    " 0001:000001C0 00000040 C=CODE     S=.text    G=(none)   M=Main ACBP=A9\r\n"
    " 0002:00000000 00000020 C=DATA     S=.data    G=DGROUP   M=System ACBP=A9\r\n"
    "\r\n"
    "\r\n"
    "  Address   Publics, sorted   by   Name\r\n"
    "\r\n"
    " 0001:00000000       System.Move\r\n"
    "\r\n"
    "  Address             Publics by Value\r\n"
    "\r\n"
    " 0001:00000000       System.Move\r\n"
    " 0001:00000040       (unit init)\r\n"
    " 0002:00000010       System.DataVar\r\n"
    " 0001:000000a0H      System.Fill\r\n"
    " 0001:00000100       Forms.TForm.Show(Sender)\r\n"
    " 0001:000001c8       Main.Run\r\n"
    "\r\n"
    "Line numbers for System(C:\\Rtl\\System.pas) segment .text\r\n"
    "\r\n"
    "    10 0001:00000000    11 0001:00000010    12 0001:00000010    13 0001:00000030\r\n"
    "    20 0001:000000a0\r\n"
    "\r\n"
    "Line numbers for Forms(C:\\Lib\\Vcl|Forms.pas) segment .text\r\n"
    "\r\n"
    "   100 0001:00000100   101 0001:00000108   102 0001:00000004\r\n"
    "\r\n"
    "Line numbers for Main(Main.pas) segment .text\r\n"
    "\r\n"
    "     5 0001:000001C0     6 0001:000001D0     7 0002:000001E0     8 0001:00000400\r\n"
    "\r\n"
    "Bound resource files\r\n";

inline constexpr std::string_view kHandMapText(kHandMap, sizeof kHandMap - 1);

// ---- A JDBG block ------------------------------------------------------------------

// Two units, Alpha at 0x10 and Beta at 0x80, 136 bytes.
//
// Names (the area starts at 83 = 0x53; a reference is 1 + the offset in it).
// Six-bit codes: 1-10 "0".."9", 11-36 "A".."Z", 37-62 "a".."z", 63 "_",
// 0 ends; character i takes bits 6i..6i+5 of the bytes after the form byte.
//   ref  1 "Alpha"  codes 11 48 52 44 37 0    00 | 0B 4C B3 25 00
//          (11 | 48<<6 | 52<<12 | 44<<18 | 37<<24 = 0x25B34C0B, the 0 code
//           in the next byte)
//   ref  7 "Beta"   codes 12 41 56 37 0       00 | 4C 8A 97 00
//   ref 12 "TAlpha" codes 30 11 48 52 44 37 0 00 | DE 02 D3 6C 09 00
//   ref 19 "Run"    codes 28 57 50 0          00 | 5C 2E 03
//          (28 | 57<<6 | 50<<12 = 0x032E5C)
//   ref 23 "Helper" codes 18 41 48 52 41 54 0 00 | 52 0A D3 A9 0D 00
//   ref 30 "@Init"  form 2 puts the "@": codes 19 50 45 56 0   02 | 93 DC E2 00
//   ref 35 "a.pas"  form 1, each byte XOR 0xAA: 01 | CB 84 DA CB D9 | 00
//   ref 42 "\xAAb.pas": 0xAA itself is stored as it is  01 | AA C8 84 DA CB D9 | 00
//   ref 50 "Mod"    codes 23 51 40 0          00 | D7 8C 02
//
// Lists, numbers of seven bits a byte (bit 7: more follow), deltas from the
// entry before, ended by 0x7FFFFFFF = FF FF FF FF 07:
//   units   at 34: (+0x10, +1 Alpha) (+0x70, +6 Beta)
//   sources at 43: (+0x10, +35 a.pas) (+0x70, +7 \xAAb.pas)
//   symbols at 52: (+0x10, +12 TAlpha, +19 Run) (+0x30, +11 Helper, -19 -> 0:
//                  ED FF FF FF 0F, five bytes) (+0x50, +7 @Init, +0)
//   lines   at 70: (+0x10, +7) (+0x10, +1) (+0x20, +4) (+0x48, +18)
//                  lines 7@0x10 8@0x20 12@0x40 30@0x88
//
// The checksum at 29 spans the words at 28 and 32: its bytes add its value
// rotated left by 8 to the sum of the words, which the check takes away again
// by subtracting it and rotating right by 8. So the checksum to store is the
// sum of the block's words with the checksum's bytes zero and the flag set:
//   4742444A 00002201 00002B00 00003400 00004600 00005300 00003200 00000000
//   01100100 FFFF0670 1007FFFF FF077023 07FFFFFF 30130C10 FFFFED0B 07500FFF
//   FFFFFF00 071007FF 04200110 FFFF1248 0007FFFF 25B34C0B 8A4C0000 DE000097
//   096CD302 2E5C0000 0A520003 000DA9D3 E2DC9302 84CB0100 00D9CBDA 84C8AA01
//   00D9CBDA 028CD700                                 sum = 0x62D4A17D
inline constexpr unsigned char kHandBlock[] = {
    0x4A, 0x44, 0x42, 0x47,  // "JDBG"
    0x01,                    // version
    0x22, 0x00, 0x00, 0x00,  // units at 34
    0x2B, 0x00, 0x00, 0x00,  // source names at 43
    0x34, 0x00, 0x00, 0x00,  // symbols at 52
    0x46, 0x00, 0x00, 0x00,  // line numbers at 70
    0x53, 0x00, 0x00, 0x00,  // names at 83
    0x32, 0x00, 0x00, 0x00,  // module name: ref 50, "Mod"
    0x7D, 0xA1, 0xD4, 0x62,  // checksum
    0x01,                    // checksum present
    // 34: units
    0x10, 0x01, 0x70, 0x06, 0xFF, 0xFF, 0xFF, 0xFF, 0x07,
    // 43: source names
    0x10, 0x23, 0x70, 0x07, 0xFF, 0xFF, 0xFF, 0xFF, 0x07,
    // 52: symbols
    0x10, 0x0C, 0x13, 0x30, 0x0B, 0xED, 0xFF, 0xFF, 0xFF, 0x0F, 0x50, 0x07, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x07,
    // 70: line numbers
    0x10, 0x07, 0x10, 0x01, 0x20, 0x04, 0x48, 0x12, 0xFF, 0xFF, 0xFF, 0xFF, 0x07,
    // 83: names
    0x00, 0x0B, 0x4C, 0xB3, 0x25, 0x00,              // Alpha
    0x00, 0x4C, 0x8A, 0x97, 0x00,                    // Beta
    0x00, 0xDE, 0x02, 0xD3, 0x6C, 0x09, 0x00,        // TAlpha
    0x00, 0x5C, 0x2E, 0x03,                          // Run
    0x00, 0x52, 0x0A, 0xD3, 0xA9, 0x0D, 0x00,        // Helper
    0x02, 0x93, 0xDC, 0xE2, 0x00,                    // @Init
    0x01, 0xCB, 0x84, 0xDA, 0xCB, 0xD9, 0x00,        // a.pas
    0x01, 0xAA, 0xC8, 0x84, 0xDA, 0xCB, 0xD9, 0x00,  // \xAAb.pas
    0x00, 0xD7, 0x8C, 0x02,                          // Mod
};
static_assert(sizeof kHandBlock == 136);

// ---- TD32 data ---------------------------------------------------------------------

// One module, Unit1, of 0x20 bytes at offset 0, with one procedure over all
// of it and three lines; 272 bytes. Offsets count from the first byte.
// clang-format off
inline constexpr unsigned char kHandTd32[] = {
    // 000: "FB09", the first directory at 0xC8
    0x46, 0x42, 0x30, 0x39, 0xC8, 0x00, 0x00, 0x00,
    // 008: names (0x130): count 3; 1 "Unit1", 2 "@Unit1@Foo$qqrv", 3 "Unit1.pas",
    //      each a length byte, the text and a zero; 39 bytes and one to align
    0x03, 0x00, 0x00, 0x00,
    0x05, 'U', 'n', 'i', 't', '1', 0x00,
    0x0F, '@', 'U', 'n', 'i', 't', '1', '@', 'F', 'o', 'o', '$', 'q', 'q', 'r', 'v', 0x00,
    0x09, 'U', 'n', 'i', 't', '1', '.', 'p', 'a', 's', 0x00,
    0x00,
    // 030: module (0x120): overlay 0, library 0, 1 segment, style 0, name 1,
    //      time stamp 0, 12 reserved bytes; segment 1, flags 0, offset 0, size 0x20
    0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00,
    // 058: source module (0x127), offsets from here: 1 file, 1 segment, the
    //      file at +0x14; range 0..0x20; segment 1; two to align
    0x01, 0x00, 0x01, 0x00, 0x14, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00,
    0x01, 0x00, 0x00, 0x00,
    //      +14: the file: 1 line block, name 3, the block at +0x28; its range
    //      0..0x20; two to align
    0x01, 0x00, 0x03, 0x00, 0x00, 0x00, 0x28, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00,
    0x00, 0x00, 0x00, 0x00,
    //      +28: the block: segment 1, 3 pairs; offsets 0, 8, 0x10; lines 10,
    //      11, 12; two to align
    0x01, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00,
    0x0A, 0x00, 0x0B, 0x00, 0x0C, 0x00, 0x00, 0x00,
    // 098: aligned symbols (0x125): signature 1; a global procedure (0x205),
    //      42 bytes after its size: parent, end, next 0; size 0x20; debug
    //      start 0 and end 0x20; offset 0; segment 1; type 0; flags 0;
    //      reserved 0; name 2
    0x01, 0x00, 0x00, 0x00,
    0x2A, 0x00, 0x05, 0x02,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
    // 0C8: directory: header 16 bytes, entries of 12, 4 entries, no next one,
    //      flags 0; then type, module index, offset, size per entry
    0x10, 0x00, 0x0C, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x30, 0x01, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x27, 0x00, 0x00, 0x00,
    0x20, 0x01, 0x01, 0x00, 0x30, 0x00, 0x00, 0x00, 0x28, 0x00, 0x00, 0x00,
    0x27, 0x01, 0x01, 0x00, 0x58, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00,
    0x25, 0x01, 0x00, 0x00, 0x98, 0x00, 0x00, 0x00, 0x30, 0x00, 0x00, 0x00,
    // 108: "FB09" and the length of the data, this signature included: 0x110
    0x46, 0x42, 0x30, 0x39, 0x10, 0x01, 0x00, 0x00,
};
// clang-format on
static_assert(sizeof kHandTd32 == 0x110);

}  // namespace crash::test
