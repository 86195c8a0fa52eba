// Each of the lexer's generated tables, printed back in the layout of the
// tables it was written from and compared with them.
#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "datatypes/registry.hpp"
#include "interpreter/lexer_tables.hpp"

using namespace zun;
using namespace zun::lexer::tables;

namespace {

std::string trim(const std::string& s) {
    size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// The cells of each row of a Markdown table (a quoted "|" is text).
std::vector<std::vector<std::string>> rows_of(const char* table) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(table);
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        std::vector<std::string> cells;
        std::string cell;
        for (size_t i = 1; i < line.size(); i++) {
            bool quoted = line[i - 1] == '"' && i + 1 < line.size() && line[i + 1] == '"';
            if (line[i] == '|' && !quoted) {
                cells.push_back(trim(cell));
                cell.clear();
            } else {
                cell += line[i];
            }
        }
        rows.push_back(cells);
    }
    return rows;
}

std::vector<std::string> split(const std::string& s, const std::string& separator) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t at; (at = s.find(separator, start)) != std::string::npos; start = at + separator.size())
        out.push_back(s.substr(start, at - start));
    out.push_back(s.substr(start));
    return out;
}

std::string type_name_or_none(uint32_t type) { return type ? registry::type_name(type) : "none"; }

const char k_written_classes[] = R"TABLE(
| 0 | blank | tab (9), carriage return (13), space (32) | |
| 1 | line-feed | 10 | |
| 2 | digit | "1" to "9" | |
| 3 | zero | "0" | |
| 4 | "[" | | |
| 5 | "]" | | |
| 6 | "(" | | |
| 7 | ")" | | |
| 8 | "{" | | |
| 9 | "}" | | |
| 10 | double-quote | 34 | |
| 11 | "#" | | sharp 0x800000 |
| 12 | apostrophe | 39 | quote 0x2000000 |
| 13 | ":" | | colon 0x4000000 |
| 14 | "x" and "X" | | |
| 15 | "T" | | |
| 16 | "h" | | |
| 17 | "e" | | exponent 0x1000000 |
| 18 | "E" | | exponent 0x1000000 |
| 19 | hex-lower | "a" "b" "c" "d" "f" | |
| 20 | hex-upper | "A" "B" "C" "D" "F" | |
| 21 | "/" | | |
| 22 | backslash | 92 | |
| 23 | "<" | | less 0x100000 |
| 24 | ">" | | greater 0x80000 |
| 25 | "=" | | |
| 26 | "%" | | percent 0x40000 |
| 27 | "," | | comma 0x8000000 |
| 28 | ";" | | |
| 29 | "@" | | |
| 30 | "." | | dot 0x10000000 |
| 31 | "$" | | |
| 32 | "+" | | sign 0x200000 |
| 33 | "-" | | sign 0x200000 |
| 34 | "^" | | caret 0x20000000 |
| 35 | control | 1 to 8, 11, 12, 14 to 31 | |
| 36 | high-byte | 127 to 191 (UTF-8 continuation bytes and DEL) | |
| 37 | word-char | "!" "&" "*" "?" "_" "`" "|" "~", the letters not listed above ("G" to "Z" but "T" and "X", "g" to "z" but "h" and "x"), and the UTF-8 lead bytes 194 to 247 | lead bytes 194 to 239: utf8-2-3 0x40000000; 240 to 247: utf8-4 0x80000000 |
| 38 | bad-byte | 192, 193, 248 to 255 | |
| 39 | end | 0 (NUL) | end 0x400000 |
)TABLE";

