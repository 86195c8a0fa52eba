#include "services/zstd_compress.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

#include "core/support.hpp"
#include "services/huffman.hpp"
#include "services/zstd_encode.hpp"
#include "services/zstd_format.hpp"

namespace zun::compress {

namespace {

// Window log, chain log, hash log, search log, minimum match, strategy,
// target length / 4; 19 levels for each input-size class (above 256 KiB, up
// to 256 KiB, up to 128 KiB, up to 16 KiB). From services/zstd-levels.tsv.
constexpr uint8_t k_levels[4][19][7] = {
#include "zstd_levels.inc"
};

}  // namespace

int64_t zstd_compress_bound(int64_t length) {
    const int64_t blocks = std::max<int64_t>(1, (length + ZSTD_BLOCK_MAX - 1) / ZSTD_BLOCK_MAX);
    return length + 3 * blocks + 10;
}

ZstdParams zstd_params(int32_t level, int64_t length) {
    if (level <= 0) level = 3;
    if (level > 19) level = 19;
    const int cls = length > 262144 ? 0 : length > 131072 ? 1 : length > 16384 ? 2 : 3;
    const uint8_t* row = k_levels[cls][level - 1];
    ZstdParams p;
    p.level = level;
    p.window_log = row[0];
    p.chain_log = row[1];
    p.hash_log = row[2];
    p.search_log = row[3];
    p.min_match = row[4];
    p.strategy = row[5];
    p.target_length = 4 * row[6];
    int input_log = 6;
    if (length > 64) input_log = highbit32(uint32_t(length - 1)) + 1;
    if (p.strategy >= 4) {
        input_log = std::min(p.window_log, input_log);
        p.hash_log = std::min(p.hash_log, input_log + 1);
        p.chain_log = std::min(p.chain_log, input_log + 1);
        if (p.strategy >= 5 && p.min_match == 3) p.hash3_log = std::min(17, input_log);
        p.splitter = p.strategy >= 5 && input_log >= 17;
    } else {
        p.hash_log = std::min(p.hash_log, input_log);
        if (p.strategy == 0) p.chain_log = std::min(p.chain_log, input_log - 1);
        else p.chain_log = std::min({p.chain_log, input_log, p.window_log});
    }
    p.input_log = input_log;
    p.search_attempts = 1 << p.search_log;
    p.block_size = uint32_t(std::min<int64_t>(length, ZSTD_BLOCK_MAX));
    p.seq_capacity = p.min_match == 3 ? p.block_size / 3 + 2 : p.block_size / 4 + 2;
    return p;
}

namespace {

// The work area: on the stack up to 32 KiB, else zero-filled pages.
class WorkArea {
public:
    explicit WorkArea(size_t size) : m_size(size) {
        if (size <= sizeof(m_local)) {
            std::memset(m_local, 0, size);
            m_data = m_local;
            return;
        }
        void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) support::fire_error(ErrorId::internal_no_memory);
        m_data = static_cast<uint8_t*>(p);
    }
    ~WorkArea() {
        if (m_data != m_local) munmap(m_data, m_size);
    }
    WorkArea(const WorkArea&) = delete;
    WorkArea& operator=(const WorkArea&) = delete;
    uint8_t* data() { return m_data; }

private:
    alignas(16) uint8_t m_local[32768];
    uint8_t* m_data;
    size_t m_size;
};

// Carves aligned arrays out of the work area.
struct Carver {
    uint8_t* p;
    template <class T>
    T* take(size_t n) {
        T* r = reinterpret_cast<T*>(p);
        p += (n * sizeof(T) + 15) & ~size_t(15);
        return r;
    }
};

size_t work_area_size(const ZstdParams& p) {
    size_t n = 0;
    auto add = [&](size_t bytes) { n += (bytes + 15) & ~size_t(15); };
    add(sizeof(uint32_t) << p.hash_log);
    add(sizeof(uint32_t) << p.chain_log);
    if (p.hash3_log) add(sizeof(uint32_t) << p.hash3_log);
    add(3 * sizeof(uint32_t) * p.seq_capacity);
    add(3 * p.seq_capacity);
    add(p.block_size + 16);
    if (p.strategy >= 5) add(zstd_opt_work_size());
    if (p.splitter) {
        add(2 * sizeof(uint32_t) * p.seq_capacity);
        add(p.block_size + 512);
    }
    return n + 64;
}

}  // namespace

int32_t zstd_compress(uint8_t* out, int32_t* size, const uint8_t* in, int32_t length,
                      int32_t level) {
    const int64_t n = length > 0 ? length : 0;
    const int64_t bound = zstd_compress_bound(n);
    if (!out || *size < bound) {
        *size = int32_t(std::min<int64_t>(bound, INT32_MAX));
        return TOO_SMALL;
    }
    const ZstdParams p = zstd_params(level, n);
    WorkArea area(work_area_size(p));
    Carver carve{area.data()};
    ZstdEncoder enc;
    enc.params = p;
    enc.base = in;
    enc.length = uint32_t(n);
    enc.hash = carve.take<uint32_t>(size_t(1) << p.hash_log);
    enc.chain = carve.take<uint32_t>(size_t(1) << p.chain_log);
    enc.hash3 = p.hash3_log ? carve.take<uint32_t>(size_t(1) << p.hash3_log) : nullptr;
    enc.seq.lit_len = carve.take<uint32_t>(p.seq_capacity);
    enc.seq.match_len = carve.take<uint32_t>(p.seq_capacity);
    enc.seq.off_value = carve.take<uint32_t>(p.seq_capacity);
    enc.seq.ll_code = carve.take<uint8_t>(3 * size_t(p.seq_capacity));
    enc.seq.ml_code = enc.seq.ll_code + p.seq_capacity;
    enc.seq.of_code = enc.seq.ml_code + p.seq_capacity;
    enc.seq.literals = carve.take<uint8_t>(p.block_size + 16);
    enc.seq.capacity = p.seq_capacity;
    enc.opt = p.strategy >= 5 ? reinterpret_cast<OptState*>(carve.take<uint8_t>(zstd_opt_work_size()))
                              : nullptr;
    enc.split_offsets = p.splitter ? carve.take<uint32_t>(p.seq_capacity) : nullptr;
    enc.split_lits = p.splitter ? carve.take<uint32_t>(p.seq_capacity) : nullptr;
    enc.split_scratch = p.splitter ? carve.take<uint8_t>(p.block_size + 512) : nullptr;
    enc.next_index = 0;
    enc.rep[0] = 1, enc.rep[1] = 4, enc.rep[2] = 8;

    uint8_t* op = out;
    write_u32le(op, ZSTD_MAGIC);
    op += 4;
    const uint64_t window = uint64_t(1) << p.window_log;
    if (window < uint64_t(n)) {
        *op++ = 0x80;
        *op++ = uint8_t((p.window_log - 10) << 3);
        write_u32le(op, uint32_t(n));
        op += 4;
    } else if (n <= 255) {
        *op++ = 0x20;
        *op++ = uint8_t(n);
    } else if (n <= 65791) {
        *op++ = 0x60;
        write_u16le(op, uint32_t(n - 256));
        op += 2;
    } else {
        *op++ = 0xA0;
        write_u32le(op, uint32_t(n));
        op += 4;
    }
    uint32_t pos = 0;
    do {
        const uint32_t block = uint32_t(std::min<int64_t>(n - pos, ZSTD_BLOCK_MAX));
        const bool last = pos + block >= n;
        op += zstd_compress_block(enc, pos, block, last, op);
        pos += block;
    } while (pos < n);
    *size = int32_t(op - out);
    return DONE;
}

}  // namespace zun::compress
