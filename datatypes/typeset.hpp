// typeset!: a set of datatypes in one cell. Payload words 1-3 are 96 bits in
// memory order; type id i is bit 7 - (i mod 8) of byte i / 8.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::typeset {

inline bool has(const Cell* ts, uint32_t type) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&ts->data1);
    return type < 96 && (bytes[type >> 3] & (0x80u >> (type & 7)));
}
inline void add(Cell* ts, uint32_t type) {
    uint8_t* bytes = reinterpret_cast<uint8_t*>(&ts->data1);
    bytes[type >> 3] |= uint8_t(0x80u >> (type & 7));
}

void clear(Cell* ts);
Cell* append_to_block(const Cell* block, uint32_t w1, uint32_t w2, uint32_t w3);
Cell* append_any_value(const Cell* block);  // every type but unset!
void set_type(Cell* ts, const Cell* value);
Cell* append_from_spec(const Cell* block, const Cell* spec);
void to_block(const Cell* ts, const Cell* block);
int count(const Cell* ts);
Cell* push_copy(const Cell* ts);
void do_set_op(int op);

void register_type();

}  // namespace zun::typeset