const char k_written_states[] = R"TABLE(
| S0 | start | "}", backslash, high-byte, bad-byte to K1; blank, line-feed, control to S0; digit, zero to S23; apostrophe, ":" to S51; "E", hex-upper to S40; "+", "-" to S47; "[" to K2; "]" to K3; "(" to K4; ")" to K5; "{" to K6; double-quote to S2; "#" to S16; "/" to S13; "<" to S43; "=" to S58; "%" to S6; "," to K12; ";" to S1; "@" to S57; "." to S49; "$" to S36; end to K0 | S52 |
| S1 | line comment | line-feed, end to K11; bad-byte to K1 | S1 |
| S2 | quoted string | line-feed, bad-byte, end to K1; double-quote to K13; "^" to S3 | S2 |
| S3 | quoted string after caret | bad-byte, end to K1 | S2 |
| S4 | braced string | bad-byte, end to K1; "{" to K6; "}" to K7; "^" to S5 | S4 |
| S5 | braced string after caret | bad-byte, end to K1 | S4 |
| S6 | after "%" | blank, line-feed, "[", "]", "(", ")", "}", ";", "@", control, end to K14; "{" to S10; double-quote to S8; ":" to S54; "%" to S9; bad-byte to K1 | S7 |
| S7 | file name | blank, line-feed, "[", "]", "(", ")", "{", "}", ":", ";", "@", end to K19; double-quote, bad-byte to K1 | S7 |
| S8 | quoted file name | line-feed, bad-byte, end to K1; double-quote to K19 | S8 |
| S9 | run of "%" before "{" | blank, line-feed, "[", "]", "(", ")", "}", double-quote, backslash, ";", control, end to K14; "{" to S10; "%" to S9; bad-byte to K1 | S7 |
| S10 | raw string body | bad-byte, end to K1; "}" to S11 | S10 |
| S11 | raw string after "}" | bad-byte, end to K1; "}" to S11; "%" to S12 | S10 |
| S12 | raw string closing "%" run | blank, line-feed, "[", "]", "(", ")", "{", double-quote, "<", ";", control, end to K34; "%" to S12 | K1 |
| S13 | after "/" | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, "#", ";", "@", control, end to K14; ",", bad-byte to K1; ":" to S53; "/" to S15 | S14 |
| S14 | refinement | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, "/", ";", "@", control, end to K17; ":", ",", bad-byte to K1 | S14 |
| S15 | run of "/" | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, "#", ";", "@", control, end to K14; "%", ",", "$", bad-byte to K1; "/" to S15 | S52 |
| S16 | after "#" | blank, line-feed, "]", ")", "}", ":", "<", ">", ",", bad-byte to K1; ";", "@", control, end to K15; "[" to K8; "(" to S21; "{" to S17; double-quote to S19 | S22 |
| S17 | binary body | blank, line-feed, digit, zero, "x"/"X", "T", "h", "e", "E", hex-lower, hex-upper, "/", "=", "+", word-char to S17; "}" to K20; ";" to S18 | K1 |
| S18 | comment inside binary | bad-byte, end to K1; line-feed to S17 | S18 |
| S19 | char literal | bad-byte, end to K1; double-quote to K18; "^" to S20 | S19 |
| S20 | char literal after caret | bad-byte, end to K1 | S19 |
| S21 | construct "#(" body | bad-byte, end to K1; ")" to K10 | S21 |
| S22 | issue | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, ";", "@", control, end to K15; ":", "/", bad-byte to K1 | S22 |
| S23 | integer digits | hex-lower, backslash, ">", "=", "$", "+", "^", high-byte, word-char, bad-byte to K1; digit, zero, apostrophe to S23; "T", "/", "-" to S30; "#" to S16; ":" to S31; "x"/"X" to S33; "h" to S42; "e" to S26; "E" to S27; hex-upper to S39; "%" to K21; "@" to S56; "." to S24 | K16 |
| S24 | digits and "." | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, "/", "<", ",", ";", control, end to K22; digit, zero, apostrophe to S25; "e", "E" to S26; "#" to S28; "x"/"X" to S33; "%" to K21 | K1 |
| S25 | float fraction | "#", "T", "h", hex-lower, hex-upper, backslash, ">", "=", "$", "+", "-", "^", high-byte, word-char, bad-byte to K1; digit, zero, apostrophe to S25; "e", "E" to S26; "x"/"X" to S33; "%" to K21; "@" to S56; "." to S29 | K22 |
| S26 | exponent | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, ":", "/", "<", ",", ";", control, end to K22; digit, zero, "+", "-" to S26; "@" to S56 | K1 |
| S27 | digits and "E" | "#", apostrophe, "x"/"X", "T", "e", hex-lower, backslash, ">", "=", ";", "$", "^", high-byte, word-char, bad-byte to K1; digit, zero to S27; "E", hex-upper to S40; "+", "-" to S26; "h" to S42; "%" to K21; "@" to S56; "." to S29 | K22 |
| S28 | after digits, "." and "#" | "x"/"X", "T", "h", "e", "E", hex-lower, hex-upper, ">", "=", ".", "+", "-", high-byte, word-char to S28; "#", apostrophe, ":", "%", "@", "$", "^", bad-byte to K1; digit to K22 | K23 |
| S29 | tuple | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, ":", "/", "<", ";", control, end to K24; digit, zero, "." to S29 | K1 |
| S30 | date | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, "<", ";", "$", control, end to K25; "%", ",", "@", "^", high-byte, bad-byte to K1 | S30 |
| S31 | time after first ":" | digit, zero to S32 | K1 |
| S32 | time | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, "/", "<", ";", control, end to K28; digit, zero, ":", "." to S32 | K1 |
| S33 | pair after "x" | digit, zero, "+", "-" to S34; "@" to S56 | K1 |
| S34 | pair second number | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, ":", "/", "<", ";", control, end to K26; digit, zero, "e", "E", "." to S34; "@" to S56 | K1 |
| S35 | point body | blank, digit, zero, "]", "#", "e", "E", hex-lower, hex-upper, ",", ".", "+", "-", word-char to S35; ")" to K27 | K1 |
| S36 | after "$" | digit, zero to S37 | K1 |
| S37 | money digits | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, "#", ":", "/", "<", ";", control, end to K29; digit, zero, apostrophe to S37; "." to S38 | K1 |
| S38 | money fraction | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, "#", ":", "/", "<", ";", control, end to K29; digit, zero, apostrophe to S38 | K1 |
| S39 | hex digits | digit, zero, "E", hex-upper to S39; "h" to S41; "@" to S56 | K1 |
| S40 | upper hex letter at start | apostrophe, "x"/"X", "T", "e", hex-lower, "<", ">", "=", ".", "+", "-", "^", high-byte, word-char to S52; digit, zero, "E", hex-upper to S40; "%", ",", bad-byte to K1; ":" to S53; "h" to S41; "/" to K9; "@" to S56; "$" to S37 | K14 |
| S41 | hex digits and "h" | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, backslash, ";", control, end to K33; "#", "%", ",", bad-byte to K1; ":" to S53; "/" to K9; "@" to S56; "$" to S37 | S52 |
| S42 | decimal digits and "h" | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, backslash, "<", ";", control, end to K33; "/" to K9; "@" to S56; "$" to S37 | K1 |
| S43 | after "<" | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, ";", control, end to K14; ">", "=", "-" to S52; apostrophe to S46; ":" to S53; "<" to S43; bad-byte to K1 | S44 |
| S44 | tag body | bad-byte, end to K1; double-quote to S45; apostrophe to S46; ">" to K30 | S44 |
| S45 | tag inside double quotes | bad-byte, end to K1; double-quote to S44 | S45 |
| S46 | tag inside apostrophes | bad-byte, end to K1; apostrophe to S44 | S46 |
| S47 | sign at start | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, "#", backslash, ";", control, end to K14; apostrophe, "%", "^", bad-byte to K1; digit, zero to S23; "/" to K9; "." to S49; "$" to S37 | S52 |
| S48 | sign after prefix | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, "#", backslash, ";", control, end to K14; apostrophe, "%", "$", "^", bad-byte to K1; "/" to K9 | S52 |
| S49 | "." at start | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, "#", backslash, ";", control, end to K14; digit, zero, "+", "-" to S50; "%", ",", "$", bad-byte to K1; ":" to S53; "/" to K9; "@" to S56 | S52 |
| S50 | number after "." | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, ":", "/", "<", control, end to K22; digit, zero, "e", "E", "+", "-" to S50; "x"/"X" to S33; "%" to K21; "@" to S56 | K1 |
| S51 | after prefix apostrophe or colon | "x"/"X", "T", "h", "e", "E", hex-lower, hex-upper, ">", ".", "^", high-byte, word-char to S52; "+", "-" to S48; "/" to S13; "<" to S43; "=" to S58; "%" to S54 | K1 |
| S52 | word | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, "#", backslash, "<", ";", control, end to K14; "%", ",", bad-byte to K1; ":" to S53; "/" to K9; "@" to S56; "$" to S36 | S52 |
| S53 | word and ":" | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, backslash, ";", control, end to K14; "<", bad-byte to K1 | S55 |
| S54 | "%" word | blank, line-feed, "[", "]", "(", ")", "{", "}", backslash, ";", control, end to K14; "%" to S54 | K1 |
| S55 | url | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, backslash, "<", ";", control, end to K31; ">", "^", bad-byte to K1 | S55 |
| S56 | email | digit, zero, "x"/"X", "T", "h", "e", "E", hex-lower, hex-upper, "%", ".", "+", "-", high-byte, word-char to S56; "#", apostrophe, ":", ">", "=", ",", "@", "$", "^", bad-byte to K1 | K32 |
| S57 | ref | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, "<", ";", control, end to K35; "#", apostrophe, backslash, ">", "=", ",", "@", "$", "^", bad-byte to K1 | S57 |
| S58 | "=" at start | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, ":", backslash, ";", control, end to K14; "#", "%", ",", "@", "$", bad-byte to K1; "/" to K9 | S52 |
| S59 | path element start | "x"/"X", "T", "h", "e", "E", hex-lower, hex-upper, ">", "=", ".", high-byte, word-char to S62; digit, zero to S60; apostrophe, ":" to S61; "+", "-" to S64; "(" to K4; ")" to K5; double-quote to S2; "#" to S63; "<" to S43; "@" to S57; "$" to S36 | K1 |
| S60 | path integer | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, ":", "/", "<", ";", control, end to K16; digit, zero, apostrophe to S60; "e", "E" to S26; "x"/"X" to S33; "%" to K21; "@" to S56; "." to S24 | K1 |
| S61 | path element after prefix | "x"/"X", "T", "h", "e", "E", hex-lower, hex-upper, "<", ">", "=", ".", "+", "-", high-byte, word-char to S62 | K1 |
| S62 | path word | blank, line-feed, "[", "]", "(", ")", "{", "}", double-quote, ":", "/", backslash, ";", control, end to K14; "#", "%", ",", bad-byte to K1; "@" to S56; "$" to S36 | S62 |
| S63 | path "#" | blank, line-feed, "]", "(", ")", "{", "}", ":", "/", "<", ">", "=", ",", ";", "@", control, bad-byte, end to K1; "[" to S21; double-quote to S19 | S22 |
| S64 | path sign | "x"/"X", "T", "h", "e", "E", hex-lower, hex-upper, ">", "=", ".", high-byte, word-char to S62; "#", apostrophe, "<", "%", ",", "^", bad-byte to K1; digit, zero to S60; "+", "-" to S64; "@" to S56; "$" to S36 | K14 |
)TABLE";

