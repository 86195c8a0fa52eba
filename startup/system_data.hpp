// The parts of the system object that the datatypes read, built at start-up
// from data: the error catalogue from core/error-catalog.tsv, the rest from
// startup/system-data.inc. They make the start-up system object, bound to the
// word system; the library's system module builds the finished object around
// the same pieces.
//
// The accessors answer the piece the object in the word system holds now (a
// script may replace a field), or the start-up one when that is missing or of
// another type. The start-up pieces live in cells of the root block, so they
// stay reachable for the whole run. A Cell* answered is good until the next
// allocation.
#pragma once
#include <cstddef>

#include "core/cell.hpp"

namespace zun::system_data {

// After symbols::init and stack::init; the objects take start-up class ids.
void init();
// True once init has run on the current runtime.
bool ready();

Cell* startup_system();      // the object init bound to the word system
Cell* catalog_errors();      // system/catalog/errors
Cell* standard();            // system/standard
Cell* standard_error();      // system/standard/error
Cell* standard_port();       // system/standard/port
Cell* standard_url_parts();  // system/standard/url-parts
Cell* locale_months();       // system/locale/months
Cell* locale_currencies();   // system/locale/currencies
Cell* currency_list();       // system/locale/currencies/list
Cell* options_money_digits();  // system/options/money-digits
Cell* options_float();       // system/options/float

// Reads text in the notation of the data files (blocks, strings, integers,
// words in their word, set-word, get-word, lit-word and refinement forms,
// ; comments) and pushes a block of the values. Malformed text is a fault of
// the program's own data: a fatal error.
Cell* load(const char* text, size_t length);

// Builds the object a constant spec block describes (see system-data.inc) and
// pushes it.
Cell* build_object(const Cell* spec);

}  // namespace zun::system_data
