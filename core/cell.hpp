// The value cell: four 32-bit words, a header (type id in bits 0-7, flags above)
// and a three-word payload whose meaning belongs to the cell's datatype.
#pragma once
#include <bit>
#include <cstdint>
#include <cstring>

namespace zun {

using NodeId = uint32_t;  // 0 = no node

enum TypeId : uint32_t {
    TYPE_DATATYPE = 1, TYPE_UNSET, TYPE_NONE, TYPE_LOGIC, TYPE_BLOCK, TYPE_PAREN,
    TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_CHAR, TYPE_INTEGER, TYPE_FLOAT,
    TYPE_SYMBOL, TYPE_CONTEXT, TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD,
    TYPE_GET_WORD, TYPE_REFINEMENT, TYPE_ISSUE, TYPE_NATIVE, TYPE_ACTION, TYPE_OP,
    TYPE_FUNCTION, TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH,
    TYPE_ROUTINE, TYPE_BITSET, TYPE_TRIPLE, TYPE_OBJECT, TYPE_TYPESET, TYPE_ERROR,
    TYPE_VECTOR, TYPE_HASH, TYPE_PAIR, TYPE_PERCENT, TYPE_TUPLE, TYPE_MAP,
    TYPE_BINARY, TYPE_SERIES, TYPE_TIME, TYPE_TAG, TYPE_EMAIL, TYPE_HANDLE,
    TYPE_DATE, TYPE_PORT, TYPE_MONEY, TYPE_REF, TYPE_POINT2D, TYPE_POINT3D,
    TYPE_IMAGE, TYPE_EVENT,
    TYPE_COUNT_MAX = 56  // the type tables hold ids 0..56
};
static_assert(TYPE_EVENT == 54);

constexpr uint32_t TYPE_MASK = 0xFF;
constexpr uint32_t NEW_LINE_FLAG = 0x40000000;

struct Cell {
    uint32_t header;
    uint32_t data1;
    uint32_t data2;
    uint32_t data3;

    uint32_t type() const { return header & TYPE_MASK; }
    bool is(uint32_t t) const { return type() == t; }
    // Retyping keeps the flag bits.
    void set_type(uint32_t t) { header = (header & ~TYPE_MASK) | t; }

    double as_double() const {  // float! and its kin keep the double in words 2-3
        uint64_t bits = (uint64_t(data3) << 32) | data2;
        return std::bit_cast<double>(bits);
    }
    void set_double(double d) {
        uint64_t bits = std::bit_cast<uint64_t>(d);
        data2 = uint32_t(bits);
        data3 = uint32_t(bits >> 32);
    }
    // integer! and char! keep their value in word 2.
    int32_t as_int() const { return int32_t(data2); }
};
static_assert(sizeof(Cell) == 16);

inline Cell make_cell(uint32_t header, uint32_t d1 = 0, uint32_t d2 = 0, uint32_t d3 = 0) {
    return Cell{header, d1, d2, d3};
}

inline Cell integer_cell(int32_t value) { return Cell{TYPE_INTEGER, 0, uint32_t(value), 0}; }

}  // namespace zun
