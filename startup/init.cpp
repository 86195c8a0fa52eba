#include "startup/init.hpp"

#include "core/case_folding.hpp"
#include "core/collector.hpp"
#include "core/console_out.hpp"
#include "core/externals.hpp"
#include "core/memory.hpp"
#include "core/ownership.hpp"
#include "core/rng.hpp"
#include "core/symbols.hpp"
#include "core/value_slots.hpp"
#include "core/support.hpp"
#include "datatypes/object.hpp"
#include "datatypes/registry.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/lexer.hpp"
#include "startup/boot_texts.hpp"
#include "interpreter/native_table.hpp"
#include "interpreter/stack.hpp"
#include "platform/platform.hpp"
#include "services/compress.hpp"
#include "startup/boot_values.hpp"
#include "startup/routines.hpp"
#include "startup/system_data.hpp"
#include "startup/system_object.hpp"

namespace zun::startup {

// The order matters: the hook lists first, then the platform; the memory
// manager before anything allocates; every datatype before the action table;
// the stacks last.
void init_runtime() {
    console_out::init_hooks();
    platform::init();
    rng::init();
    memory::init();
    collector::init();
    externals::init();
    registry::register_all();
    actions::init_table();
    unicode::init_case_tables();
    symbols::init();
    natives::init_table();
    ownership::init();
    compress::init_method_words();
    cycles::init();
    stack::init();
    lexer::init();
    // The boot data opened: the native and action words bound; each text
    // start-up reads from here on is decoded when it is asked for.
    boot_texts::load_stream();
    boot_values::init();
    routines::bind_all();
    // The shift operators wrap routines made just now.
    boot_values::bind_operators();
    object::init_class_ids();
    system_data::init();
    system_object::prepare();
    interpreter::init();
    // No boot data yet: the start-up words and objects are all made. Objects
    // keep taking start-up class ids until the library is loaded.
    symbols::set_keep_words(false);
    value_slots::init();
    // The core words and literals exist: from here on buffers may move.
    collector::set_enabled(true);
}

}  // namespace zun::startup