const char k_written_kinds[] = R"TABLE(
| 0 | end of input | `lexer/handle-none` | | none |
| 1 | invalid text | `lexer/error-token` | | error! |
| 2 | "[" | `lexer/open-block` | | none |
| 3 | "]" | `lexer/load-map` | | none |
| 4 | "(" | `lexer/open-block` | | none |
| 5 | ")" | `lexer/close-paren` | | none |
| 6 | "{" that opens a braced string | `lexer/open-braced-string` | | none |
| 7 | "}" that closes a braced string | `lexer/close-braced-string` | | string! |
| 8 | "#[" (map) | `lexer/open-map` | | none |
| 9 | "/" that continues a path | `lexer/open-path` | | none |
| 10 | "#(" ... ")" construct | `lexer/load-construct` | | none |
| 11 | comment | `lexer/comment` | | none |
| 12 | "," | `lexer/comma` | | none |
| 13 | quoted string | `lexer/read-string-char` | `lexer/load-quoted-string` | string! |
| 14 | word | `lexer/scan-word` | `lexer/load-word` | word! |
| 15 | issue | `lexer/scan-issue` | `lexer/load-word` | issue! |
| 16 | integer | | `lexer/load-integer` | integer! |
| 17 | refinement | | `lexer/load-refinement` | refinement! |
| 18 | char | | `lexer/load-char` | char! |
| 19 | file | | `lexer/load-file` | file! |
| 20 | binary | | `lexer/load-binary` | binary! |
| 21 | percent | | `lexer/load-percent` | percent! |
| 22 | float | | `lexer/load-float-text` | float! |
| 23 | float special (digits, ".", "#" and a name) | | `lexer/load-float-special` | float! |
| 24 | tuple | | `lexer/load-tuple` | tuple! |
| 25 | date | | `lexer/scan-date` | date! |
| 26 | pair | | `lexer/load-pair` | pair! |
| 27 | point | | `lexer/load-point` | point2D! |
| 28 | time | | `lexer/load-time` | time! |
| 29 | money | | `lexer/load-money` | money! |
| 30 | tag | | `lexer/load-tag` | tag! |
| 31 | url | | `lexer/load-url` | url! |
| 32 | email | | `lexer/load-email` | email! |
| 33 | hexadecimal integer (hex digits and "h") | | `lexer/load-hex-or-word` | integer! |
| 34 | raw string ("%{" ... "}%") | | `lexer/load-raw-string` | string! |
| 35 | ref ("@" and a name) | | `lexer/load-ref` | ref! |
)TABLE";

