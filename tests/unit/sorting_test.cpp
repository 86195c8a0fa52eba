#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "core/runtime.hpp"
#include "core/sorting.hpp"
#include "tests/unit/runtime_fixture.hpp"

using namespace zun;

namespace {

using Sort = void (*)(void*, int32_t, int32_t, uintptr_t, uintptr_t, sorting::Comparator);

constexpr uintptr_t MAGIC = 0x5EEDF00D;

// What a comparator saw; user word 1 points to it, user word 2 is MAGIC.
struct Probe {
    size_t calls = 0;
    size_t throw_at = std::numeric_limits<size_t>::max();
    bool user2_ok = true;
    size_t key_bytes = 4;  // keys compared as unsigned bytes in the first key_bytes bytes
    size_t max_heap = 0;
};

struct Stop {};

int by_key(const void* a, const void* b, uintptr_t user1, uintptr_t user2) {
    auto* p = reinterpret_cast<Probe*>(user1);
    if (user2 != MAGIC) p->user2_ok = false;
    if (++p->calls == p->throw_at) throw Stop{};
    p->max_heap = std::max(p->max_heap, runtime::heap_bytes());
    return std::memcmp(a, b, p->key_bytes);
}

// Records of 8 bytes: a big-endian key (so memcmp orders it) and the input position.
struct Record {
    unsigned char key[4];
    uint32_t id;
};
static_assert(sizeof(Record) == 8);

std::vector<Record> records_of(const std::vector<uint32_t>& keys) {
    std::vector<Record> v(keys.size());
    for (size_t i = 0; i < keys.size(); i++) {
        for (int b = 0; b < 4; b++) v[i].key[b] = uint8_t(keys[i] >> (24 - 8 * b));
        v[i].id = uint32_t(i);
    }
    return v;
}

bool key_less(const Record& a, const Record& b) { return std::memcmp(a.key, b.key, 4) < 0; }
bool record_less(const Record& a, const Record& b) {
    int c = std::memcmp(a.key, b.key, 4);
    return c < 0 || (c == 0 && a.id < b.id);
}
bool same_record(const Record& a, const Record& b) {
    return std::memcmp(a.key, b.key, 4) == 0 && a.id == b.id;
}

size_t run(Sort sort, std::vector<Record>& v, Probe& p) {
    sort(v.data(), int32_t(v.size()), sizeof(Record), reinterpret_cast<uintptr_t>(&p), MAGIC,
         by_key);
    return p.calls;
}

enum class Shape {
    random, few_keys, all_equal, ascending, descending, ascending_dups, descending_dups,
    nearly_ascending, nearly_descending, organ_pipe, sawtooth, ascending_then_random,
    random_then_ascending, smallest_last, largest_first, alternating
};
constexpr Shape ALL_SHAPES[] = {
    Shape::random, Shape::few_keys, Shape::all_equal, Shape::ascending, Shape::descending,
    Shape::ascending_dups, Shape::descending_dups, Shape::nearly_ascending,
    Shape::nearly_descending, Shape::organ_pipe, Shape::sawtooth,
    Shape::ascending_then_random, Shape::random_then_ascending, Shape::smallest_last,
    Shape::largest_first, Shape::alternating};

std::vector<uint32_t> make_keys(Shape shape, size_t n, std::mt19937& gen) {
    std::vector<uint32_t> k(n);
    auto any = [&] { return uint32_t(gen()); };
    for (size_t i = 0; i < n; i++) {
        uint32_t x = uint32_t(i);
        switch (shape) {
        case Shape::random: k[i] = any(); break;
        case Shape::few_keys: k[i] = any() % 4; break;
        case Shape::all_equal: k[i] = 7; break;
        case Shape::ascending: case Shape::nearly_ascending: k[i] = x; break;
        case Shape::descending: case Shape::nearly_descending: k[i] = uint32_t(n) - x; break;
        case Shape::ascending_dups: k[i] = x / 10; break;
        case Shape::descending_dups: k[i] = uint32_t(n - i) / 10; break;
        case Shape::organ_pipe: k[i] = std::min(x, uint32_t(n) - x); break;
        case Shape::sawtooth: k[i] = x % 100; break;
        case Shape::ascending_then_random: k[i] = i < n * 9 / 10 ? x : any(); break;
        case Shape::random_then_ascending: k[i] = i < n / 10 ? any() : x; break;
        case Shape::smallest_last: k[i] = i + 1 == n ? 0 : x + 1; break;
        case Shape::largest_first: k[i] = i == 0 ? uint32_t(n) : x; break;
        case Shape::alternating: k[i] = i % 2 ? x : uint32_t(n) - x; break;
        }
    }
    if ((shape == Shape::nearly_ascending || shape == Shape::nearly_descending) && n > 1)
        for (size_t s = 0; s < n / 50 + 1; s++) std::swap(k[gen() % n], k[gen() % n]);
    return k;
}

constexpr size_t SIZES[] = {0, 1, 2, 3, 5, 7, 8, 9, 23, 24, 25, 48, 49, 100,
                             511, 512, 513, 1000, 4099, 20000};

double n_log_n(size_t n) { return n < 2 ? 0 : double(n) * std::log2(double(n)); }

TEST(SortMerge, MatchesStableSortOnEveryShape) {
    std::mt19937 gen(1);
    for (Shape shape : ALL_SHAPES)
        for (size_t n : SIZES) {
            auto v = records_of(make_keys(shape, n, gen));
            auto expect = v;
            std::stable_sort(expect.begin(), expect.end(), key_less);
            Probe p;
            size_t calls = run(sorting::merge_sort, v, p);
            SCOPED_TRACE(testing::Message() << "shape " << int(shape) << " n " << n);
            ASSERT_TRUE(std::equal(v.begin(), v.end(), expect.begin(), same_record));
            EXPECT_TRUE(p.user2_ok);
            // Insertion over runs of 24 costs up to 11.5 calls per record.
            EXPECT_LE(double(calls), n_log_n(n) + 12.0 * double(n));
        }
}

TEST(SortQuick, SortsEveryShapeWithinNLogNCalls) {
    std::mt19937 gen(2);
    for (Shape shape : ALL_SHAPES)
        for (size_t n : SIZES) {
            auto v = records_of(make_keys(shape, n, gen));
            auto expect = v;
            std::sort(expect.begin(), expect.end(), record_less);
            Probe p;
            size_t calls = run(sorting::quick_sort, v, p);
            SCOPED_TRACE(testing::Message() << "shape " << int(shape) << " n " << n);
            ASSERT_TRUE(std::is_sorted(v.begin(), v.end(), key_less));
            std::sort(v.begin(), v.end(), record_less);  // a permutation of the input
            ASSERT_TRUE(std::equal(v.begin(), v.end(), expect.begin(), same_record));
            EXPECT_TRUE(p.user2_ok);
            EXPECT_LE(double(calls), 3 * n_log_n(n) + double(n));
        }
}

// Ordered and constant inputs cost one pass; a strictly descending run is
// reversed without any merge.
TEST(SortBoth, OrderedInputsTakeOnePass) {
    const size_t n = 5000;
    std::mt19937 gen(3);
    for (Shape shape : {Shape::ascending, Shape::descending, Shape::all_equal})
        for (Sort sort : {Sort(sorting::merge_sort), Sort(sorting::quick_sort)}) {
            auto v = records_of(make_keys(shape, n, gen));
            Probe p;
            EXPECT_EQ(run(sort, v, p), n - 1) << int(shape);
            EXPECT_TRUE(std::is_sorted(v.begin(), v.end(), key_less));
        }
}

TEST(SortBoth, NoRecordsOrOneCallsNoComparator) {
    for (Sort sort : {Sort(sorting::merge_sort), Sort(sorting::quick_sort)}) {
        Probe p;
        Record one{{1, 2, 3, 4}, 9};
        sort(nullptr, 0, 8, reinterpret_cast<uintptr_t>(&p), MAGIC, by_key);
        sort(&one, 1, 8, reinterpret_cast<uintptr_t>(&p), MAGIC, by_key);
        EXPECT_EQ(p.calls, 0u);
        EXPECT_EQ(one.id, 9u);
    }
}

// Pairs of 1-byte records grouped by two (width 2, swapped byte by byte), sorted
// by their first byte: equal keys keep their order.
TEST(SortMerge, KeepsEqualRecordsInInputOrder) {
    struct Case {
        const char* input;
        size_t width;
        const char* stable;
    };
    const Case cases[] = {
        {"b1a2b3a4", 2, "a2a4b1b3"},
        {"c11a22c33a44b55", 3, "a22a44b55c11c33"},
        {"zz9yx8zz7yx6", 3, "yx8yx6zz9zz7"},
    };
    for (const Case& c : cases) {
        std::string s = c.input;
        Probe p;
        p.key_bytes = 1;
        sorting::merge_sort(s.data(), int32_t(s.size() / c.width), int32_t(c.width),
                            reinterpret_cast<uintptr_t>(&p), MAGIC, by_key);
        EXPECT_EQ(s, c.stable);
    }
}

// Records of every width, 1-byte keys with many ties, against std::stable_sort.
TEST(SortBoth, EveryRecordWidth) {
    std::mt19937 gen(4);
    for (size_t width : {1, 2, 3, 4, 5, 7, 12, 16, 20})
        for (size_t n : {10, 100, 1500}) {
            std::vector<std::string> recs(n, std::string(width, '\0'));
            for (auto& r : recs)
                for (size_t b = 0; b < width; b++) r[b] = char(b == 0 ? gen() % 16 : gen());
            std::string flat;
            for (auto& r : recs) flat += r;
            auto first_less = [](const std::string& a, const std::string& b) {
                return uint8_t(a[0]) < uint8_t(b[0]);
            };
            for (Sort sort : {Sort(sorting::merge_sort), Sort(sorting::quick_sort)}) {
                std::string s = flat;
                Probe p;
                p.key_bytes = 1;
                sort(s.data(), int32_t(n), int32_t(width), reinterpret_cast<uintptr_t>(&p), MAGIC,
                     by_key);
                std::vector<std::string> got;
                for (size_t i = 0; i < n; i++) got.push_back(s.substr(i * width, width));
                auto expect = recs;
                std::stable_sort(expect.begin(), expect.end(), first_less);
                SCOPED_TRACE(testing::Message() << "width " << width << " n " << n);
                if (sort == Sort(sorting::merge_sort)) {
                    EXPECT_EQ(got, expect);
                } else {
                    EXPECT_TRUE(std::is_sorted(got.begin(), got.end(), first_less));
                    std::sort(got.begin(), got.end());
                    std::sort(expect.begin(), expect.end());
                    EXPECT_EQ(got, expect);
                }
            }
        }
}

TEST(SortBoth, SwapRecordsByWordsOrBytes) {
    unsigned char a[6] = {1, 2, 3, 4, 5, 6}, b[6] = {7, 8, 9, 10, 11, 12};
    sorting::swap_records(a + 1, b + 1, 4, false);  // unaligned words
    EXPECT_EQ(std::vector<int>(a, a + 6), (std::vector<int>{1, 8, 9, 10, 11, 6}));
    EXPECT_EQ(std::vector<int>(b, b + 6), (std::vector<int>{7, 2, 3, 4, 5, 12}));
    sorting::swap_records(a, b, 3, true);
    EXPECT_EQ(std::vector<int>(a, a + 6), (std::vector<int>{7, 2, 3, 10, 11, 6}));
    EXPECT_EQ(std::vector<int>(b, b + 6), (std::vector<int>{1, 8, 9, 4, 5, 12}));
}

// A comparator that raises part-way leaves a permutation of the input and the
// temporary buffer released, whichever call raises.
TEST(SortBoth, ThrowingComparatorLosesNoRecord) {
    std::mt19937 gen(5);
    for (Shape shape : {Shape::random, Shape::few_keys, Shape::nearly_descending})
        for (Sort sort : {Sort(sorting::merge_sort), Sort(sorting::quick_sort)}) {
            const auto input = records_of(make_keys(shape, 700, gen));
            auto sorted_input = input;
            std::sort(sorted_input.begin(), sorted_input.end(), record_less);
            auto v = input;
            Probe full;
            size_t total = run(sort, v, full);
            for (size_t at = 1; at <= total; at += 1 + at / 8) {
                v = input;
                Probe p;
                p.throw_at = at;
                size_t blocks = runtime::heap_block_count();
                EXPECT_THROW(run(sort, v, p), Stop);
                EXPECT_EQ(runtime::heap_block_count(), blocks);
                std::sort(v.begin(), v.end(), record_less);
                ASSERT_TRUE(std::equal(v.begin(), v.end(), sorted_input.begin(), same_record))
                    << "shape " << int(shape) << " raised at call " << at;
            }
        }
}

TEST(SortMerge, BufferHoldsHalfTheRecordsAndIsFreed) {
    std::mt19937 gen(6);
    for (size_t n : {2, 3, 101, 1000}) {
        auto v = records_of(make_keys(Shape::random, n, gen));
        Probe p;
        size_t before = runtime::heap_bytes();
        run(sorting::merge_sort, v, p);
        EXPECT_EQ(p.max_heap - before, n / 2 * sizeof(Record)) << n;
        EXPECT_EQ(runtime::heap_bytes(), before);
    }
}

class SortErrors : public test_support::RuntimeTest {};

TEST_F(SortErrors, MergeBufferBeyond31BitsIsTooLong) {
    Probe p;
    Record dummy{};
    size_t blocks = runtime::heap_block_count();
    EXPECT_EQ(test_support::raised([&] {
                  sorting::merge_sort(&dummy, 0x7FFFFFFF, 4, reinterpret_cast<uintptr_t>(&p),
                                      MAGIC, by_key);
              }),
              ErrorId::script_too_long);
    EXPECT_EQ(p.calls, 0u);
    EXPECT_EQ(runtime::heap_block_count(), blocks);
}

// McIlroy's adversary decides the keys while the sort runs so that every pivot
// is as bad as possible; a quick sort without a fallback goes quadratic. Odd
// items start with fixed shuffled keys so the first ordered scan learns nothing.
struct Adversary {
    std::vector<int> value;
    int gas, solid;
    size_t candidate = 0;
    size_t calls = 0;
    explicit Adversary(size_t n) : value(n, int(n)), gas(int(n)), solid(int(n / 2)) {
        std::vector<int> low(n / 2);
        std::iota(low.begin(), low.end(), 0);
        std::shuffle(low.begin(), low.end(), std::mt19937(8));
        for (size_t i = 0; i < n / 2; i++) value[2 * i + 1] = low[i];
    }
};

int adversary_compare(const void* a, const void* b, uintptr_t user1, uintptr_t) {
    auto* s = reinterpret_cast<Adversary*>(user1);
    s->calls++;
    uint32_t x, y;
    std::memcpy(&x, a, 4);
    std::memcpy(&y, b, 4);
    if (s->value[x] == s->gas && s->value[y] == s->gas)
        s->value[x == s->candidate ? x : y] = s->solid++;
    if (s->value[x] == s->gas) s->candidate = x;
    else if (s->value[y] == s->gas) s->candidate = y;
    return (s->value[x] > s->value[y]) - (s->value[x] < s->value[y]);
}

TEST(SortQuick, AdversarialComparatorStaysNLogN) {
    for (size_t n : {600, 3000, 20000}) {
        std::vector<uint32_t> items(n);
        std::iota(items.begin(), items.end(), 0u);
        Adversary s(n);
        sorting::quick_sort(items.data(), int32_t(n), 4, reinterpret_cast<uintptr_t>(&s), 0,
                            adversary_compare);
        EXPECT_LE(double(s.calls), 4 * n_log_n(n)) << n;
        // The keys the adversary settled on must come out in order.
        for (size_t i = 1; i < n; i++) ASSERT_LE(s.value[items[i - 1]], s.value[items[i]]);
    }
}

// A comparator whose answers contradict each other must not make the sort read
// or write outside the records.
TEST(SortBoth, InconsistentComparatorStaysInBounds) {
    std::mt19937 gen(7);
    for (Sort sort : {Sort(sorting::merge_sort), Sort(sorting::quick_sort)})
        for (size_t n : {5, 30, 600, 5000}) {
            std::vector<uint32_t> v(n);
            std::iota(v.begin(), v.end(), 0u);
            sort(v.data(), int32_t(n), 4, reinterpret_cast<uintptr_t>(&gen), 0,
                 [](const void*, const void*, uintptr_t g, uintptr_t) {
                     return int((*reinterpret_cast<std::mt19937*>(g))() % 3) - 1;
                 });
            std::sort(v.begin(), v.end());
            for (size_t i = 0; i < n; i++) ASSERT_EQ(v[i], i);
        }
}

}  // namespace
