#include "interpreter/lexer_tables.hpp"

#include "core/cell.hpp"

namespace zun::lexer::tables {
#define ZUN_LEXER_TABLES
#include "lexer_tables.inc"
#undef ZUN_LEXER_TABLES
}  // namespace zun::lexer::tables