const char k_written_floats[] = R"TABLE(
| 0 start | reject | 0 | 1 | reject | 4 | reject | no |
| 1 integer digits | reject | reject | 1 | 6 | 5 | 2 | yes |
| 2 after apostrophe | reject | reject | 1 | reject | reject | reject | yes |
| 3 fraction digits | reject | reject | 3 | 6 | reject | 4 | yes |
| 4 after leading "." or fraction apostrophe | reject | reject | 3 | reject | reject | reject | yes |
| 5 after digits and "." | reject | reject | 3 | reject | reject | reject | yes |
| 6 after exponent mark | reject | 7 | 8 | reject | reject | reject | no |
| 7 after exponent sign | reject | reject | 8 | reject | reject | reject | no |
| 8 exponent digits | reject | reject | 8 | reject | reject | reject | yes |
)TABLE";

const char k_written_escapes[] = R"TABLE(
| double-quote | 34 |
| "-" | 9 (tab) |
| "/" | 10 (line feed) |
| "^" | 94 |
| "{" | 123 |
| "}" | 125 |
| "~" | 127 |
| "@" | 0 |
| a lowercase letter "a" to "z" | 1 to 26 (the letter minus 96) |
| a byte from 65 to 95 ("A" to "Z", "[", backslash, "]", "_") | the byte minus 64 |
| "(" one hex digit ")" | the digit's value |
| "(" two hex digits ")" | their value |
| "(" name ")" | "null" 0, "back" 8, "tab" 9, "line" 10, "page" 12, "esc" 27, "del" 127 (names compared case-insensitively) |
| "(" hex digits ")" | their value, the parenthesised text being at most 7 bytes from "(" to ")" |
| any other byte | that byte |
)TABLE";

