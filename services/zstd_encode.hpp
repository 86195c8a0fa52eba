// Inside the Zstandard compressor: the level's parameters, the encoder's
// state, the match finders (zstd_match.cpp) and the block writer
// (zstd_encode.cpp).
#pragma once
#include <cstddef>
#include <cstdint>

namespace zun::compress {

struct ZstdParams {
    int level;
    int window_log, chain_log, hash_log, search_log, min_match, strategy, target_length;
    int input_log;
    int hash3_log = 0;  // a 3-byte hash table for optimal parsing with minimum match 3
    bool splitter = false;
    int search_attempts;
    uint32_t block_size;
    uint32_t seq_capacity;
};

ZstdParams zstd_params(int32_t level, int64_t length);

// The sequences of one block. off_value is the format's offset value: 1 to 3
// a repeat offset, else the offset + 3.
struct SeqStore {
    uint32_t* lit_len;
    uint32_t* match_len;
    uint32_t* off_value;
    uint8_t *ll_code, *ml_code, *of_code;
    uint8_t* literals;
    uint32_t count;
    uint32_t nlits;
    uint32_t capacity;
};

// The optimal parser's statistics and prices.
struct OptState {
    uint32_t lit_freq[256];
    uint32_t ll_freq[36];
    uint32_t ml_freq[53];
    uint32_t of_freq[32];
    uint32_t lit_sum, ll_sum, ml_sum, of_sum;
    uint32_t lit_base, ll_base, ml_base, of_base;
    bool ready;  // statistics exist (after the first block)
};

struct ZstdEncoder {
    ZstdParams params;
    const uint8_t* base;
    uint32_t length;
    uint32_t* hash;
    uint32_t* chain;
    uint32_t* hash3;
    uint32_t next_index;  // the next position to insert
    uint32_t rep[3];
    SeqStore seq;
    OptState* opt;
    // The block splitter's work: plain offsets and literal starts per
    // sequence, and room to write a part to measure it.
    uint32_t* split_offsets;
    uint32_t* split_lits;
    uint8_t* split_scratch;
};

// Compresses input [pos, pos + size) as one block (or several when the
// splitter cuts it) at out; answers the bytes written.
size_t zstd_compress_block(ZstdEncoder& enc, uint32_t pos, uint32_t size, bool last, uint8_t* out);

// Match finders: fill enc.seq with the block's sequences and literals.
void zstd_find_fast(ZstdEncoder& enc, uint32_t start, uint32_t end);
void zstd_find_lazy(ZstdEncoder& enc, uint32_t start, uint32_t end);
void zstd_find_optimal(ZstdEncoder& enc, uint32_t start, uint32_t end);
// The optimal parser's share of the work area.
size_t zstd_opt_work_size();

// Appends a sequence: literals [anchor, anchor + lit_len), then a match of
// length match_len at this offset; the offset value and the repeat offsets
// follow the format's rules.
void zstd_store_sequence(ZstdEncoder& enc, const uint8_t* anchor, uint32_t lit_len,
                         uint32_t offset, uint32_t match_len);
// The literals after the last sequence.
void zstd_store_last_literals(ZstdEncoder& enc, const uint8_t* anchor, uint32_t lit_len);

// The format's offset value (1 to 3 a repeat, else offset + 3) of an offset
// under this repeat history; ll0 when no literals come before the match.
inline uint32_t offset_value(const uint32_t* rep, uint32_t offset, bool ll0) {
    if (!ll0) return offset == rep[0] ? 1 : offset == rep[1] ? 2 : offset == rep[2] ? 3 : offset + 3;
    return offset == rep[1] ? 1 : offset == rep[2] ? 2 : offset == rep[0] - 1 ? 3 : offset + 3;
}
// The offset an offset value stands for under this history.
inline uint32_t offset_of_value(const uint32_t* rep, uint32_t value, bool ll0) {
    if (value > 3) return value - 3;
    const uint32_t index = value - 1 + ll0;
    return index == 3 ? rep[0] - 1 : rep[index];
}
// The history after a match with this offset and offset value (out may be rep).
inline void next_history(const uint32_t* rep, uint32_t offset, uint32_t value, bool ll0,
                         uint32_t* out) {
    const uint32_t r0 = rep[0], r1 = rep[1], r2 = rep[2];
    const uint32_t index = value > 3 ? 3 : value - 1 + ll0;
    if (index == 0) {
        out[0] = r0, out[1] = r1, out[2] = r2;
    } else {
        out[2] = index == 1 ? r2 : r1;
        out[1] = r0;
        out[0] = offset;
    }
}

inline uint32_t ll_code_of(uint32_t ll) {
    static constexpr uint8_t k_small[64] = {
        0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 16, 17, 17, 18, 18,
        19, 19, 20, 20, 20, 20, 21, 21, 21, 21, 22, 22, 22, 22, 22, 22, 22, 22, 23, 23, 23, 23,
        23, 23, 23, 23, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24};
    return ll < 64 ? k_small[ll] : uint32_t(31 - __builtin_clz(ll)) + 19;
}
inline uint32_t ml_code_of(uint32_t ml) {
    const uint32_t b = ml - 3;
    static constexpr uint8_t k_small[128] = {
        0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
        22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 32, 33, 33, 34, 34, 35, 35, 36, 36, 36, 36,
        37, 37, 37, 37, 38, 38, 38, 38, 38, 38, 38, 38, 39, 39, 39, 39, 39, 39, 39, 39, 40, 40,
        40, 40, 40, 40, 40, 40, 40, 40, 40, 40, 40, 40, 40, 40, 41, 41, 41, 41, 41, 41, 41, 41,
        41, 41, 41, 41, 41, 41, 41, 41, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42,
        42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42};
    return b < 128 ? k_small[b] : uint32_t(31 - __builtin_clz(b)) + 36;
}

}  // namespace zun::compress
