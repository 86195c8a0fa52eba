// money!: exact decimal amounts with an optional currency.
#pragma once

namespace zun::money {
void register_type();
}