const char k_written_events[] = R"TABLE(
| `prescan` | 1 | when a token's end has been found, before anything is done with it |
| `scan` | 2 | after a value token has been scanned (validated) and before it is loaded |
| `load` | 4 | after a value has been built in the token buffer |
| `open` | 8 | when a block, paren, map or path is opened |
| `close` | 16 | when a block, paren, map or path is closed |
| `error` | 32 | when a lexer error is about to be raised |
)TABLE";


using LexerTables = test_support::RuntimeTest;

TEST_F(LexerTables, ClassNamesAndFlagsAsWritten) {
    auto rows = rows_of(k_written_classes);
    ASSERT_EQ(rows.size(), CLASS_COUNT);
    for (uint32_t c = 0; c < CLASS_COUNT; c++) {
        std::string name = rows[c][1] == "\"x\" and \"X\"" ? "\"x\"/\"X\"" : rows[c][1];
        EXPECT_EQ(rows[c][0], std::to_string(c));
        EXPECT_EQ(k_class_names[c], name) << "class " << c;
        // A flag written as "name 0xBIT" is carried by every byte of the class.
        std::string flag = rows[c][3];
        if (flag.empty() || flag.find(':') != std::string::npos) continue;
        uint32_t bit = uint32_t(std::stoul(flag.substr(flag.find("0x")), nullptr, 16));
        for (int b = 0; b < 256; b++) {
            if ((k_class_table[b] & CLASS_MASK) == c) {
                EXPECT_TRUE(k_class_table[b] & bit) << b;
            }
        }
    }
}

