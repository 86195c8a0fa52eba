// ZUNBIN in boot mode on hand-made streams, LZ-compressed bodies, and the
// boot load's failure path.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/collector.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/native.hpp"
#include "datatypes/context.hpp"
#include "datatypes/series/binary.hpp"
#include "services/lz.hpp"
#include "services/zunbin.hpp"
#include "startup/boot_texts.hpp"
#include "tests/unit/eval_fixture.hpp"

namespace zun::zunbin {
namespace {

using eval_test::EvalTest;
using eval_test::mold;

// A compact stream, flags 5, of the names and records.
std::vector<uint8_t> stream(const std::vector<std::string>& names, const std::vector<uint8_t>& records) {
    std::vector<uint8_t> s = {'Z', 'U', 'N', 'B', 'I', 'N', 1, 5, 1, uint8_t(records.size())};
    std::vector<uint8_t> table;
    std::vector<uint8_t> offsets;
    for (const std::string& n : names) {
        const uint32_t at = uint32_t(table.size());
        for (int i = 0; i < 4; i++) offsets.push_back(uint8_t(at >> (8 * i)));
        table.insert(table.end(), n.begin(), n.end());
        table.push_back(0);
    }
    s.push_back(uint8_t(names.size()));
    s.push_back(uint8_t(table.size()));
    s.insert(s.end(), offsets.begin(), offsets.end());
    s.insert(s.end(), table.begin(), table.end());
    s.insert(s.end(), records.begin(), records.end());
    return s;
}

class ZunbinBoot : public EvalTest {
protected:
    uint32_t root_length() { return uint32_t(block::length_from_start(symbols::root_block())); }
    Cell root_at(uint32_t i) { return *block::cell_at(symbols::root_block(), int32_t(i)); }
    void TearDown() override {
        g_codec_q = true;
        EvalTest::TearDown();
    }
};

TEST_F(ZunbinBoot, SetRecordsAssignAndLeaveNothing) {
    const uint32_t before = root_length();
    // zb-five: 5, zb-if: native 1 with spec [c]
    const std::vector<uint8_t> s = stream({"zb-five", "zb-if", "c"},
                                          {0xC4, 0x10, 0x00, 0x85, 0xC4, 0x10, 0x01, 0x15, 0x01,
                                           0x05, 0x01, 0x0F, 0x02});
    load_boot_data(s.data(), int64_t(s.size()), true);
    EXPECT_EQ(root_length(), before);
    EXPECT_EQ(mold(global("zb-five")), "5");
    const Cell native = global("zb-if");
    EXPECT_TRUE(native.is(TYPE_NATIVE));
    EXPECT_EQ(native.data1, 1u);
    EXPECT_EQ(mold(make_cell(TYPE_BLOCK, 0, native.data2, 0)), "[c]");
    EXPECT_FALSE(g_codec_q);
}

TEST_F(ZunbinBoot, WordsBoundByLiteralNumberAndClassIdsKept) {
    const bool was = collector::enabled();
    const uint32_t before = root_length();
    // literal 0: a context of x y; literal 1: word y in literal 0 (index -1
    // looked up); literal 2: set-word x at index 0; literal 3: object class 14.
    const std::vector<uint8_t> s = stream(
        {"x", "y"}, {0x0E, 0x02, 0x02, 0x00, 0x01,  0x4F, 0x01, 0x00, 0x01,  0x50, 0x00, 0x00, 0x00,
                     0x20, 0x1C, 0x0E, 0x02, 0x00});
    EXPECT_EQ(load_boot_data(s.data(), int64_t(s.size()), false), before);
    EXPECT_EQ(collector::enabled(), was);
    ASSERT_EQ(root_length(), before + 4);
    const Cell object = root_at(before), y = root_at(before + 1), x = root_at(before + 2);
    EXPECT_TRUE(object.is(TYPE_OBJECT));
    EXPECT_EQ(y.data1, object.data1);
    EXPECT_EQ(y.data3, 1u);
    EXPECT_EQ(x.data1, object.data1);
    EXPECT_EQ(x.data3, 0u);
    EXPECT_EQ(root_at(before + 3).data2, 14u);
    EXPECT_EQ(support::boot_literal(1)->data1, object.data1);
}

TEST_F(ZunbinBoot, KeepBaseLeavesTheLiteralTable) {
    const std::vector<uint8_t> first = stream({}, {0x81});
    const uint32_t base = load_boot_data(first.data(), int64_t(first.size()), false);
    const std::vector<uint8_t> second = stream({}, {0x82});
    load_boot_data(second.data(), int64_t(second.size()), true);
    EXPECT_EQ(mold(*support::boot_literal(0)), "1");
    EXPECT_EQ(base + 1, uint32_t(root_length()) - 1);
}

TEST_F(ZunbinBoot, BadIndexesAreRefused) {
    // A literal-number word whose index names another word of the context.
    const std::vector<uint8_t> s = stream({"x", "y"}, {0x0E, 0x02, 0x02, 0x00, 0x01, 0x4F, 0x00, 0x00, 0x02});
    Cell error;
    EXPECT_EQ(test_support::caught([&] { load_boot_data(s.data(), int64_t(s.size()), true); }, &error),
              ErrorId::script_zb_invalid_record);
}

// The boot tool's writer read back: set records bind their words and leave
// nothing, literals follow in order, and the table's names become global
// words in table order, even names no record uses.
TEST_F(ZunbinBoot, BootWriterRecordsRoundTrip) {
    const uint32_t before = root_length();
    Cell* spec = stack::push(block::cell_at(load("[\"doc\" value [integer!]]"), 0));
    Cell* literal = stack::push(block::cell_at(load("[zb-word [2]]"), 0));
    const uint32_t later = symbol::make("zb-later"), first = symbol::make("zb-first");
    boot_writer_begin({later, first});
    boot_writer_set_function(symbol::make("zb-native"), TYPE_NATIVE, 2, spec);
    boot_writer_set_function(symbol::make("zb-action"), TYPE_ACTION, 1, spec);
    boot_writer_literal(literal);
    const std::vector<uint8_t> s = boot_writer_finish();
    ASSERT_EQ(s[7], FLAG_COMPACT | FLAG_SYMBOLS);
    load_boot_data(s.data(), int64_t(s.size()), true);
    ASSERT_EQ(root_length(), before + 1);
    EXPECT_EQ(mold(root_at(before)), "[zb-word [2]]");
    const NodeId g = context::global();
    ASSERT_GE(context::find_word(g, later, true), 0);
    EXPECT_EQ(context::find_word(g, first, true), context::find_word(g, later, true) + 1);
    const Cell native = global("zb-native"), action = global("zb-action");
    ASSERT_TRUE(native.is(TYPE_NATIVE));
    ASSERT_TRUE(action.is(TYPE_ACTION));
    EXPECT_EQ(native.data1, 2u);
    EXPECT_EQ(action.data1, 1u);
    EXPECT_EQ(mold(make_cell(TYPE_BLOCK, 0, native.data2, 0)), "[\"doc\" value [integer!]]");
    EXPECT_EQ(native::own_spec(TYPE_NATIVE, 2), native.data2);
}

TEST_F(ZunbinBoot, BadSetRecordsAreRefusedWithTheirIndex) {
    // Records start at index 24 (one name, "zb-bad"); each case a set record
    // of zb-bad and the 1-based index of the byte refused.
    const struct {
        const char* what;
        std::vector<uint8_t> records;
        int index;
    } cases[] = {
        {"native index 0", {0xC4, 0x10, 0x00, 0x15, 0x00, 0x05, 0x00}, 27},
        {"native index past the table", {0xC4, 0x10, 0x00, 0x15, 0x7F, 0x05, 0x00}, 27},
        {"action slot without a dispatcher", {0xC4, 0x10, 0x00, 0x16, 0x08, 0x05, 0x00}, 27},
        {"spec not a block", {0xC4, 0x10, 0x00, 0x15, 0x01, 0x85}, 27},
        {"set prefix before an integer", {0xC4, 0x85}, 25},
        {"set prefix before a block", {0xC4, 0x05, 0x00}, 25},
        {"set record without its value", {0xC4, 0x10, 0x00}, 27},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> s = stream({"zb-bad"}, c.records);
        Cell error;
        EXPECT_EQ(test_support::caught([&] { load_boot_data(s.data(), int64_t(s.size()), true); }, &error),
                  ErrorId::script_zb_invalid_record)
            << c.what;
        EXPECT_EQ(error_arg(error, 0), std::to_string(c.index)) << c.what;
    }
}

TEST_F(ZunbinBoot, CorruptBootDataEndsTheProcess) {
    const std::vector<uint8_t> bad = {'Z', 'U', 'N', 'B', 'I', 'X', 1, 5, 1, 0};
    EXPECT_EXIT(load_boot_data(bad.data(), int64_t(bad.size()), false), ::testing::ExitedWithCode(98),
                "Error: Not a Zunbin file!");
    std::vector<uint8_t> packed = {'Z', 'U', 'N', 'B', 'I', 'N', 1, 7, 8, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EXIT(load_boot_data(packed.data(), int64_t(packed.size()), false), ::testing::ExitedWithCode(98),
                "Error: Zunbin compressed data corrupted!");
}

// Start-up's reader: the names and set records when it opens, then one value
// per step into the literals block, and nothing past the last.
TEST_F(ZunbinBoot, BootReaderReadsAValueAtATime) {
    // zb-five: 5, then 1, then [zb-five]
    const std::vector<uint8_t> s =
        stream({"zb-five"}, {0xC4, 0x10, 0x00, 0x85, 0x81, 0x05, 0x01, 0x0F, 0x00});
    Cell* literals = stack::push_cell();
    block::make_at(literals, 4);
    boot_open(s.data(), int64_t(s.size()), *literals);
    EXPECT_EQ(mold(global("zb-five")), "5");
    EXPECT_EQ(mold(*literals), "[]");
    ASSERT_TRUE(boot_next());
    EXPECT_EQ(mold(*literals), "[1]");
    ASSERT_TRUE(boot_next());
    EXPECT_EQ(mold(*literals), "[1 [zb-five]]");
    EXPECT_FALSE(boot_next());
    EXPECT_FALSE(g_codec_q);
}

// A malformed record met late, with a catch point open, ends the process as
// one met at start-up does: through the top-level handler, with its index in
// the whole stream. Records start at index 25 here.
TEST_F(ZunbinBoot, MalformedLaterValueEndsTheProcess) {
    // [1], then a block whose second record is of type 0
    const std::vector<uint8_t> s = stream({"zb-five"}, {0x05, 0x01, 0x81, 0x05, 0x02, 0x0F, 0x00, 0x00});
    std::vector<uint8_t> key_bytes;
    for (const char* text : {"1", "zb-five ?"}) {
        const uint64_t key = boot_texts::key_of(reinterpret_cast<const uint8_t*>(text), std::strlen(text));
        for (int i = 0; i < 8; i++) key_bytes.push_back(uint8_t(key >> (8 * i)));
    }
    boot_texts::set_stream(s.data(), s.size(), key_bytes.data(), key_bytes.size());
    boot_texts::load_stream();
    Cell* first = stack::push_cell();
    boot_texts::load(first, "1", 1);
    EXPECT_EQ(mold(*first), "[1]");
    EXPECT_EXIT(
        {
            stack::push_try_frame(nullptr);
            boot_texts::load(stack::push_cell(), "zb-five ?", 9);
        },
        ::testing::ExitedWithCode(254), "invalid record at index 32");
    boot_texts::set_stream(nullptr, 0);
}

TEST_F(ZunbinBoot, CompressedBodiesLoadThroughTheCodec) {
    std::string text = "[";
    for (int i = 0; i < 40; i++) text += "\"item\" " + std::to_string(i) + " ";
    text += "]";
    Cell value = *block::cell_at(load(text.c_str()), 0);
    const Cell encoded = *encode_cp(&value);
    memory::SeriesBuffer* b = memory::buffer_of(encoded.data2);
    std::vector<uint8_t> plain(b->head_ptr(), b->tail_ptr());
    std::vector<uint8_t> packed(plain.size());
    const int64_t n = compress::lz_compress(plain.data() + 8, uint32_t(plain.size() - 8), packed.data() + 8);
    ASSERT_GT(n, 0);
    packed.resize(size_t(n) + 8);
    std::copy(plain.begin(), plain.begin() + 8, packed.begin());
    packed[7] |= FLAG_COMPRESSED;
    Cell* bin = binary::push_bytes(packed.data(), uint32_t(packed.size()));
    EXPECT_EQ(mold(*codec_decode(bin)), mold(value));
    // An error inside the body names the index the byte has uncompressed.
    plain.back() = 0x00;  // the last record's last byte: an integer becomes type 0
    plain[plain.size() - 2] = 0x05;
    std::vector<uint8_t> bad(plain.size());
    const int64_t m = compress::lz_compress(plain.data() + 8, uint32_t(plain.size() - 8), bad.data() + 8);
    ASSERT_GT(m, 0);
    bad.resize(size_t(m) + 8);
    std::copy(plain.begin(), plain.begin() + 8, bad.begin());
    bad[7] |= FLAG_COMPRESSED;
    Cell* bad_bin = binary::push_bytes(bad.data(), uint32_t(bad.size()));
    Cell error;
    EXPECT_EQ(test_support::caught([&] { codec_decode(bad_bin); }, &error), ErrorId::script_zb_invalid_record);
    EXPECT_EQ(error_arg(error, 0), std::to_string(plain.size()));
}

}  // namespace
}  // namespace zun::zunbin