TEST_F(LexerTables, ClassBytesAsWritten) {
    // The bytes column, written out: characters, and numbers for the rest.
    const std::map<uint32_t, std::string> bytes = {
        {0, "9 13 32"}, {1, "10"}, {2, "123456789"}, {3, "0"}, {4, "["}, {5, "]"}, {6, "("},
        {7, ")"}, {8, "{"}, {9, "}"}, {10, "34"}, {11, "#"}, {12, "39"}, {13, ":"}, {14, "Xx"},
        {15, "T"}, {16, "h"}, {17, "e"}, {18, "E"}, {19, "abcdf"}, {20, "ABCDF"}, {21, "/"},
        {22, "92"}, {23, "<"}, {24, ">"}, {25, "="}, {26, "%"}, {27, ","}, {28, ";"}, {29, "@"},
        {30, "."}, {31, "$"}, {32, "+"}, {33, "-"}, {34, "^"},
        {35, "1-8 11 12 14-31"}, {36, "127-191"},
        {37, "!&*?GHIJKLMNOPQRSUVWYZ_`gijklmnopqrstuvwyz|~ 194-247"}, {38, "192 193 248-255"},
        {39, "0"}};
    for (const auto& [c, expected] : bytes) {
        // Printable members as characters, in byte order; the others as
        // decimal numbers and ranges.
        std::string chars, numbers;
        bool digits_only = c == 2 || c == 3;
        for (int b = 0; b < 256; b++) {
            if ((k_class_table[b] & CLASS_MASK) != c) continue;
            bool printable = b > 32 && b < 127 && b != 34 && b != 39 && b != 92;
            if (printable && (digits_only || b < '0' || b > '9' || c != 39)) {
                chars += char(b);
                continue;
            }
            int last = b;
            while (last + 1 < 256 && (k_class_table[last + 1] & CLASS_MASK) == c &&
                   !(last + 1 > 32 && last + 1 < 127 && last + 1 != 34 && last + 1 != 39 && last + 1 != 92))
                last++;
            numbers += (numbers.empty() ? "" : " ") + std::to_string(b) +
                       (last > b + 1 ? "-" + std::to_string(last) : last == b + 1 ? " " + std::to_string(last) : "");
            b = last;
        }
        std::string printed = chars.empty() ? numbers : numbers.empty() ? chars : chars + " " + numbers;
        EXPECT_EQ(printed, expected) << "class " << c;
    }
}

TEST_F(LexerTables, TransitionsAsWritten) {
    auto rows = rows_of(k_written_states);
    ASSERT_EQ(rows.size(), SCANNING_STATES);
    auto target_name = [](uint32_t t) {
        return t >= TERMINAL_BASE ? "K" + std::to_string(t - TERMINAL_BASE) : "S" + std::to_string(t);
    };
    for (uint32_t s = 0; s < SCANNING_STATES; s++) {
        const auto& row = rows[s];
        EXPECT_EQ(row[0], "S" + std::to_string(s));
        EXPECT_EQ(k_state_roles[s], row[1]) << "S" << s;
        // Print the generated row in the written layout: its groups in the
        // written order, each group's classes in the written order, then any
        // class or target the writing does not have.
        std::vector<std::pair<std::string, std::vector<std::string>>> groups;
        for (const std::string& g : split(row[2], "; ")) {
            size_t to = g.rfind(" to ");
            groups.push_back({g.substr(to + 4), split(g.substr(0, to), ", ")});
        }
        std::vector<bool> printed(CLASS_COUNT, false);
        std::string text;
        auto add = [&](const std::string& target, const std::vector<uint32_t>& classes) {
            if (classes.empty()) return;
            if (!text.empty()) text += "; ";
            for (size_t i = 0; i < classes.size(); i++)
                text += (i ? ", " : "") + std::string(k_class_names[classes[i]]);
            text += " to " + target;
        };
        for (const auto& [target, names] : groups) {
            std::vector<uint32_t> classes;
            for (const std::string& n : names)
                for (uint32_t c = 0; c < CLASS_COUNT; c++)
                    if (k_class_names[c] == n && target_name(k_transitions[s][c]) == target) {
                        classes.push_back(c);
                        printed[c] = true;
                    }
            for (uint32_t c = 0; c < CLASS_COUNT; c++)
                if (!printed[c] && target_name(k_transitions[s][c]) == target && target != row[3]) {
                    classes.push_back(c);
                    printed[c] = true;
                }
            add(target, classes);
        }
        for (uint32_t c = 0; c < CLASS_COUNT; c++) {
            std::string target = target_name(k_transitions[s][c]);
            if (printed[c] || target == row[3]) continue;
            std::vector<uint32_t> classes;
            for (uint32_t d = c; d < CLASS_COUNT; d++)
                if (!printed[d] && target_name(k_transitions[s][d]) == target) {
                    classes.push_back(d);
                    printed[d] = true;
                }
            add(target, classes);
        }
        EXPECT_EQ(text, row[2]) << "S" << s;
    }
}

TEST_F(LexerTables, TokenKindsAndHandlerSlotsAsWritten) {
    auto rows = rows_of(k_written_kinds);
    ASSERT_EQ(rows.size(), KIND_COUNT);
    auto slot = [](const char* name) { return std::string(name) == "-" ? "" : "`" + std::string(name) + "`"; };
    for (uint32_t k = 0; k < KIND_COUNT; k++) {
        const KindInfo& info = k_kinds[k];
        std::vector<std::string> printed = {std::to_string(k), info.token, slot(info.scanner),
                                            slot(info.loader), type_name_or_none(info.event_type)};
        EXPECT_EQ(printed, rows[k]) << "kind " << k;
        EXPECT_EQ(k_state_type[TERMINAL_BASE + k], info.event_type);
    }
}

TEST_F(LexerTables, FloatSyntaxAsWritten) {
    auto rows = rows_of(k_written_floats);
    ASSERT_EQ(rows.size(), 9u);
    for (uint32_t s = 0; s < 9; s++) {
        std::vector<std::string> printed = {std::to_string(s) + " " + k_float_state_names[s]};
        for (int c = 0; c < 6; c++) {
            uint8_t next = k_float_next[s][c];
            printed.push_back(next == FLOAT_REJECT ? "reject" : std::to_string(next));
        }
        printed.push_back(k_float_may_end[s] ? "yes" : "no");
        EXPECT_EQ(printed, rows[s]) << "state " << s;
    }
    EXPECT_FALSE(k_float_may_end[FLOAT_REJECT]);
    for (int c = 0; c < 6; c++) EXPECT_EQ(k_float_next[FLOAT_REJECT][c], FLOAT_REJECT);
    for (int b = 104; b < 256; b++) EXPECT_EQ(k_float_class[b], 0) << b;
    EXPECT_EQ(std::string(k_float_class_names[3]), "e/E");
}

TEST_F(LexerTables, CaretEscapesAsWritten) {
    auto rows = rows_of(k_written_escapes);
    for (size_t i = 0; i < std::size(k_escape_bytes); i++) {
        const EscapeRow& r = k_escape_bytes[i];
        std::string after = r.byte == '"' ? "double-quote" : "\"" + std::string(1, char(r.byte)) + "\"";
        std::string code = rows[i][1].substr(0, rows[i][1].find(' '));
        EXPECT_EQ(after, rows[i][0]);
        EXPECT_EQ(std::to_string(r.code_point), code);
        EXPECT_EQ(k_escapes[r.byte], r.code_point);
    }
    EXPECT_EQ(rows[8][0], "a lowercase letter \"a\" to \"z\"");
    EXPECT_EQ(rows[8][1], "1 to 26 (the letter minus " + std::to_string(k_escape_ranges[0].subtract) + ")");
    EXPECT_EQ(k_escape_ranges[0].first, 'a');
    EXPECT_EQ(k_escape_ranges[0].last, 'z');
    EXPECT_EQ("a byte from " + std::to_string(k_escape_ranges[1].first) + " to " +
                  std::to_string(k_escape_ranges[1].last) + " (\"A\" to \"Z\", \"[\", backslash, \"]\", \"_\")",
              rows[9][0]);
    EXPECT_EQ("the byte minus " + std::to_string(k_escape_ranges[1].subtract), rows[9][1]);
    std::string names;
    for (const EscapeName& n : k_escape_names)
        names += (names.empty() ? "" : ", ") + ("\"" + std::string(n.name) + "\" ") + std::to_string(n.code_point);
    EXPECT_EQ(rows[12][1], names + " (names compared case-insensitively)");
    EXPECT_EQ(rows.back()[1], "that byte");
    EXPECT_EQ(k_escapes[uint8_t('#')], '#');
    EXPECT_EQ(k_escapes[uint8_t('A')], 1);
    EXPECT_EQ(k_escapes[uint8_t('_')], 31);
    EXPECT_EQ(k_escapes[uint8_t('^')], '^');
}

TEST_F(LexerTables, EventsAsWritten) {
    auto rows = rows_of(k_written_events);
    ASSERT_EQ(rows.size(), std::size(k_events));
    for (size_t i = 0; i < std::size(k_events); i++) {
        std::vector<std::string> printed = {"`" + std::string(k_events[i].word) + "`",
                                            std::to_string(k_events[i].bit), k_events[i].when};
        EXPECT_EQ(printed, rows[i]);
        EXPECT_EQ(k_events[i].bit, 1u << i);
    }
}

TEST_F(LexerTables, SmallTablesAsWritten) {
    std::string days, names;
    for (int m = 0; m < 12; m++) {
        days += (m ? ", " : "") + std::to_string(k_month_days[m]);
        names += (m ? " " : "") + std::string(k_month_names[m]);
    }
    EXPECT_EQ(days, "31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31");
    EXPECT_EQ(names, "January February March April May June July August September October November December");

    std::string constructs;
    for (const ConstructInfo& c : k_constructs) {
        constructs += (constructs.empty() ? "" : ", ") + ("\"" + std::string(c.name) + "\" ") +
                      registry::type_name(c.type);
        if (c.type == TYPE_LOGIC) constructs += " " + std::to_string(c.value);
        EXPECT_EQ(c.length, std::strlen(c.name));
    }
    EXPECT_EQ(constructs, "\"true\" logic! 1, \"false\" logic! 0, \"none\" none!, \"unset\" unset!");

    std::string path_end;
    for (uint32_t c = 0; c < CLASS_COUNT; c++)
        if (k_path_end[c]) path_end += (path_end.empty() ? "" : ", ") + std::string(k_class_names[c]);
    EXPECT_EQ(path_end, "blank, line-feed, \"[\", \"]\", \"(\", \")\", \"{\", double-quote, \":\", \"<\", "
                        "\";\", word-char, bad-byte, end");

    std::string point;
    for (int b = 0; b < 256; b++)
        if (k_point_text[b]) {
            point += b == 9 ? "tab " : b == 32 ? "space " : std::string(1, char(b)) + " ";
        }
    EXPECT_EQ(point, "tab space # + - . 0 1 2 3 4 5 6 7 8 9 A E F I N a e f i n ");

    std::string delimiters;
    for (size_t i = 0; i < std::size(k_delimiters); i++) {
        uint32_t first = k_delimiters[i], last = first;
        while (i + 1 < std::size(k_delimiters) && k_delimiters[i + 1] == last + 1)
            last = k_delimiters[++i];
        delimiters += (delimiters.empty() ? "" : ", ") + std::to_string(first) +
                      (last > first + 1 ? " to " + std::to_string(last) : last == first + 1 ? ", " + std::to_string(last) : "");
    }
    EXPECT_EQ(delimiters, "133, 160, 5760, 8192 to 8202, 8232, 8233, 8239, 8287, 12288, 6158, 8203");

    for (uint32_t c = 0; c < CLASS_COUNT; c++) EXPECT_EQ(k_line_table[c], c == C_LINE_FEED);
    EXPECT_TRUE(start_skip(0));
    for (uint32_t s = 1; s < STATE_COUNT; s++) EXPECT_FALSE(start_skip(s));
}

}  // namespace
